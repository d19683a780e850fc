#pragma once

// Peak lists as papers and meta-analysis tools give them, for `clean`, `convert` and
// `spheres`.
//
// --complete has the plug-in read the list as a table ("CompleteLines" 1): rows of
// x y z with a heading, statistics and regions, completed from the dialog's
// single-VOI fields, which the batch tool sets from --radius, --name and --colour.
//
// The peak files of coordinate-based meta-analysis tools hold "x y z" rows and `//`
// lines: "// Reference=MNI" (or Talairach, TAL) for the space, "// Subjects=N", and
// "// Author, year: contrast" naming the experiment. Such a file is read as a table
// without --complete: the plug-in names each experiment's rows after it.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "coords/TableReader.h"
#include "standin/CleaningExplanation.h"
#include "standin/CliCommon.h"

namespace standin {

// --complete and the defaults rows are completed with.
struct CompletionOptions {
  bool complete = false;
  float radius = 5.0f;
  std::string name = "VOI";
  std::vector<std::int32_t> colour{255, 0, 0};
};

// Adds --complete and the --radius, --name and --colour it needs; returns --complete.
CLI::Option* addCompletionOptions(CLI::App& app, CompletionOptions& options);

// With --complete, the radius must be a number and the name fit a VOI name.
void checkCompletionDefaults(float radius, const std::string& name);

// Sets "CompleteLines" 1 and the dialog fields the plug-in completes lines with.
void setCompletionParameters(float radius, const std::string& name, const std::vector<std::int32_t>& colour);

// The same defaults for cleaning in the host's own checks; nullopt without --complete.
// The result views `name`.
std::optional<orbiculon::CompletionDefaults> completionDefaults(bool complete, float radius,
                                                                const std::string& name,
                                                                const std::vector<std::int32_t>& colour);

// The space a list names in its "// Reference=..." lines (MNI, Talairach or TAL,
// letter case aside, after a byte-order mark too), or nullopt when it names none. An
// unknown space, or two lines naming different spaces, are usage errors of `option`
// (the list argument).
std::optional<Space> referenceSpace(std::string_view list, const std::string& option,
                                    const std::string& path);

// The space to clean for: the list's reference when --space was not given, else
// --space; --space contradicting the reference is a usage error naming both.
Space chooseSpace(Space given, bool spaceGiven, std::string_view list, const std::string& option,
                  const std::string& path);

// The first line of a printed list whose input named its space: "// Reference=MNI"
// or "// Reference=Talairach", with its LF.
std::string referenceLine(Space space);

// Writes the report's lines to `out`, at most `maxLines`, then how many were left out.
void writeExplanation(const CleaningReport& report, std::ostream& out, std::size_t maxLines);

} // namespace standin
