// Replaces the global allocation functions of the test executable with ones that
// can be told to fail. Kept in a file of its own so that no caller sees malloc and
// free behind new and delete.
#include "tests/plugin/FailingAllocation.h"

#include <cstdlib>
#include <new>

namespace {
bool failAllocations = false;
} // namespace

void orbiculon::testing::setAllocationsFail(bool fail) { failAllocations = fail; }

void* operator new(std::size_t size) {
  void* memory = failAllocations ? nullptr : std::malloc(size == 0 ? 1 : size);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return failAllocations ? nullptr : std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
