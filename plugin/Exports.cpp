// The module's plain C entry points. The host finds them by their undecorated names.
#include <new>

#include "host/Export.h"
#include "plugin/NativeLayout.h"
#include "plugin/Orbiculon.h"

namespace {

// One constant text per getter; the host keeps the pointers and never frees them.
constexpr char kPluginName[] = "Orbiculon";
constexpr char kPluginDescription[] = "Creates Spherical VOIs";
constexpr char kAuthor[] = "<i>O.D.T.</i>";
constexpr char kHelpFile[] = "HelpFolder/index.html";
constexpr char kGuiScript[] = "Orbiculon.js";
constexpr char kPluginVersion[] = "2.2";

#if defined(ORBICULON_NATIVE_LAYOUT_FACADE)
CVRZPluginInterface* newOrbiculon() { return new (std::nothrow) Orbiculon(); }
#endif

} // namespace

extern "C" {

#if defined(ORBICULON_NATIVE_LAYOUT_FACADE)
// A new plug-in object in the host's native layout, owned by the host from now on;
// null when it cannot be allocated. No host call is made.
ORBICULON_EXPORT orbiculon::NativePluginFacade* createPlugin() {
  return orbiculon::NativePluginFacade::create(&newOrbiculon);
}
#else
// A new plug-in object, owned by the host from now on; null when it cannot be
// allocated. No host call is made.
ORBICULON_EXPORT CVRZPluginInterface* createPlugin() { return new (std::nothrow) Orbiculon(); }
#endif

// Identification texts: static, never null, the same pointer on every call.
ORBICULON_EXPORT const char* getPluginName() { return kPluginName; }
ORBICULON_EXPORT const char* getPluginDescription() { return kPluginDescription; }
ORBICULON_EXPORT const char* getAuthor() { return kAuthor; }
ORBICULON_EXPORT const char* getHelpFile() { return kHelpFile; }
ORBICULON_EXPORT const char* getGUIScript() { return kGuiScript; }
ORBICULON_EXPORT const char* getPluginVersion() { return kPluginVersion; }

} // extern "C"
