#include "standin/Terminal.h"

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <string>

#include "files/FileResult.h"

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <fcntl.h>
#include <unistd.h>
#endif

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

void holdClosedStandardStreams() {
#if !defined(_WIN32)
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    // The lowest free number is `fd`, as the lower ones are open by now.
    const int held = ::open("/dev/null", (fd == 0 ? O_WRONLY : O_RDONLY) | O_NOCTTY);
    if (held >= 0 && held != fd) ::close(held);
  }
#endif
}

CheckedStandardOutput::CheckedStandardOutput() : previous_(std::cout.rdbuf(&buffer_)) {}

CheckedStandardOutput::~CheckedStandardOutput() {
  if (!finished_) std::cout.rdbuf(previous_);
}

std::string CheckedStandardOutput::finish() {
  std::cout.flush();
  if (std::fflush(stdout) != 0 && buffer_.error == 0) buffer_.error = errno;
  if (std::fclose(stdout) != 0 && buffer_.error == 0) buffer_.error = errno;
  finished_ = true;
  // The stream has nothing left to write to.
  std::cout.rdbuf(nullptr);
  if (buffer_.error == 0) return {};
  return std::string("cannot write to standard output: ") + orbiculon::describeFileError(buffer_.error);
}

CheckedStandardOutput::Buffer::int_type CheckedStandardOutput::Buffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char byte = traits_type::to_char_type(c);
  return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
}

std::streamsize CheckedStandardOutput::Buffer::xsputn(const char* text, std::streamsize count) {
  if (error != 0) return 0;
  const auto size = static_cast<std::size_t>(count);
  if (std::fwrite(text, 1, size, stdout) != size) {
    error = errno != 0 ? errno : EIO;
    return 0;
  }
  return count;
}

int CheckedStandardOutput::Buffer::sync() {
  if (error != 0) return -1;
  if (std::fflush(stdout) != 0) {
    error = errno != 0 ? errno : EIO;
    return -1;
  }
  return 0;
}

} // namespace standin
