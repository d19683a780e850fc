#pragma once

#include <cstddef>
#include <memory>
#include <span>

#include "common/Capacities.h"

namespace orbiculon {

// A zero-filled text of fixed capacity on the heap (the list alone is 100 kB, too
// much for a host thread's stack). After the host wrote into it, `terminate()` puts
// a NUL into the last byte so the text always ends within its capacity.
template <std::size_t Capacity> class WorkingText {
public:
  WorkingText() : bytes_(std::make_unique<char[]>(Capacity)) {}

  char* data() { return bytes_.get(); }
  const char* c_str() const { return bytes_.get(); }
  std::span<char> span() { return {bytes_.get(), Capacity}; }
  static constexpr std::size_t capacity() { return Capacity; }
  void terminate() { bytes_[Capacity - 1] = '\0'; }

private:
  std::unique_ptr<char[]> bytes_;
};

// The texts of one call, every one empty when the call begins.
struct CallTexts {
  WorkingText<kCommandCapacity> command;
  WorkingText<kFilePathCapacity> filePath;
  WorkingText<kVoiNameTextCapacity> voiName;
  WorkingText<kCoordinateListCapacity> list;
};

} // namespace orbiculon
