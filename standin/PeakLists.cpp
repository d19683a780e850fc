#include "standin/PeakLists.h"

#include <algorithm>
#include <cmath>

#include "standin/HostState.h"

namespace standin {

namespace {

const char* spaceOption(Space space) { return space == Space::Mni ? "mni" : "tal"; }

std::string lineOf(std::int32_t line, const std::string& path) {
  return "line " + std::to_string(line) + " of " + inQuotes(path);
}

} // namespace

CLI::Option* addCompletionOptions(CLI::App& app, CompletionOptions& options) {
  auto* complete = app.add_flag("--complete", options.complete,
                                "Read the list as a table copied from a paper: x, y, z and the region from "
                                "the heading, the rest from --radius, --name and --colour");
  addNumberOption(app, "--radius", options.radius, "Radius of completed lines, millimetres (above 0)",
                  NumberRule::FiniteAboveZero)
      ->needs(complete)
      ->default_str("5");
  app.add_option("--name", options.name, "Completed lines without a region are named NAME_<line number>")
      ->needs(complete)
      ->capture_default_str();
  addNumbersOption(app, "--colour,--color", options.colour, 3, "Colour R G B of completed lines")
      ->needs(complete)
      ->default_str("255 0 0");
  return complete;
}

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
  using orbiculon::ListReference;
  const orbiculon::ReferenceScan scan = orbiculon::scanListReference(list);
  switch (scan.reference) {
  case ListReference::None:
    return std::nullopt;
  case ListReference::Mni:
    return Space::Mni;
  case ListReference::Tal:
    return Space::Tal;
  case ListReference::Unknown:
    throw CLI::ValidationError(option, lineOf(scan.line, path) + " names the reference space " +
                                           inQuotes(scan.value) + "; expected MNI, Talairach or TAL");
  case ListReference::Contradicting:
    break;
  }
  throw CLI::ValidationError(option, lineOf(scan.otherLine, path) + " names another reference space than " +
                                         lineOf(scan.line, path));
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

std::string referenceLine(Space space) {
  return std::string("// Reference=") + (space == Space::Mni ? "MNI" : "Talairach") + "\n";
}

void writeExplanation(const CleaningReport& report, std::ostream& out, std::size_t maxLines) {
  const std::size_t shown = std::min(maxLines, report.lines.size());
  for (std::size_t i = 0; i < shown; ++i)
    out << report.lines[i] << "\n";
  if (shown < report.lines.size())
    out << "... and " << report.lines.size() - shown << " more lines of explanation\n";
  out << std::flush;
}

} // namespace standin
