#pragma once

// Peak lists as papers and meta-analysis tools give them, for `spheres` and `clean`.
//
// --complete has the plug-in complete lines of x y z (and perhaps a label) from the
// dialog's single-VOI fields ("CompleteLines"), which the batch tool sets from
// --radius, --name and --colour.
//
// The peak files of coordinate-based meta-analysis tools hold "x y z" rows, `//`
// comment lines (among them "// Reference=MNI" or "// Reference=Talairach" for the
// space, "// Subjects=N", and "// Author, year: contrast" naming the experiment), and
// blank lines between experiments. The batch tool reads them as coordinate lists:
// for the plug-in, `//` lines are lines it drops.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "coords/LineCompletion.h"
#include "standin/CliCommon.h"

namespace standin {

// With --complete, the radius must be a number and the name fit a VOI name.
void checkCompletionDefaults(float radius, const std::string& name);

// Sets "CompleteLines" 1 and the dialog fields the plug-in completes lines with.
void setCompletionParameters(float radius, const std::string& name, const std::vector<std::int32_t>& colour);

// The same defaults for cleaning in the host's own checks; nullopt without --complete.
// The result views `name`.
std::optional<orbiculon::CompletionDefaults> completionDefaults(bool complete, float radius,
                                                                const std::string& name,
                                                                const std::vector<std::int32_t>& colour);

// The space a list names in its "// Reference=..." lines (MNI or Talairach, letter
// case aside), or nullopt when it names none. An unknown space, or two lines naming
// different spaces, are usage errors of `option` (the list argument).
std::optional<Space> referenceSpace(std::string_view list, const std::string& option,
                                    const std::string& path);

// The space to clean for: the list's reference when --space was not given, else
// --space; --space contradicting the reference is a usage error naming both.
Space chooseSpace(Space given, bool spaceGiven, std::string_view list, const std::string& option,
                  const std::string& path);

// With --complete: every row of exactly three numbers in an experiment (lines
// between blank lines) that has a `//` line other than Reference= and Subjects= gets
// `radius` and the name made from that line's text with a running number, such as
// "-42 -58 22 6 Smith__2010_1". The plug-in then completes the colours. Lines are
// neither added nor removed, so line numbers stay those of the file. The named list
// must still fit the dialog's text box (a usage error of `option` otherwise).
std::string nameExperiments(std::string_view list, float radius, const std::string& option,
                            const std::string& path);

// What the experiment line "// Smith, 2010: faces" is made into: characters other
// than letters, digits, '-' and '_' become '_', at most 40 characters.
std::string experimentName(std::string_view commentText);

} // namespace standin
