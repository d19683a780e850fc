#pragma once

#include "host/Export.h"

// The host's plug-in interface. The host programs against this class: an object is
// nothing but its virtual table pointer, and the three virtual slots are, in order,
// the destructor, execute and initPlugin. The member functions are defined out of
// line so that they exist as exported symbols, as the host expects to find them.
class ORBICULON_EXPORT CVRZPluginInterface {
public:
  CVRZPluginInterface();
  CVRZPluginInterface(const CVRZPluginInterface& other);
  CVRZPluginInterface& operator=(const CVRZPluginInterface& other);
  virtual ~CVRZPluginInterface();

  virtual bool execute() = 0;
  virtual bool initPlugin() = 0;
};

namespace static_intf {

// Mirrors CVRZPluginInterface above, unused by any class: it is here only so the
// module exports the symbols the host's interface library also exports.
class ORBICULON_EXPORT CVRZPluginInterface {
public:
  CVRZPluginInterface();
  CVRZPluginInterface(const CVRZPluginInterface& other);
  CVRZPluginInterface& operator=(const CVRZPluginInterface& other);
  virtual ~CVRZPluginInterface();

  virtual bool execute() = 0;
  virtual bool initPlugin() = 0;
};

} // namespace static_intf
