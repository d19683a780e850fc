#pragma once

#include <string>

namespace standin {

// From now on, Ctrl-C (SIGINT), SIGTERM and SIGHUP remove the temporary files that
// saves of this process (the plug-in's and the host's own) have open beside
// `output` before the signal ends the process as it would have: a save that is cut
// short leaves the old file and nothing else. Signals the process was started to
// ignore stay ignored. Call it before the plug-in runs, once per output file; a
// no-op on Windows, which has no such signals to a console program's files.
void removeTemporaryFilesOnEndingSignals(const std::string& output);

} // namespace standin
