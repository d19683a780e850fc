#include "bench/BenchSupport.h"

#include <cstdlib>
#include <fstream>
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

namespace {

constexpr std::uint64_t kBytesPerKilobyte = 1024;

// The value in kB of one "Name:   N kB" line of /proc/self/status; 0 when missing.
std::uint64_t statusKilobytes(const std::string& name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, name.size(), name) == 0)
      return std::strtoull(line.c_str() + name.size(), nullptr, 10);
  }
  return 0;
}

} // namespace

std::uint64_t peakResidentBytes() {
  // VmHWM follows resetPeakResident; ru_maxrss (in kB on Linux) does not.
  if (const std::uint64_t peak = statusKilobytes("VmHWM:"); peak > 0) return peak * kBytesPerKilobyte;
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<std::uint64_t>(usage.ru_maxrss) * kBytesPerKilobyte;
}

bool resetPeakResident() {
  std::ofstream clearRefs("/proc/self/clear_refs");
  clearRefs << "5";
  clearRefs.flush();
  return static_cast<bool>(clearRefs);
}

std::uint64_t residentBytes() { return statusKilobytes("VmRSS:") * kBytesPerKilobyte; }

std::uint64_t minorPageFaults() {
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<std::uint64_t>(usage.ru_minflt);
}

} // namespace orbiculon::bench
