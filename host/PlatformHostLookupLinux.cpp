// Linux stand-in for GetModuleHandleA / GetProcAddress. The main program counts as
// the module when its executable file has the name; a shared object counts when the
// last component of its path has it. Names resolve in that object only: dlsym walks
// the object's dependencies too, so an address found elsewhere is discarded.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "host/PlatformHostLookup.h"

namespace orbiculon {

namespace {

std::string_view lastComponent(std::string_view path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool mainProgramHasName(const char* moduleName) {
  std::array<char, 4096> path{};
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (length <= 0) return false;
  return lastComponent(std::string_view(path.data(), static_cast<std::size_t>(length))) == moduleName;
}

struct SharedObjectSearch {
  const char* moduleName;
  std::string path;
};

int visitSharedObject(dl_phdr_info* info, std::size_t, void* data) {
  auto* search = static_cast<SharedObjectSearch*>(data);
  if (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0') return 0;
  if (lastComponent(info->dlpi_name) != search->moduleName) return 0;
  search->path = info->dlpi_name;
  return 1;
}

} // namespace

PlatformHostLookup::~PlatformHostLookup() { release(); }

void PlatformHostLookup::release() {
  if (module_ != nullptr) dlclose(module_);
  module_ = nullptr;
}

bool PlatformHostLookup::findModule(const char* moduleName) {
  release();
  // RTLD_NOLOAD: only an object that is already loaded is returned. The reference
  // dlopen takes is given back in release().
  if (mainProgramHasName(moduleName)) {
    module_ = dlopen(nullptr, RTLD_LAZY | RTLD_NOLOAD);
    return module_ != nullptr;
  }
  SharedObjectSearch search{moduleName, {}};
  if (dl_iterate_phdr(visitSharedObject, &search) == 0) return false;
  module_ = dlopen(search.path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  return module_ != nullptr;
}

HostEntry PlatformHostLookup::resolve(const char* exportName) {
  if (module_ == nullptr) return nullptr;
  void* address = dlsym(module_, exportName);
  if (address == nullptr) return nullptr;

  link_map* owner = nullptr;
  link_map* selected = nullptr;
  Dl_info info{};
  if (dladdr1(address, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) == 0) return nullptr;
  if (dlinfo(module_, RTLD_DI_LINKMAP, &selected) != 0) return nullptr;
  if (owner != selected) return nullptr;
  return reinterpret_cast<HostEntry>(address);
}

} // namespace orbiculon
