#pragma once

#include "host/HostEntryTable.h"

namespace orbiculon {

// Finds the host module among the objects already loaded in this process and
// resolves names in that module only. It loads nothing; whatever handle it needs
// while it works is released when the lookup is destroyed.
class PlatformHostLookup final : public HostLookup {
public:
  PlatformHostLookup() = default;
  PlatformHostLookup(const PlatformHostLookup&) = delete;
  PlatformHostLookup& operator=(const PlatformHostLookup&) = delete;
  ~PlatformHostLookup() override;

  bool findModule(const char* moduleName) override;
  HostEntry resolve(const char* exportName) override;

private:
  void release();
  void* module_ = nullptr;
};

} // namespace orbiculon
