#pragma once

// What the subcommands of the command line share: the host options, reading input
// files, checking and writing output files. Usage errors are thrown as
// CLI::ValidationError naming the option (or argument) and the value at fault; the
// command line turns them into exit code 2. Failures after the plug-in ran are
// reported with reportFailure().

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "standin/HostState.h"
#include "standin/ProgramName.h"
#include "standin/Session.h"
#include "standin/TextForMessages.h"

namespace standin {

// The host the plug-in sees: its version, the current document and its VMR header,
// and how the reference-space question is answered.
struct HostOptions {
  std::string hostVersion = "2.2.0";
  std::string document = "vmr";
  std::vector<std::string> header;
  Answer answer = Answer::Ask;
};

// A choice among named values, any letter case, converted by CLI11; the message of
// a wrong value lists the names.
template <typename T> CLI::Validator choiceOf(const std::vector<std::pair<std::string, T>>& choices) {
  std::string names;
  for (const auto& [name, value] : choices)
    names += (names.empty() ? "" : ",") + name;
  CLI::CheckedTransformer convert(choices, CLI::ignore_case);
  return CLI::Validator(
      [choices, convert, names](std::string& input) mutable {
        const std::string lower = CLI::detail::to_lower(input);
        if (std::none_of(choices.begin(), choices.end(),
                         [&](const auto& choice) { return choice.first == lower; }))
          return input + " not in {" + names + "}";
        return convert(input);
      },
      "{" + names + "}");
}

// --plugin and --quiet; every subcommand that runs the plug-in has them.
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

// The one number parser of the command line: the whole text must be one number of
// type T in the classic notation. A value that does not fit T (such as 1e39 for a
// float) is refused, not rounded to infinity.
template <typename T> T parseNumber(const std::string& option, const std::string& text) {
  T value{};
  const std::errc error = parseWholeNumber(text, value);
  if (error == std::errc::result_out_of_range)
    throw CLI::ValidationError(option, "\"" + text + "\" is out of range");
  if (error != std::errc()) throw CLI::ValidationError(option, "\"" + text + "\" is not a valid number");
  return value;
}

// What an option asks of its numbers beyond being numbers of their type: a centre
// must be finite, a radius finite and above 0 (an endless, empty or undefined sphere
// is never what a batch run means, although the dialog passes any float on).
enum class NumberRule { Any, Finite, FiniteAboveZero };

template <typename T> T parseNumber(const std::string& option, const std::string& text, NumberRule rule) {
  const T value = parseNumber<T>(option, text);
  if (rule == NumberRule::FiniteAboveZero && !(std::isfinite(static_cast<double>(value)) && value > 0))
    throw CLI::ValidationError(option, "\"" + text + "\" is not a finite number above 0");
  if (rule == NumberRule::Finite && !std::isfinite(static_cast<double>(value)))
    throw CLI::ValidationError(option, "\"" + text + "\" is not a finite number");
  return value;
}

// An option of one number, or of `count` numbers, read by parseNumber: the numbers
// of every option are read as `dialog --float` and `--int` read theirs, then held to
// `rule`.
template <typename T>
CLI::Option* addNumberOption(CLI::App& app, const std::string& name, T& value, const std::string& description,
                             NumberRule rule = NumberRule::Any) {
  const std::string option = name.substr(0, name.find(','));
  return app.add_option_function<std::string>(
      name, [&value, option, rule](const std::string& text) { value = parseNumber<T>(option, text, rule); },
      description);
}
template <typename T>
CLI::Option* addNumbersOption(CLI::App& app, const std::string& name, std::vector<T>& values,
                              std::size_t count, const std::string& description,
                              NumberRule rule = NumberRule::Any) {
  const std::string option = name.substr(0, name.find(','));
  return app
      .add_option_function<std::vector<std::string>>(
          name,
          [&values, option, rule](const std::vector<std::string>& texts) {
            values.clear();
            for (const auto& text : texts)
              values.push_back(parseNumber<T>(option, text, rule));
          },
          description)
      ->expected(static_cast<int>(count));
}

// Reads a text input from a regular file or, for "-", from standard input (which may
// be a pipe or a device), up to one byte past `limit` bytes: any input is read in
// constant memory, and a longer one shows as a result longer than the limit. A read
// error is an error, never the end of input.
std::string readTextInput(const std::string& option, const std::string& path, std::size_t limit);

// A coordinate list as the dialog's text box holds it: text without NUL bytes that
// fits the list parameter with its NUL.
std::string readCoordinateListFile(const std::string& option, const std::string& path);

// Refuses an empty path: an output option given as "" names no file.
CLI::Validator nonEmptyPath();

// An output file must be named, must go into an existing folder and must not be a
// folder itself.
void checkOutputPath(const std::string& option, const std::filesystem::path& path);

// Writes `content` to `path` the way the plug-in saves its files: the target is
// replaced whole or left as it was. False (with `error` naming the path and the
// system's reason) when it could not be written.
bool writeWholeFile(const std::string& path, std::string_view content, std::string& error);

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

// Quotes a value for a message.
std::string inQuotes(std::string_view text);

} // namespace standin
