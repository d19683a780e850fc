#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>

#include "host/HostEntryTable.h"
#include "plugin/Commands.h"
#include "plugin/Orbiculon.h"

namespace orbiculon {

void logLine(const char* format, ...) {
  char line[kLogLineCapacity];
  va_list arguments;
  va_start(arguments, format);
  // vsnprintf cuts a longer line at 511 characters and always terminates it.
  const int length = std::vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  if (length < 0) line[0] = '\0';
  hostTable().rzLogText(line);
}

void logOutOfMemory() {
  hostTable().rzLogText("Plugin>  Not enough memory to run the command; nothing was written.");
}

void logPathLine(const char* before, const char* path, const char* after) {
  // A path may take up to 511 characters, so a line of it and a reason could not
  // fit; the reason is what the user needs, so the path gives way in its middle,
  // where its start (the drive or root) and its end (the file name) stay readable.
  constexpr char kCut[] = ".../";
  constexpr std::size_t kCutLength = sizeof kCut - 1;
  const std::size_t room = kLogLineCapacity - 1;
  const std::size_t fixed = std::strlen(before) + std::strlen(after);
  const std::size_t pathLength = std::strlen(path);
  if (fixed + pathLength <= room || fixed + kCutLength >= room) {
    logLine("%s%s%s", before, path, after);
    return;
  }
  const std::size_t kept = room - fixed - kCutLength;
  const std::size_t head = kept / 2;
  const std::size_t tail = kept - head;
  logLine("%s%.*s%s%s%s", before, static_cast<int>(head), path, kCut, path + (pathLength - tail), after);
}

void logFileFailure(const char* line, const char* path, FileResult result) {
  hostTable().rzLogText(line);
  if (path == nullptr || *path == '\0')
    logLine("Plugin>  No file was chosen.");
  else
    logFileReason("Plugin>  ", path, result);
}

void logFileReason(const char* before, const char* path, FileResult result) {
  char after[kLogLineCapacity];
  std::snprintf(after, sizeof after, ": %s", describeFileError(result.error));
  logPathLine(before, path, after);
}

OneDecimal::OneDecimal(float value) noexcept {
  // printf's own %f would print the decimal separator of the process's locale.
  // std::to_chars prints what printf prints in the "C" locale; the width of 3 pads
  // with blanks on the left.
  constexpr std::size_t kWidth = 3;
  std::array<char, 64> digits{};
  const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size() - 1,
                                          static_cast<double>(value), std::chars_format::fixed, 1);
  const std::size_t length = error == std::errc{} ? static_cast<std::size_t>(end - digits.data()) : 0;
  const std::size_t fill = length < kWidth ? kWidth - length : 0;
  std::memset(text_.data(), ' ', fill);
  std::memcpy(text_.data() + fill, digits.data(), length);
  text_[fill + length] = '\0';
}

} // namespace orbiculon

bool Orbiculon::execute() {
  using namespace orbiculon;
  try {
    CallTexts texts;
    const auto& host = hostTable();
    host.rzGetStringParameter("Command", texts.command.data());
    texts.command.terminate();
    const bool isMni = host.rzGetIntParameter("MNIorTal") != 0;

    const char* command = texts.command.c_str();
    if (std::strcmp(command, "ReadTextFile") == 0) return runReadTextFile(texts);
    if (std::strcmp(command, "SaveTextFile") == 0) return runSaveTextFile(texts);
    if (std::strcmp(command, "CleanUpText") == 0) return runCleanUpText(texts, isMni);
    if (std::strcmp(command, "Start") == 0) return runStart(texts, isMni);

    logLine("Plugin>  Received unknown command: \"%s\".", command);
    return true;
  } catch (const std::bad_alloc&) {
    logOutOfMemory();
    return true;
  } catch (...) {
    logLine("Plugin>  The command failed unexpectedly; nothing was written.");
    return true;
  }
}
