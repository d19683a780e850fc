#pragma once

#include <streambuf>
#include <string>

namespace standin {

// Asks the question on the terminal when standard input is one; otherwise the answer
// is no, so a batch run never waits for input.
bool askYesNo(const std::string& question);

// A standard stream that is closed when the program starts is held by a descriptor
// open the wrong way round on the null device: it still fails every read or write as
// a closed one does, but no file the run opens can take its number and receive the
// log by mistake.
void holdClosedStandardStreams();

// While it lives, std::cout writes to standard output through a buffer that checks
// every write and keeps the first failure with the system's reason.
class CheckedStandardOutput {
public:
  CheckedStandardOutput();
  ~CheckedStandardOutput();
  CheckedStandardOutput(const CheckedStandardOutput&) = delete;
  CheckedStandardOutput& operator=(const CheckedStandardOutput&) = delete;

  // Flushes and closes standard output; empty when everything written arrived,
  // otherwise why not. Nothing can be written to std::cout afterwards.
  std::string finish();

private:
  class Buffer : public std::streambuf {
  public:
    int error = 0;

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;
  };

  Buffer buffer_;
  std::streambuf* previous_;
  bool finished_ = false;
};

} // namespace standin
