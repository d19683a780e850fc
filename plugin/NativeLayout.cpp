#include "plugin/NativeLayout.h"

#if defined(ORBICULON_NATIVE_LAYOUT_FACADE)

#include <cstddef>
#include <new>
#include <type_traits>

namespace orbiculon {

namespace {

// The word before a native virtual table is reserved for the compiler's type
// information. The plug-in offers none; the word is null rather than whatever
// happened to lie before the table.
struct NativeTableWithPrefix {
  const void* typeInformation;
  NativePluginTable slots;
};

} // namespace

const NativePluginTable& NativePluginFacade::table() noexcept {
  static constexpr NativeTableWithPrefix kTable{nullptr, {&destroy, &execute, &initPlugin}};
  return kTable.slots;
}

NativePluginFacade::NativePluginFacade(CVRZPluginInterface* plugin) noexcept
    : table_(&table()), plugin_(plugin) {}

NativePluginFacade::~NativePluginFacade() { delete plugin_; }

NativePluginFacade* NativePluginFacade::create(CVRZPluginInterface* (*makePlugin)()) noexcept {
  // The host reads the table pointer at the object's address.
  static_assert(std::is_standard_layout_v<NativePluginFacade>);
  static_assert(offsetof(NativePluginFacade, table_) == 0);
  static_assert(offsetof(NativeTableWithPrefix, slots) == sizeof(void*));
  static_assert(offsetof(NativePluginTable, destroy) == 0);
  static_assert(offsetof(NativePluginTable, execute) == sizeof(void*));
  static_assert(offsetof(NativePluginTable, initPlugin) == 2 * sizeof(void*));

  // The facade's memory comes first, so a failure leaves no plug-in object to
  // destroy (its destructor would write to the host's log).
  void* memory = ::operator new(sizeof(NativePluginFacade), std::nothrow);
  if (memory == nullptr) return nullptr;
  CVRZPluginInterface* plugin = nullptr;
  try {
    plugin = makePlugin();
  } catch (...) {
    plugin = nullptr;
  }
  if (plugin == nullptr) {
    ::operator delete(memory);
    return nullptr;
  }
  return new (memory) NativePluginFacade(plugin);
}

void* NativePluginFacade::destroy(NativePluginFacade* self, unsigned int flags) noexcept {
  self->~NativePluginFacade();
  if ((flags & 1U) != 0) ::operator delete(self);
  return self;
}

bool NativePluginFacade::execute(NativePluginFacade* self) noexcept {
  try {
    return self->plugin_->execute();
  } catch (...) {
    return false;
  }
}

bool NativePluginFacade::initPlugin(NativePluginFacade* self) noexcept {
  try {
    return self->plugin_->initPlugin();
  } catch (...) {
    return false;
  }
}

} // namespace orbiculon

#endif
