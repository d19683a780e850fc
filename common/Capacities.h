#pragma once

#include <cstddef>
#include <string_view>

namespace orbiculon {

// Capacities of the fixed-size narrow texts of the plug-in, each including the
// terminating NUL. The host copies a dialog parameter or a chosen path into the
// plug-in's buffer without being told its size, so these are also the limits on what
// the dialog's texts and the file dialogs' paths may hold. The plug-in, the stand-in
// host and the tests all take them from here.

// "Command": the name of the command to run.
inline constexpr std::size_t kCommandCapacity = 256;
// "FileName", and the path a file dialog returns.
inline constexpr std::size_t kFilePathCapacity = 512;
// "Name_of_VOI": the dialog's VOI name, before it is cut to a VOI's name.
inline constexpr std::size_t kVoiNameTextCapacity = 512;
// "VOItext": the coordinate list, read from and written back to the dialog, and the
// most a coordinate text file may hold.
inline constexpr std::size_t kCoordinateListCapacity = 100000;
// One log line, formatted printf-style before it goes to the host (longer ones are cut).
inline constexpr std::size_t kLogLineCapacity = 512;
// The name of a VOI, in the VOI file and in a coordinate entry.
inline constexpr std::size_t kVoiNameCapacity = 256;
inline constexpr std::size_t kCoordinateNameMaxLength = kVoiNameCapacity - 1;

// The capacity of the buffer the plug-in hands the host for a string parameter. A name
// the plug-in does not read gets the smallest of them.
constexpr std::size_t stringParameterCapacity(std::string_view name) {
  if (name == "VOItext") return kCoordinateListCapacity;
  if (name == "FileName") return kFilePathCapacity;
  if (name == "Name_of_VOI") return kVoiNameTextCapacity;
  return kCommandCapacity;
}

} // namespace orbiculon
