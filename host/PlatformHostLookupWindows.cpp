// The host module is the already loaded executable, found with GetModuleHandleA,
// which takes no reference; its exports resolve with GetProcAddress.
#include <windows.h>

#include "host/PlatformHostLookup.h"

namespace orbiculon {

PlatformHostLookup::~PlatformHostLookup() { release(); }

void PlatformHostLookup::release() { module_ = nullptr; }

bool PlatformHostLookup::findModule(const char* moduleName) {
  module_ = reinterpret_cast<void*>(GetModuleHandleA(moduleName));
  return module_ != nullptr;
}

HostEntry PlatformHostLookup::resolve(const char* exportName) {
  if (module_ == nullptr) return nullptr;
  return reinterpret_cast<HostEntry>(GetProcAddress(static_cast<HMODULE>(module_), exportName));
}

} // namespace orbiculon
