#include "files/FileFaults.h"

namespace orbiculon {

namespace {

struct Fault {
  bool armed = false;
  std::size_t budget = 0;
  int error = 0;

  std::size_t allow(std::size_t size, int& failure) noexcept {
    if (!armed) return size;
    if (size <= budget) {
      budget -= size;
      return size;
    }
    const std::size_t allowed = budget;
    budget = 0;
    failure = error;
    return allowed;
  }
};

Fault writeFault;
Fault readFault;

} // namespace

void failFileWritesAfter(std::size_t afterBytes, int error) noexcept {
  writeFault = {true, afterBytes, error};
}

void failFileReadsAfter(std::size_t afterBytes, int error) noexcept { readFault = {true, afterBytes, error}; }

void clearFileFaults() noexcept {
  writeFault = {};
  readFault = {};
}

namespace detail {

std::size_t allowedWriteBytes(std::size_t size, int& error) noexcept { return writeFault.allow(size, error); }

std::size_t allowedReadBytes(std::size_t size, int& error) noexcept { return readFault.allow(size, error); }

} // namespace detail

} // namespace orbiculon
