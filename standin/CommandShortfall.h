#pragma once

#include <span>
#include <string>

namespace standin {

// The files a command of the plug-in works on, for the messages.
struct CommandFiles {
  std::string voiFile;  // what Start writes
  std::string savePath; // what SaveTextFile writes
  std::string openPath; // what ReadTextFile reads
};

// What a command that returned true failed to do, judged from the lines it logged;
// empty when it did its part. The plug-in returns true after an unknown command or
// when memory ran out, as the host expects of it, and says so only in the log: for
// a batch run these are failures all the same.
std::string commandShortfall(const std::string& command, std::span<const std::string> logged,
                             const CommandFiles& files);

} // namespace standin
