#include "standin/CliCommon.h"

#include <algorithm>
#include <iostream>
#include <sstream>

#include "coords/CoordinateEntry.h"
#include "export/VoiReader.h"
#include "files/FileResult.h"
#include "files/InputFile.h"
#include "files/ReplacingFile.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace standin {

namespace {

constexpr int kVmrDocumentType = 3;
constexpr std::size_t kVersionParts = 3;
constexpr std::size_t kReadChunkSize = 16384;

// Reads up to `size` bytes of standard input; a failure is never the end of input.
orbiculon::FileResult readStandardInput(char* data, std::size_t size, std::size_t& count) {
  for (;;) {
#if defined(_WIN32)
    const int got = _read(0, data, static_cast<unsigned int>(size));
#else
    const ssize_t got = ::read(0, data, size);
#endif
    if (got >= 0) {
      count = static_cast<std::size_t>(got);
      return {};
    }
    if (errno != EINTR) return {errno};
  }
}

std::string inputName(const std::string& path) {
  return path == "-" ? std::string("standard input") : inQuotes(path);
}

} // namespace

std::string inQuotes(std::string_view text) { return "\"" + std::string(text) + "\""; }

void addPluginOption(CLI::App& app, std::string& plugin) {
  app.add_option("--plugin", plugin, "Plug-in module to load (default: the one installed with this program)");
  app.add_flag_callback(
      "--quiet,-q", [] { state().quiet = true; },
      "Keep the host log off standard output; errors and questions still go to standard error");
}

std::string pluginPathOrDefault(const std::string& plugin) {
  return plugin.empty() ? defaultPluginPath() : plugin;
}

void addHostOptions(CLI::App& app, HostOptions& options) {
  app.add_option("--host-version", options.hostVersion, "Host version MAJOR.MINOR.BUILD the plug-in sees")
      ->capture_default_str();
  app.add_option("--document", options.document,
                 "Current document: 'vmr', 'none', or a document type number (3 is a VMR)")
      ->capture_default_str();
  app.add_option("--header", options.header,
                 "Set a field of the current VMR header, FIELD=VALUE (repeatable). Fields: ResolutionX/Y/Z, "
                 "OffsetX/Y/Z, FramingCubeDim, LeftRightConvention, IsTalSpace, IsMniSpace")
      ->allow_extra_args(false);
  app.add_option("--answer", options.answer,
                 "Answer to the question 'VMR properties don't indicate TAL/MNI space. Do you want to "
                 "continue?': yes, no, or ask (ask on the terminal; no when input is not a terminal)")
      ->transform(choiceOf(std::vector<std::pair<std::string, Answer>>{
          {"yes", Answer::Yes}, {"no", Answer::No}, {"ask", Answer::Ask}}))
      ->default_str("ask");
}

void applyHostOptions(const HostOptions& options) {
  auto& host = state();
  int parts[kVersionParts] = {0, 0, 0};
  std::istringstream version(options.hostVersion);
  std::string piece;
  std::size_t count = 0;
  while (std::getline(version, piece, '.')) {
    if (count == kVersionParts)
      throw CLI::ValidationError("--host-version",
                                 inQuotes(options.hostVersion) + " has more than three parts");
    parts[count++] = parseNumber<int>("--host-version", piece);
  }
  if (count == 0) throw CLI::ValidationError("--host-version", "the version is empty");
  host.major = parts[0];
  host.minor = parts[1];
  host.build = parts[2];

  if (options.document == "none") {
    host.documentId = -1;
  } else if (options.document == "vmr") {
    host.documentId = 1;
    host.documentType = kVmrDocumentType;
  } else {
    host.documentId = 1;
    host.documentType = parseNumber<std::int32_t>("--document", options.document);
  }
  for (const auto& assignment : options.header) {
    const auto [field, value] = splitAssignment("--header", assignment);
    if (!host.header.set(field, value))
      throw CLI::ValidationError("--header", "unknown field or bad value in " + inQuotes(assignment));
  }
  host.answer = options.answer;
}

void addSpaceOption(CLI::App& app, Space& space, bool* given) {
  auto* option =
      app.add_option("--space", space,
                     "Reference space of the coordinates: tal (Talairach) or mni (default: the list's "
                     "\"// Reference=\" line, else tal)")
          ->transform(
              choiceOf(std::vector<std::pair<std::string, Space>>{{"tal", Space::Tal}, {"mni", Space::Mni}}));
  if (given != nullptr) option->each([given](const std::string&) { *given = true; });
  option->default_str("tal");
}

std::pair<std::string, std::string> splitAssignment(const std::string& option, const std::string& text) {
  const auto equals = text.find('=');
  if (equals == std::string::npos || equals == 0)
    throw CLI::ValidationError(option, "expected NAME=VALUE, got " + inQuotes(text));
  return {text.substr(0, equals), text.substr(equals + 1)};
}

std::string readTextInput(const std::string& option, const std::string& path, std::size_t limit) {
  orbiculon::InputFile file;
  const bool fromStandardInput = path == "-";
  if (!fromStandardInput) {
    const orbiculon::FileResult opened = file.open(path.c_str());
    if (opened.error == orbiculon::kNotARegularFile) {
      throw CLI::ValidationError(option, inQuotes(path) +
                                             " is not a regular file; to read a pipe or a device, give - "
                                             "and redirect it to standard input");
    }
    if (!opened.ok())
      throw CLI::ValidationError(option, "cannot open " + inQuotes(path) + ": " +
                                             orbiculon::describeFileError(opened.error));
  }
  std::string text;
  char chunk[kReadChunkSize];
  while (text.size() <= limit) {
    std::size_t count = 0;
    const orbiculon::FileResult read = fromStandardInput ? readStandardInput(chunk, sizeof chunk, count)
                                                         : file.read(chunk, sizeof chunk, count);
    if (!read.ok())
      throw CLI::ValidationError(option, "cannot read " + inputName(path) + " after " +
                                             std::to_string(text.size()) +
                                             " bytes: " + orbiculon::describeFileError(read.error));
    if (count == 0) break;
    text.append(chunk, std::min(count, limit + 1 - text.size()));
  }
  return text;
}

std::string readCoordinateListFile(const std::string& option, const std::string& path) {
  constexpr std::size_t kLimit = orbiculon::kCoordinateListCapacity - 1;
  std::string text = readTextInput(option, path, kLimit);
  // Old Mac editors end lines with CR alone; the plug-in ends lines at LF only, and
  // would take such a list for one line. A list without any LF is read that way.
  if (text.find('\n') == std::string::npos && text.find('\r') != std::string::npos) {
    std::replace(text.begin(), text.end(), '\r', '\n');
    std::cerr << "note: " << option << ": " << inputName(path)
              << " ends its lines with CR alone; each CR is read as a line end" << std::endl;
  }
  if (const auto nul = text.find('\0'); nul != std::string::npos) {
    throw CLI::ValidationError(option, inputName(path) + " is not a text file (byte " +
                                           std::to_string(nul + 1) + " is a NUL byte)");
  }
  if (text.size() > kLimit) {
    const auto lines = std::count(text.begin(), text.end() - 1, '\n') + 1;
    throw CLI::ValidationError(option, inputName(path) + " holds more than " + std::to_string(kLimit) +
                                           " bytes (reading stopped at byte " + std::to_string(text.size()) +
                                           ", in line " + std::to_string(lines) +
                                           "); a coordinate list holds at most " + std::to_string(kLimit) +
                                           ": split it into smaller lists");
  }
  return text;
}

CLI::Validator nonEmptyPath() {
  return CLI::Validator(
      [](const std::string& path) { return path.empty() ? std::string("the path is empty") : std::string(); },
      "PATH");
}

void checkOutputPath(const std::string& option, const std::filesystem::path& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (path.empty()) throw CLI::ValidationError(option, "the path is empty");
  if (!path.has_filename())
    throw CLI::ValidationError(option, inQuotes(path.string()) + " ends with a separator; give a file path");
  if (fs::is_directory(path, error))
    throw CLI::ValidationError(option, inQuotes(path.string()) + " is a folder; give a file path");
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  if (!fs::is_directory(folder, error))
    throw CLI::ValidationError(option, "folder " + inQuotes(folder.string()) + " of " +
                                           inQuotes(path.string()) + " does not exist");
}

bool writeWholeFile(const std::string& path, std::string_view content, std::string& error) {
  orbiculon::ReplacingFile file;
  orbiculon::FileResult result = file.open(path.c_str());
  if (result.ok()) result = file.write(content.data(), content.size());
  if (result.ok()) result = file.commit();
  if (!result.ok())
    error = "cannot write " + inQuotes(path) + ": " + orbiculon::describeFileError(result.error);
  return result.ok();
}

void installVoiLoader(VoiLoads& loads) {
  state().loadVois = [&loads](const std::string& path) {
    const auto read = orbiculon::exporting::loadVoiFileLogLine(path);
    const bool ok = read.content.has_value();
    const std::string& line = ok ? *read.content : read.error;
    ++(ok ? loads.loaded : loads.failed);
    // The run fails for it: the reason is shown even when the log is not.
    if (!ok && state().quiet) std::cerr << line << std::endl;
    return line;
  };
}

} // namespace standin
