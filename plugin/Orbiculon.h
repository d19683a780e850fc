#pragma once

#include <cstdint>
#include <memory>

#include "host/Export.h"
#include "host/PluginInterface.h"
#include "voi/SphereVoxels.h"

// The plug-in object the host creates through createPlugin. The class itself is
// hidden; only the members the host links against are exported.
class Orbiculon final : public CVRZPluginInterface {
public:
  ORBICULON_EXPORT Orbiculon();
  ORBICULON_EXPORT ~Orbiculon() override;

  // Binds the host and checks its version and current document; true means
  // commands may run. Never throws.
  ORBICULON_EXPORT bool initPlugin() override;
  // Runs the dialog command named by the "Command" parameter [after initPlugin].
  // Returns false when Start stops on the reference space (declined, or the list
  // names the other one). Never throws.
  ORBICULON_EXPORT bool execute() override;

  // The voxels of one sphere as an array: forwards to enumerateSphereVoxels (same
  // results, same `count`) and needs no object state. Start does not call it: it
  // streams each sphere's voxels into the VOI file instead of holding them.
  std::unique_ptr<orbiculon::VoxelTriple[]> createSphereVoxels(const orbiculon::SphereCentre& centre,
                                                               float radius, std::int32_t& count);

  // initPlugin stores the current document's ID here on success; no command reads it.
  std::int32_t documentID = 0;
};
