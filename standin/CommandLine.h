#pragma once

namespace standin {

// Parses the command line, sets up the host state and runs the plug-in; returns the
// process exit code.
int runCommandLine(int argc, char** argv);

} // namespace standin
