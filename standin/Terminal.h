#pragma once

#include <string>

namespace standin {

// Asks the question on the terminal when standard input is one; otherwise the answer
// is no, so a batch run never waits for input.
bool askYesNo(const std::string& question);

} // namespace standin
