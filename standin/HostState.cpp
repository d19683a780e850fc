#include "standin/HostState.h"

#include <charconv>
#include <cstring>

namespace standin {

HostState& state() {
  static HostState hostState;
  return hostState;
}

VmrHeaderRecord VmrHeaderRecord::defaults() {
  VmrHeaderRecord header;
  std::memset(&header, 0, sizeof header);
  header.ResolutionX = header.ResolutionY = header.ResolutionZ = 1.0f;
  header.FramingCubeDim = 256;
  header.LeftRightConvention = 1;
  header.IsTalSpace = 1;
  header.IsMniSpace = 0;
  return header;
}

namespace {

template <typename T> bool parseNumber(const std::string& text, T& out) {
  const char* first = text.data();
  const char* last = first + text.size();
  auto [end, error] = std::from_chars(first, last, out);
  return error == std::errc() && end == last;
}

} // namespace

bool VmrHeaderRecord::set(const std::string& field, const std::string& value) {
  struct IntField {
    const char* name;
    std::int32_t VmrHeaderRecord::*member;
  };
  static const IntField intFields[] = {
      {"OffsetX", &VmrHeaderRecord::OffsetX},
      {"OffsetY", &VmrHeaderRecord::OffsetY},
      {"OffsetZ", &VmrHeaderRecord::OffsetZ},
      {"FramingCubeDim", &VmrHeaderRecord::FramingCubeDim},
      {"IsTalSpace", &VmrHeaderRecord::IsTalSpace},
      {"IsMniSpace", &VmrHeaderRecord::IsMniSpace},
      {"LeftRightConvention", &VmrHeaderRecord::LeftRightConvention},
  };
  struct FloatField {
    const char* name;
    float VmrHeaderRecord::*member;
  };
  static const FloatField floatFields[] = {
      {"ResolutionX", &VmrHeaderRecord::ResolutionX},
      {"ResolutionY", &VmrHeaderRecord::ResolutionY},
      {"ResolutionZ", &VmrHeaderRecord::ResolutionZ},
  };
  for (const auto& f : intFields)
    if (field == f.name) return parseNumber(value, this->*f.member);
  for (const auto& f : floatFields)
    if (field == f.name) return parseNumber(value, this->*f.member);
  return false;
}

} // namespace standin
