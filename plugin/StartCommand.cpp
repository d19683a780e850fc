// "Start": turns the dialog's one sphere, or every line of the coordinate list, into
// VOIs, writes them to one file and asks the host to load it.
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "coords/CoordinateList.h"
#include "coords/SpaceConversion.h"
#include "host/HostEntryTable.h"
#include "host/VmrMainHeader.h"
#include "plugin/Commands.h"
#include "voi/VoiFile.h"

namespace orbiculon {

namespace {

constexpr int kListSource = 1;
constexpr int kLoadFile = 1;
constexpr std::int32_t kVoiFileVersion = 4;
constexpr char kVoiSuffix[] = ".voi";

// The line logged for every failure of the writer.
constexpr char kVoiWriteErrorLine[] = "Error while writing VOI file";

// The log's words for a sphere written without voxels, or null when it has none to write.
const char* refusalText(SphereRefusal refusal) {
  switch (refusal) {
  case SphereRefusal::NotFinite:
    return "its centre or radius is not a finite number";
  case SphereRefusal::BeyondCoordinateRange:
    return "it reaches beyond the 32-bit coordinate range";
  case SphereRefusal::TooManyVoxels:
    return "it holds more voxels than a VOI can store";
  case SphereRefusal::None:
    break;
  }
  return nullptr;
}

// Copies at most kVoiNameCapacity - 1 characters of the name into the VOI's own
// copy; a longer name is cut.
void copyName(const char* name, std::array<char, kVoiNameCapacity>& copy) {
  const std::size_t length = strnlen(name, copy.size() - 1);
  std::memcpy(copy.data(), name, length);
  copy[length] = '\0';
}

// Float to integer by truncation toward zero; values an int cannot hold saturate
// instead of being undefined.
std::int32_t truncateToInt(float value) {
  if (std::isnan(value)) return 0;
  constexpr float kLimit = 2147483648.0f; // 2^31
  if (value >= kLimit) return std::numeric_limits<std::int32_t>::max();
  if (value <= -kLimit) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

// The spaces of one "Start": the one the coordinates are typed and cleaned in, and,
// with "ConvertSpace" chosen, the transform to the other one, where the VOIs go.
struct StartSpaces {
  bool sourceIsMni;
  std::optional<SpaceTransform> transform;

  bool targetIsMni() const { return transform ? !sourceIsMni : sourceIsMni; }
};

// Reads "ConvertSpace" (0, or a host without it: no conversion). A value the dialog
// does not offer converts nothing, and the log says so.
StartSpaces readSpaces(bool isMni) {
  const std::int32_t value = hostTable().rzGetIntParameter("ConvertSpace");
  const StartSpaces spaces{isMni, transformForDialogValue(value)};
  if (value != 0 && !spaces.transform)
    logLine("Plugin>  Unknown ConvertSpace value %i: the centres are not converted.", value);
  return spaces;
}

const char* spaceText(bool isMni) { return isMni ? "MNI" : "TAL"; }

// One VOI's record: its name, colour, sphere and voxel count (0 for a sphere written
// without voxels; for most spheres the writer counts the voxels as it writes them). The
// voxels are enumerated while the file is written, so the command never holds them.
// With a conversion the sphere's centre is the converted one.
SphereVoi buildVoi(CoordinateEntry entry, const char* name, std::int32_t index, const StartSpaces& spaces) {
  const SpacePoint given{entry.x, entry.y, entry.z};
  if (spaces.transform) {
    const SpacePoint converted = convertCentre(*spaces.transform, spaces.sourceIsMni, given);
    entry.x = converted.x;
    entry.y = converted.y;
    entry.z = converted.z;
  }
  SphereVoi voi;
  copyName(name, voi.NameOfVOI);
  voi.ColorOfVOI = {entry.red, entry.green, entry.blue};
  const SphereRefusal refusal = assignSphere(voi, {entry.x, entry.y, entry.z}, entry.radius);

  logLine("Plugin>  Added VOI at %s (%s, %s, %s) with %s mm radius", spaceText(spaces.targetIsMni()),
          OneDecimal(entry.x).c_str(), OneDecimal(entry.y).c_str(), OneDecimal(entry.z).c_str(),
          OneDecimal(entry.radius).c_str());
  if (spaces.transform)
    logLine("Plugin>  converted from %s (%s, %s, %s) with %s", spaceText(spaces.sourceIsMni),
            OneDecimal(given.x).c_str(), OneDecimal(given.y).c_str(), OneDecimal(given.z).c_str(),
            conversionName(*spaces.transform, spaces.sourceIsMni));
  if (const char* reason = refusalText(refusal))
    logLine("Plugin>  VOI %i (\"%s\") was written without voxels: %s.", index + 1, voi.NameOfVOI.data(),
            reason);
  return voi;
}

} // namespace

bool runStart(CallTexts& texts, bool isMni) {
  const auto& host = hostTable();

  // Parameters, in the order the dialog's values are gathered. The entry first holds
  // the dialog's fields, and later each list line as it is read.
  CoordinateEntry entry{};
  entry.x = host.rzGetFloatParameter("tX");
  entry.y = host.rzGetFloatParameter("tY");
  entry.z = host.rzGetFloatParameter("tZ");
  entry.radius = host.rzGetFloatParameter("Radius");
  host.rzGetStringParameter("Name_of_VOI", texts.voiName.data());
  texts.voiName.terminate();
  entry.red = host.rzGetIntParameter("cR");
  entry.green = host.rzGetIntParameter("cG");
  entry.blue = host.rzGetIntParameter("cB");

  host.rzGetStringParameter("FileName", texts.filePath.data());
  texts.filePath.terminate();
  // A file name too long to take the suffix is not cut into some other path: the
  // file is then treated as one that cannot be opened.
  const std::size_t nameLength = std::strlen(texts.filePath.c_str());
  const bool pathFits = nameLength + sizeof kVoiSuffix <= kFilePathCapacity;
  if (pathFits) std::memcpy(texts.filePath.data() + nameLength, kVoiSuffix, sizeof kVoiSuffix);

  const bool load = host.rzGetIntParameter("LoadInCV") == kLoadFile;
  const bool fromList = host.rzGetIntParameter("listVOIinfoFrom") == kListSource;
  host.rzLogText(fromList ? "Plugin>  Reading Parameters from Text Box"
                          : "Plugin>  Reading Parameters from GUI dialog");
  host.rzGetStringParameter("VOItext", texts.list.data());
  texts.list.terminate();
  const StartSpaces spaces = readSpaces(isMni);
  // With a conversion the VOIs are built in the other space: the question and the
  // file are about that one.
  const bool targetIsMni = spaces.targetIsMni();
  const bool complete = fromList && completeLinesChosen();

  // The reference-space check against the current VMR. The record is zeroed first,
  // so a host that fills nothing leaves defined values.
  VmrMainHeader header{};
  host.rzGetMainHeaderOfCurrentVMR(&header);
  if (!targetIsMni && header.IsTalSpace != 1 &&
      host.rzYesNoMessageBox("VMR properties don't indicate TAL space. Do you want to continue?") == 0)
    return false;
  if (targetIsMni && header.IsMniSpace != 1 &&
      host.rzYesNoMessageBox("VMR properties don't indicate MNI space. Do you want to continue?") == 0)
    return false;

  VoiFileDescription description{};
  description.FilePath = texts.filePath.c_str();
  description.FileVersion = kVoiFileVersion;
  description.ReferenceSpace = spaceText(targetIsMni);
  description.OriginalVMRResolutionX = truncateToInt(header.ResolutionX);
  description.OriginalVMRResolutionY = truncateToInt(header.ResolutionY);
  description.OriginalVMRResolutionZ = truncateToInt(header.ResolutionZ);
  description.OriginalVMROffsetX = header.OffsetX;
  description.OriginalVMROffsetY = header.OffsetY;
  description.OriginalVMROffsetZ = header.OffsetZ;
  description.OriginalVMRFramingCubeDim = header.FramingCubeDim;
  description.LeftRightConvention = header.LeftRightConvention;
  description.SubjectVOINamingConvention = "<SUBJ>_<VOI>";
  description.NrOfVOIVTCs = 0;

  std::vector<SphereVoi> vois;
  if (fromList) {
    // Cleaning rewrites the command's copy of the list; the dialog's text stays as typed.
    // Short lines are completed from the dialog's fields, read above.
    const CompletionDefaults defaults{entry.radius, texts.voiName.c_str(), entry.red, entry.green,
                                      entry.blue};
    const ListCleaning cleaning = cleanListAndReport(texts, isMni, complete ? &defaults : nullptr);
    if (cleaning.outcome != ListOutcome::Cleaned) return cleaning.outcome == ListOutcome::OutOfMemory;
    logCompletedLines(cleaning);
    const int count = cleaning.lines;
    vois.reserve(static_cast<std::size_t>(count));
    CoordinateLineCursor cursor(texts.list.c_str());
    for (std::int32_t i = 0; i < count; ++i) {
      // Every line of a cleaned list supplies all eight fields; a line that could
      // not be read builds no VOI, so the count always matches the records.
      if (!cursor.parse(i, entry)) continue;
      vois.push_back(buildVoi(entry, entry.name.data(), i, spaces));
    }
  } else {
    vois.push_back(buildVoi(entry, texts.voiName.c_str(), 0, spaces));
  }
  description.NrOfvois = static_cast<std::int32_t>(vois.size());
  description.VOIs = vois;

  if (!pathFits) {
    logFileFailure(kVoiWriteErrorLine, texts.filePath.c_str(), {ENAMETOOLONG});
    return true;
  }
  if (const FileResult written = writeVOIFile(description); !written.ok()) {
    logFileFailure(kVoiWriteErrorLine, description.FilePath, written);
    return true;
  }
  logLine("Plugin>  Saved: %s", description.FilePath);
  if (load) host.rzLoadVOIs(description.FilePath);
  return true;
}

} // namespace orbiculon
