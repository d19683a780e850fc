#include "coords/LineCompletion.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

#include "coords/FieldReader.h"

namespace orbiculon {

namespace {

// Room for the "_" and a 32-bit line number.
constexpr std::size_t kNumberSuffixCapacity = 16;

// "<base>_<number>" with every whitespace or separator of the base as '_'; the base
// is cut, never the number, so names of different lines stay different.
std::string_view generateName(std::string_view base, std::int32_t lineNumber,
                              std::span<char, kVoiNameCapacity> storage) noexcept {
  std::array<char, kNumberSuffixCapacity> suffix{'_'};
  const auto [end, error] = std::to_chars(suffix.data() + 1, suffix.data() + suffix.size(), lineNumber);
  const std::size_t suffixLength = error == std::errc{} ? static_cast<std::size_t>(end - suffix.data()) : 1;
  const std::size_t baseLength = std::min(base.size(), kCoordinateNameMaxLength - suffixLength);
  for (std::size_t i = 0; i < baseLength; ++i) {
    const char c = base[i];
    storage[i] = isFieldWhitespace(c) || isFieldSeparator(c) ? '_' : c;
  }
  std::copy_n(suffix.data(), suffixLength, storage.data() + baseLength);
  storage[baseLength + suffixLength] = '\0';
  return {storage.data(), baseLength + suffixLength};
}

// Missing and NotANumber are what completion fills in; OutOfRange is not.
bool fillable(FieldStatus status) noexcept {
  return status == FieldStatus::Missing || status == FieldStatus::NotANumber;
}

} // namespace

bool completeCoordinateLine(std::string_view line, std::int32_t lineNumber,
                            const CompletionDefaults& defaults, std::span<char, kVoiNameCapacity> nameStorage,
                            CompletedLine& out) noexcept {
  out = CompletedLine{};
  FieldReader reader(line, true);
  if (reader.readReal(out.x) != FieldStatus::Read || reader.readReal(out.y) != FieldStatus::Read ||
      reader.readReal(out.z) != FieldStatus::Read)
    return false;

  // Radius, or a label in its place.
  const std::size_t radiusPosition = reader.position();
  FieldStatus status = reader.readReal(out.radius);
  bool nameRead = false;
  if (status == FieldStatus::NotANumber) {
    FieldReader labelReader(line.substr(radiusPosition), true);
    labelReader.readName(out.name);
    reader = labelReader;
    nameRead = true;
    out.radiusFilled = true;
    status = FieldStatus::Read;
  } else if (status == FieldStatus::Missing) {
    out.radiusFilled = true;
  } else if (status == FieldStatus::OutOfRange) {
    return false;
  }
  if (out.radiusFilled) {
    if (std::isnan(defaults.radius)) return false;
    out.radius = defaults.radius;
  }

  if (status == FieldStatus::Read && !nameRead) status = reader.readName(out.name);
  out.nameFilled = status != FieldStatus::Read;
  if (out.nameFilled) out.name = generateName(defaults.name, lineNumber, nameStorage);

  const std::array<std::int32_t*, 3> colours{&out.red, &out.green, &out.blue};
  const std::array<std::int32_t, 3> defaultColours{defaults.red, defaults.green, defaults.blue};
  const std::array<bool*, 3> filled{&out.redFilled, &out.greenFilled, &out.blueFilled};
  for (std::size_t i = 0; i < colours.size(); ++i) {
    if (status == FieldStatus::Read) {
      status = reader.readInteger(*colours[i]);
      if (!fillable(status) && status != FieldStatus::Read) return false;
    }
    *filled[i] = status != FieldStatus::Read;
    if (*filled[i]) *colours[i] = defaultColours[i];
  }
  return out.radiusFilled || out.nameFilled || out.blueFilled;
}

} // namespace orbiculon
