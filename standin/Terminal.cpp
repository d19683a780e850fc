#include "standin/Terminal.h"

#include <iostream>
#include <string>

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif
#include <cstdio>

namespace standin {

bool askYesNo(const std::string& question) {
  if (!isatty(fileno(stdin))) return false;
  for (;;) {
    std::cerr << question << " [y/n] " << std::flush;
    std::string reply;
    if (!std::getline(std::cin, reply)) return false;
    if (reply == "y" || reply == "yes" || reply == "Y") return true;
    if (reply == "n" || reply == "no" || reply == "N") return false;
  }
}

} // namespace standin
