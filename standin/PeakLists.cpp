#include "standin/PeakLists.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>

#include "coords/CoordinateEntry.h"
#include "coords/FieldReader.h"
#include "standin/CleaningExplanation.h"
#include "standin/HostState.h"

namespace standin {

namespace {

constexpr std::size_t kExperimentNameMaxLength = 40;
constexpr std::size_t kNumberTextCapacity = 64;

// Calls `each(line, number)` for every line of `list` (1-based, without its LF).
template <typename Each> void forEachLine(std::string_view list, Each&& each) {
  std::int32_t number = 0;
  for (std::size_t start = 0; start < list.size();) {
    const std::size_t end = std::min(list.find('\n', start), list.size());
    each(list.substr(start, end - start), ++number);
    start = end + 1;
  }
}

std::string_view trimmed(std::string_view text) {
  const auto blank = [](char c) { return orbiculon::isFieldWhitespace(c); };
  while (!text.empty() && blank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && blank(text.back()))
    text.remove_suffix(1);
  return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The text of a comment line after "//", trimmed.
std::string_view commentText(std::string_view line) {
  line = trimmed(line);
  return trimmed(line.substr(2));
}

// For "Key=value" comments: the value when the key is `key` (letter case aside).
std::optional<std::string_view> keyedValue(std::string_view text, std::string_view key) {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos || !equalsIgnoringCase(trimmed(text.substr(0, equals)), key))
    return std::nullopt;
  return trimmed(text.substr(equals + 1));
}

// A row of exactly three numbers, as cleaning reads them.
bool isBareRow(std::string_view line) {
  orbiculon::FieldReader reader(line, true);
  float value = 0.0f;
  return reader.readReal(value) == orbiculon::FieldStatus::Read &&
         reader.readReal(value) == orbiculon::FieldStatus::Read &&
         reader.readReal(value) == orbiculon::FieldStatus::Read &&
         reader.readReal(value) == orbiculon::FieldStatus::Missing;
}

const char* spaceOption(Space space) { return space == Space::Mni ? "mni" : "tal"; }

} // namespace

void checkCompletionDefaults(float radius, const std::string& name) {
  if (!std::isfinite(radius)) throw CLI::ValidationError("--radius", "the radius must be a finite number");
  const std::size_t capacity = stringParameterCapacity("Name_of_VOI");
  if (name.size() >= capacity) {
    throw CLI::ValidationError("--name", "the name has " + std::to_string(name.size()) +
                                             " characters; at most " + std::to_string(capacity - 1) + " fit");
  }
}

void setCompletionParameters(float radius, const std::string& name, const std::vector<std::int32_t>& colour) {
  auto& host = state();
  host.ints["CompleteLines"] = 1;
  host.floats["Radius"] = radius;
  host.strings["Name_of_VOI"] = name;
  host.ints["cR"] = colour[0];
  host.ints["cG"] = colour[1];
  host.ints["cB"] = colour[2];
}

std::optional<orbiculon::CompletionDefaults> completionDefaults(bool complete, float radius,
                                                                const std::string& name,
                                                                const std::vector<std::int32_t>& colour) {
  if (!complete) return std::nullopt;
  return orbiculon::CompletionDefaults{radius, name, colour[0], colour[1], colour[2]};
}

std::optional<Space> referenceSpace(std::string_view list, const std::string& option,
                                    const std::string& path) {
  std::optional<Space> space;
  std::string first; // the line that named it, for a contradiction
  forEachLine(list, [&](std::string_view line, std::int32_t number) {
    if (!isCommentLine(line)) return;
    const auto value = keyedValue(commentText(line), "Reference");
    if (!value) return;
    const std::string where = "line " + std::to_string(number) + " of " + inQuotes(path);
    Space named = Space::Tal;
    if (equalsIgnoringCase(*value, "MNI")) {
      named = Space::Mni;
    } else if (!equalsIgnoringCase(*value, "Talairach")) {
      throw CLI::ValidationError(option, where + " names the reference space " + inQuotes(*value) +
                                             "; expected MNI or Talairach");
    }
    if (space && *space != named) {
      throw CLI::ValidationError(option, where + " " + inQuotes(trimmed(line)) + " contradicts " + first);
    }
    if (!space) first = inQuotes(trimmed(line)) + " on " + where;
    space = named;
  });
  return space;
}

Space chooseSpace(Space given, bool spaceGiven, std::string_view list, const std::string& option,
                  const std::string& path) {
  const std::optional<Space> reference = referenceSpace(list, option, path);
  if (!reference) return given;
  if (spaceGiven && *reference != given) {
    throw CLI::ValidationError("--space", std::string(spaceOption(given)) + " contradicts \"// Reference=" +
                                              (*reference == Space::Mni ? "MNI" : "Talairach") + "\" in " +
                                              inQuotes(path) + "; leave out --space or correct the file");
  }
  return *reference;
}

std::string experimentName(std::string_view commentText) {
  std::string name;
  for (const char c : commentText.substr(0, kExperimentNameMaxLength)) {
    const bool kept =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    name += kept ? c : '_';
  }
  return name;
}

std::string nameExperiments(std::string_view list, float radius, const std::string& option,
                            const std::string& path) {
  std::array<char, kNumberTextCapacity> radiusText{};
  const auto [end, error] = std::to_chars(radiusText.data(), radiusText.data() + radiusText.size(), radius);
  const std::string radiusField =
      error == std::errc{} ? std::string(radiusText.data(), end) : std::string("?");

  std::string named;
  std::string experiment; // the name of the experiment the line belongs to
  int row = 0;
  forEachLine(list, [&](std::string_view line, std::int32_t number) {
    if (number > 1) named += '\n';
    named += line;
    if (trimmed(line).empty()) {
      experiment.clear();
      row = 0;
    } else if (isCommentLine(line)) {
      const std::string_view text = commentText(line);
      if (experiment.empty() && !text.empty() && !keyedValue(text, "Reference") &&
          !keyedValue(text, "Subjects"))
        experiment = experimentName(text);
    } else if (!experiment.empty() && isBareRow(line)) {
      // Kept before a CR, so that a CR LF line stays one.
      if (!named.empty() && named.back() == '\r') named.pop_back();
      named += " " + radiusField + " " + experiment + "_" + std::to_string(++row);
      if (!line.empty() && line.back() == '\r') named += '\r';
    }
  });
  if (!list.empty() && list.back() == '\n') named += '\n';
  if (named.size() >= orbiculon::kCoordinateListCapacity) {
    throw CLI::ValidationError(
        option, inQuotes(path) + " holds " + std::to_string(named.size()) +
                    " bytes once its rows are named; a coordinate list holds at most " +
                    std::to_string(orbiculon::kCoordinateListCapacity - 1) + ": split it into smaller lists");
  }
  return named;
}

} // namespace standin
