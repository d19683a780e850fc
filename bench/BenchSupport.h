#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "voi/SphereVoxels.h"

namespace orbiculon::bench {

// The largest job the dialog allows: a coordinate list of this many VOIs, each of the
// largest radius a cleaned list line can carry.
inline constexpr int kLargestJobVoiCount = 1315;
inline constexpr float kLargestJobRadius = 20.0f;
inline constexpr std::uint32_t kWorkloadSeed = 20240611u;

// Seeded random centres with one decimal, within the TAL coordinate bounds, the same
// for every run and every case.
std::vector<SphereCentre> randomTalCentres(int count, std::uint32_t seed = kWorkloadSeed);

// A fresh folder under the system temp folder, removed with its content.
class BenchFolder {
public:
  BenchFolder();
  ~BenchFolder();
  BenchFolder(const BenchFolder&) = delete;
  BenchFolder& operator=(const BenchFolder&) = delete;
  std::filesystem::path operator/(const char* name) const { return path_ / name; }

private:
  std::filesystem::path path_;
};

// Seconds that the largest job (every sphere enumerated, one VOI file written at
// `file`, the arrays freed) takes once; negative when the file could not be written.
double timeLargestJob(const std::filesystem::path& file);

// Largest resident set of the process so far, in bytes.
std::uint64_t peakResidentBytes();

} // namespace orbiculon::bench
