#pragma once

// The host is built with the platform's native C++ compiler. Its virtual table for
// CVRZPluginInterface has three slots: a deleting destructor that takes a flags
// argument (bit 0: free the object after destroying it), then execute, then
// initPlugin. A Windows compiler with a different C++ ABI (MinGW: Itanium layout)
// gives a virtual destructor two slots, which would move execute and initPlugin. On
// such builds the object handed to the host is a facade that presents the native
// table and forwards to the real plug-in object. Elsewhere the plug-in class itself
// already has the host's layout and no facade exists.
#if defined(_WIN32) && !defined(_MSC_VER)
#define ORBICULON_NATIVE_LAYOUT_FACADE 1
#endif

#if defined(ORBICULON_NATIVE_LAYOUT_FACADE)

#include "host/PluginInterface.h"

namespace orbiculon {

class NativePluginFacade;

// The native virtual table, slot by slot. On x64 Windows there is a single calling
// convention and `this` travels as the first argument, so plain functions taking
// the object as their first parameter are exactly what the host calls.
struct NativePluginTable {
  // Destroys the object; frees its memory too when bit 0 of `flags` is set.
  // Returns the object's address, as the native deleting destructor does.
  void* (*destroy)(NativePluginFacade* self, unsigned int flags);
  bool (*execute)(NativePluginFacade* self);
  bool (*initPlugin)(NativePluginFacade* self);
};

// What createPlugin returns on these builds: an object whose first (and, for the
// host, only) member points to the native table. It owns the real plug-in object.
class NativePluginFacade {
public:
  // A facade around a new object made by `makePlugin`; null, with nothing created,
  // when either allocation fails. `makePlugin` returns null when it cannot allocate.
  static NativePluginFacade* create(CVRZPluginInterface* (*makePlugin)()) noexcept;

  NativePluginFacade(const NativePluginFacade&) = delete;
  NativePluginFacade& operator=(const NativePluginFacade&) = delete;

  // The table the host calls through; the same for every facade.
  static const NativePluginTable& table() noexcept;

private:
  explicit NativePluginFacade(CVRZPluginInterface* plugin) noexcept;
  ~NativePluginFacade();

  static void* destroy(NativePluginFacade* self, unsigned int flags) noexcept;
  static bool execute(NativePluginFacade* self) noexcept;
  static bool initPlugin(NativePluginFacade* self) noexcept;

  const NativePluginTable* table_;
  CVRZPluginInterface* plugin_;
};

} // namespace orbiculon

#endif
