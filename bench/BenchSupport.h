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

// Seconds that the largest job (every record built as "Start" builds it, one VOI file
// written at `file`) takes once; negative when the file could not be written.
double timeLargestJob(const std::filesystem::path& file);

// Largest resident set of the process since it started or since the last successful
// resetPeakResident, in bytes.
std::uint64_t peakResidentBytes();

// Resets the high-water mark of the resident set to the current size; false where the
// system cannot (peakResidentBytes then keeps the whole-life peak).
bool resetPeakResident();

// Resident set of the process now, in bytes (0 where it cannot be read).
std::uint64_t residentBytes();

// Minor page faults of the process so far.
std::uint64_t minorPageFaults();

} // namespace orbiculon::bench
