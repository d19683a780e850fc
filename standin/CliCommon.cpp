#include "standin/CliCommon.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "coords/CoordinateEntry.h"
#include "standin/HostState.h"
#include "standin/VoiReader.h"

namespace standin {

namespace {

constexpr int kVmrDocumentType = 3;
constexpr std::size_t kVersionParts = 3;

} // namespace

std::string inQuotes(std::string_view text) { return "\"" + std::string(text) + "\""; }

void addPluginOption(CLI::App& app, std::string& plugin) {
  app.add_option("--plugin", plugin, "Plug-in module to load (default: the one next to this program)");
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
      ->check(CLI::IsMember({"yes", "no", "ask"}))
      ->capture_default_str();
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
  host.answer = options.answer == "yes" ? Answer::Yes : options.answer == "no" ? Answer::No : Answer::Ask;
}

void addSpaceOption(CLI::App& app, Space& space, bool* given) {
  app.add_option_function<std::string>(
         "--space",
         [&space, given](const std::string& value) {
           space = value == "mni" ? Space::Mni : Space::Tal;
           if (given != nullptr) *given = true;
         },
         "Reference space of the coordinates: tal (Talairach) or mni (default: the list's "
         "\"// Reference=\" line, else tal)")
      ->transform(CLI::IsMember({"tal", "mni"}, CLI::ignore_case))
      ->default_str("tal");
}

std::pair<std::string, std::string> splitAssignment(const std::string& option, const std::string& text) {
  const auto equals = text.find('=');
  if (equals == std::string::npos || equals == 0)
    throw CLI::ValidationError(option, "expected NAME=VALUE, got " + inQuotes(text));
  return {text.substr(0, equals), text.substr(equals + 1)};
}

std::string readInputFile(const std::string& option, const std::string& path) {
  if (path == "-") {
    std::string content{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    if (std::cin.bad()) throw CLI::ValidationError(option, "cannot read standard input");
    return content;
  }
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status))
    throw CLI::ValidationError(option, "file " + inQuotes(path) + " does not exist");
  if (std::filesystem::is_directory(status))
    throw CLI::ValidationError(option, inQuotes(path) + " is a folder, not a file");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw CLI::ValidationError(option, "cannot read file " + inQuotes(path));
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) throw CLI::ValidationError(option, "reading " + inQuotes(path) + " failed");
  return content.str();
}

std::string readCoordinateListFile(const std::string& option, const std::string& path) {
  std::string text = readInputFile(option, path);
  const auto nul = text.find('\0');
  if (nul != std::string::npos) {
    throw CLI::ValidationError(option, inQuotes(path) + " is not a text file (byte " +
                                           std::to_string(nul + 1) + " is a NUL byte)");
  }
  if (text.size() >= orbiculon::kCoordinateListCapacity) {
    throw CLI::ValidationError(option, inQuotes(path) + " holds " + std::to_string(text.size()) +
                                           " bytes; a coordinate list holds at most " +
                                           std::to_string(orbiculon::kCoordinateListCapacity - 1) +
                                           ": split it into smaller lists");
  }
  return text;
}

void checkOutputPath(const std::string& option, const std::filesystem::path& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (path.empty()) throw CLI::ValidationError(option, "the path is empty");
  if (fs::is_directory(path, error))
    throw CLI::ValidationError(option, inQuotes(path.string()) + " is a folder; give a file path");
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  if (!fs::is_directory(folder, error))
    throw CLI::ValidationError(option, "folder " + inQuotes(folder.string()) + " of " +
                                           inQuotes(path.string()) + " does not exist");
}

void installVoiLoader(VoiLoads& loads) {
  state().loadVois = [&loads](const std::string& path) {
    bool ok = false;
    std::string line = loadVoiFileLogLine(path, ok);
    ++(ok ? loads.loaded : loads.failed);
    return line;
  };
}

LogRecorder::LogRecorder(std::ostream& target)
    : buffer_(target.rdbuf()), stream_(&buffer_), previous_(state().log) {
  state().log = &stream_;
}

LogRecorder::~LogRecorder() {
  stream_.flush();
  state().log = previous_;
}

bool LogRecorder::hasLine(std::string_view line) const {
  const std::string& text = buffer_.recorded();
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    if (std::string_view(text).substr(start, end - start) == line) return true;
    start = end + 1;
  }
  return false;
}

LogRecorder::Buffer::int_type LogRecorder::Buffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  recorded_ += traits_type::to_char_type(c);
  return target_->sputc(traits_type::to_char_type(c));
}

std::streamsize LogRecorder::Buffer::xsputn(const char* text, std::streamsize count) {
  recorded_.append(text, static_cast<std::size_t>(count));
  return target_->sputn(text, count);
}

int LogRecorder::Buffer::sync() { return target_->pubsync(); }

bool writeWholeFile(const std::filesystem::path& path, std::string_view content, std::string& error) {
  namespace fs = std::filesystem;
  fs::path temporary = path;
  temporary += ".partial";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      error = "cannot create " + inQuotes(temporary.string());
      return false;
    }
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
      error = "writing " + inQuotes(path.string()) + " failed";
      return false;
    }
  }
  std::error_code renameError;
  fs::rename(temporary, path, renameError);
  if (renameError) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    error = "cannot replace " + inQuotes(path.string()) + ": " + renameError.message();
    return false;
  }
  return true;
}

} // namespace standin
