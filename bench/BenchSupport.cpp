#include "bench/BenchSupport.h"

#include <random>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

namespace orbiculon::bench {

namespace {

// TAL bounds in tenths of a millimetre, inclusive.
constexpr int kTalXLow = -690, kTalXHigh = 690;
constexpr int kTalYLow = -1020, kTalYHigh = 710;
constexpr int kTalZLow = -430, kTalZHigh = 760;
constexpr float kTenthsPerMillimetre = 10.0f;

} // namespace

std::vector<SphereCentre> randomTalCentres(int count, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> x(kTalXLow, kTalXHigh);
  std::uniform_int_distribution<int> y(kTalYLow, kTalYHigh);
  std::uniform_int_distribution<int> z(kTalZLow, kTalZHigh);
  std::vector<SphereCentre> centres;
  centres.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const float cx = static_cast<float>(x(random)) / kTenthsPerMillimetre;
    const float cy = static_cast<float>(y(random)) / kTenthsPerMillimetre;
    const float cz = static_cast<float>(z(random)) / kTenthsPerMillimetre;
    centres.push_back({cx, cy, cz});
  }
  return centres;
}

BenchFolder::BenchFolder()
    : path_(std::filesystem::temp_directory_path() / ("orbiculon-bench-" + std::to_string(::getpid()))) {
  std::filesystem::create_directories(path_);
}

BenchFolder::~BenchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::uint64_t peakResidentBytes() {
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  constexpr std::uint64_t kBytesPerKilobyte = 1024;
  return static_cast<std::uint64_t>(usage.ru_maxrss) * kBytesPerKilobyte; // ru_maxrss is in kB on Linux
}

} // namespace orbiculon::bench
