#include "host/PluginInterface.h"

CVRZPluginInterface::CVRZPluginInterface() = default;
CVRZPluginInterface::CVRZPluginInterface(const CVRZPluginInterface&) = default;
// Copies nothing: the class has no state beyond its type.
CVRZPluginInterface& CVRZPluginInterface::operator=(const CVRZPluginInterface&) { return *this; }
CVRZPluginInterface::~CVRZPluginInterface() = default;

namespace static_intf {

CVRZPluginInterface::CVRZPluginInterface() = default;
CVRZPluginInterface::CVRZPluginInterface(const CVRZPluginInterface&) = default;
CVRZPluginInterface& CVRZPluginInterface::operator=(const CVRZPluginInterface&) { return *this; }
CVRZPluginInterface::~CVRZPluginInterface() = default;

} // namespace static_intf
