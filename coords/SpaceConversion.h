#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace orbiculon {

// Conversion of a centre between MNI and TAL space, by one of the published
// transforms that papers and peer tools use. Pure arithmetic: no host, no state.
//
// Each transform is defined from MNI to TAL; from TAL to MNI its exact inverse is
// used. The float centre is taken as given, computed in double precision, and each
// converted coordinate is rounded to float once. A radius is never scaled.
enum class SpaceTransform : std::uint8_t {
  Icbm2TalSpm,   // icbm2tal for data normalised with SPM
  Icbm2TalFsl,   // icbm2tal for data normalised with FSL
  Icbm2TalOther, // icbm2tal for other templates
  Mni2Tal,       // the piecewise mni2tal: one scaling above MNI z = 0, another below
};

// A centre in millimetres.
struct SpacePoint {
  float x;
  float y;
  float z;
};

// The dialog's "ConvertSpace": 0 none, 1 icbm2tal (SPM), 2 icbm2tal (FSL),
// 3 icbm2tal (other), 4 mni2tal. Nothing for 0 and for any value outside 1 ... 4.
std::optional<SpaceTransform> transformForDialogValue(std::int32_t value) noexcept;
std::int32_t dialogValue(SpaceTransform transform) noexcept;

// The batch tool's names: "icbm-spm", "icbm-fsl", "icbm-other", "mni2tal".
std::optional<SpaceTransform> transformForOptionName(std::string_view name) noexcept;
std::string_view optionName(SpaceTransform transform) noexcept;

// The name the log gives the conversion in its direction: MNI to TAL
// "icbm2tal (SPM)", "icbm2tal (FSL)", "icbm2tal (other)", "mni2tal (Brett)"; TAL to
// MNI the inverses "tal2icbm (SPM)", "tal2icbm (FSL)", "tal2icbm (other)",
// "tal2mni (Brett)".
const char* conversionName(SpaceTransform transform, bool fromMni) noexcept;

// Converts `centre` from MNI to TAL (`fromMni` true) or from TAL to MNI. A centre
// that is not finite, or whose result does not fit a float, gives non-finite
// coordinates, never undefined behaviour.
SpacePoint convertCentre(SpaceTransform transform, bool fromMni, SpacePoint centre) noexcept;

} // namespace orbiculon
