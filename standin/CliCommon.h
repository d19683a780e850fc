#pragma once

// What the subcommands of the command line share: the host options, reading input
// files, checking and writing output files. Usage errors are thrown as
// CLI::ValidationError naming the option (or argument) and the value at fault; the
// command line turns them into exit code 2.

#include <CLI/CLI.hpp>

#include <charconv>
#include <filesystem>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "standin/Session.h"

namespace standin {

// The host the plug-in sees: its version, the current document and its VMR header,
// and how the reference-space question is answered.
struct HostOptions {
  std::string hostVersion = "2.2.0";
  std::string document = "vmr";
  std::vector<std::string> header;
  std::string answer = "ask";
};

// --plugin only; every subcommand that runs the plug-in has it.
void addPluginOption(CLI::App& app, std::string& plugin);
std::string pluginPathOrDefault(const std::string& plugin);

// --host-version, --document, --header, --answer.
void addHostOptions(CLI::App& app, HostOptions& options);
// Puts the options into the host state; --header fields overwrite whatever the
// subcommand set before.
void applyHostOptions(const HostOptions& options);

// Reference space of the coordinates: the dialog's "MNIorTal" (0 TAL, 1 MNI).
enum class Space { Tal, Mni };
// `given` (if not null) becomes true when the option is given.
void addSpaceOption(CLI::App& app, Space& space, bool* given = nullptr);
inline int mniOrTal(Space space) { return space == Space::Mni ? 1 : 0; }
inline const char* spaceName(Space space) { return space == Space::Mni ? "MNI" : "TAL"; }

// Splits NAME=VALUE; a missing "=" or an empty name is a usage error of `option`.
std::pair<std::string, std::string> splitAssignment(const std::string& option, const std::string& text);

// The whole text must be one number of type T.
template <typename T> T parseNumber(const std::string& option, const std::string& text) {
  T value{};
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, value);
  if (text.empty() || error != std::errc() || end != last)
    throw CLI::ValidationError(option, "\"" + text + "\" is not a valid number");
  return value;
}

// Reads a whole file (or standard input for "-") as bytes.
std::string readInputFile(const std::string& option, const std::string& path);

// Reads a coordinate list as the dialog's text box would hold it: a text without NUL
// bytes that fits the box (kCoordinateListCapacity with its NUL).
std::string readCoordinateListFile(const std::string& option, const std::string& path);

// An output file must go into an existing folder and must not be a folder itself.
void checkOutputPath(const std::string& option, const std::filesystem::path& path);

// Writes `content` to `path` through a temporary file in the same folder that is
// renamed over the target at the end, so the target is either the whole new content
// or untouched. False (with `error` set) when it could not be written.
bool writeWholeFile(const std::filesystem::path& path, std::string_view content, std::string& error);

// Counts the VOI files the host was asked to load and how many of them did not read
// back as valid VOI files.
struct VoiLoads {
  int loaded = 0;
  int failed = 0;
};
// From now on the host reads back every VOI file the plug-in asks it to load and
// logs a one-line summary (or the error naming the line); `loads` must outlive the
// session.
void installVoiLoader(VoiLoads& loads);

// While it lives, the host log goes to `target` as it arrives and is also kept, so
// a subcommand can check what the plug-in reported.
class LogRecorder {
public:
  explicit LogRecorder(std::ostream& target);
  ~LogRecorder();
  LogRecorder(const LogRecorder&) = delete;
  LogRecorder& operator=(const LogRecorder&) = delete;

  // Whether the log holds `line` as a whole line.
  bool hasLine(std::string_view line) const;

private:
  class Buffer : public std::streambuf {
  public:
    explicit Buffer(std::streambuf* target) : target_(target) {}
    const std::string& recorded() const { return recorded_; }

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

  private:
    std::streambuf* target_;
    std::string recorded_;
  };

  Buffer buffer_;
  std::ostream stream_;
  std::ostream* previous_;
};

// Quotes a value for a message.
std::string inQuotes(std::string_view text);

} // namespace standin
