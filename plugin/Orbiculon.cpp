#include "plugin/Orbiculon.h"

#include "host/HostEntryTable.h"

using orbiculon::hostTable;

namespace {

constexpr int kRequiredMajor = 2;
constexpr int kRequiredMinor = 2;
constexpr int kRequiredBuild = 0;
constexpr int kVmrDocumentType = 3;

} // namespace

Orbiculon::Orbiculon() = default;

// Writes the closing lines. Before any successful binding the log entry is null and
// the typed call writes nothing.
Orbiculon::~Orbiculon() {
  const auto& host = hostTable();
  host.rzLogText("Plugin>  Orbiculon Plugin finished!");
  host.rzLogText(" ");
}

bool Orbiculon::initPlugin() {
  try {
    if (!orbiculon::bindHostEntryPoints()) return false;
    const auto& host = hostTable();

    int major = 0;
    int minor = 0;
    int build = 0;
    host.rzGetVersionOfCerevantRZ(&major, &minor, &build);
    if (!orbiculon::isVersionAtLeast(major, minor, build, kRequiredMajor, kRequiredMinor, kRequiredBuild)) {
      host.rzMessageBox("Can not execute this plugin - CerevantRZ version 2.2 or higher required.");
      return false;
    }

    host.rzShowLogTab();
    host.rzLogText(" ");
    host.rzLogText("Plugin>  Running Orbiculon Plugin...");
    host.rzLogText("Plugin>");

    const std::int32_t id = host.rzGetIDOfCurrentDocument();
    if (id < 0) {
      host.rzMessageBox("No current document available.");
      return false;
    }
    if (host.rzGetDocumentType(id) != kVmrDocumentType) {
      host.rzMessageBox("The currently active document is not a VMR document.");
      return false;
    }
    documentID = id;
    return true;
  } catch (...) {
    return false;
  }
}

std::unique_ptr<orbiculon::VoxelTriple[]> Orbiculon::createSphereVoxels(const orbiculon::SphereCentre& centre,
                                                                        float radius, std::int32_t& count) {
  return orbiculon::enumerateSphereVoxels(centre, radius, count);
}
