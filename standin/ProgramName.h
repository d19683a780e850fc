#pragma once

// The name users type: every usage line, error and example of the command line
// speaks of it, never of the host executable the launcher runs. A macro, so that
// help texts can join it to their string literals.
#define ORBICULON_PROGRAM "orbiculon"

namespace standin {

inline constexpr char kProgramName[] = ORBICULON_PROGRAM;

} // namespace standin
