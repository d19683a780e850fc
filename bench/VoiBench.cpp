// The largest VOI job: 1315 spheres of radius 20 mm (about 44 million voxels, half a
// gigabyte of VOI file), enumerated and written, against the same number of bytes
// written from a ready buffer to the same folder.
//
//   orbiculon_bench --benchmark_filter=LargestJob
//
// LargestJob/JobVersusPlainWrite reports the ratio of the two in one run and the peak
// resident memory against the budget of 12 bytes per voxel plus 64 MB.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "voi/VoiFile.h"
#include "voi/VoiFormat.h"

namespace orbiculon::bench {

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;
constexpr std::uint64_t kMemoryAllowance = 64u * 1024u * 1024u;
constexpr std::uint64_t kBytesPerVoxel = sizeof(VoxelTriple);
constexpr int kIterations = 5;
constexpr int kPairs = 9;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

const std::vector<SphereCentre>& largestJobCentres() {
  static const std::vector<SphereCentre> centres = randomTalCentres(kLargestJobVoiCount);
  return centres;
}

std::vector<SphereVoi> enumerateLargestJob(std::uint64_t& voxels) {
  const std::vector<SphereCentre>& centres = largestJobCentres();
  std::vector<SphereVoi> vois(centres.size());
  voxels = 0;
  for (std::size_t i = 0; i < centres.size(); ++i) {
    const std::string name = "Sphere_" + std::to_string(i + 1);
    std::copy(name.begin(), name.end(), vois[i].NameOfVOI.begin());
    vois[i].ColorOfVOI = {255, static_cast<std::int32_t>(i % 256), 0};
    vois[i].Voxels = enumerateSphereVoxels(centres[i], kLargestJobRadius, vois[i].NrOfVoxels);
    voxels += static_cast<std::uint64_t>(vois[i].NrOfVoxels);
  }
  return vois;
}

VoiFileDescription describe(const char* path, const std::vector<SphereVoi>& vois) {
  VoiFileDescription description;
  description.FilePath = path;
  description.FileVersion = 4;
  description.ReferenceSpace = "TAL";
  description.OriginalVMRResolutionX = 1;
  description.OriginalVMRResolutionY = 1;
  description.OriginalVMRResolutionZ = 1;
  description.OriginalVMRFramingCubeDim = 256;
  description.LeftRightConvention = 1;
  description.SubjectVOINamingConvention = "<SUBJ>_<VOI>";
  description.NrOfvois = static_cast<std::int32_t>(vois.size());
  description.VOIs = vois;
  return description;
}

struct JobResult {
  bool ok = false;
  std::uint64_t voxels = 0;
  std::uint64_t bytes = 0;
  double seconds = 0.0;
};

// (a) What "Start" does with the largest list: every sphere enumerated and kept, one
// VOI file written, the voxel arrays freed.
JobResult runLargestJob(const std::filesystem::path& file) {
  JobResult result;
  const std::string path = file.string();
  const Clock::time_point start = Clock::now();
  {
    std::vector<SphereVoi> vois = enumerateLargestJob(result.voxels);
    result.ok = writeVOIFile(describe(path.c_str(), vois)).ok();
  }
  result.seconds = secondsSince(start);
  std::error_code error;
  result.bytes = result.ok ? std::filesystem::file_size(file, error) : 0;
  return result;
}

} // namespace

double timeLargestJob(const std::filesystem::path& file) {
  const JobResult result = runLargestJob(file);
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
  return result.ok ? result.seconds : -1.0;
}

namespace {

// (b) The same number of bytes from a ready buffer, in chunks of the writer's buffer
// size, through the same unbuffered file output: the limit the machine sets.
double writePlain(const std::filesystem::path& file, std::uint64_t bytes) {
  static const std::vector<char> chunk = [] {
    std::vector<char> text(kVoiWriteBufferCapacity);
    const char line[] = "-12 -34 56\r\n";
    for (std::size_t i = 0; i < text.size(); ++i)
      text[i] = line[i % (sizeof(line) - 1)];
    return text;
  }();
  const Clock::time_point start = Clock::now();
  std::FILE* out = std::fopen(file.string().c_str(), "wb");
  if (out == nullptr) return -1.0;
  bool ok = std::setvbuf(out, nullptr, _IONBF, 0) == 0;
  for (std::uint64_t left = bytes; ok && left > 0;) {
    const std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
    ok = std::fwrite(chunk.data(), 1, part, out) == part;
    left -= part;
  }
  ok = std::fclose(out) == 0 && ok;
  return ok ? secondsSince(start) : -1.0;
}

void removeFile(const std::filesystem::path& file) {
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
}

// The file size of the job, measured once.
std::uint64_t largestJobBytes(const BenchFolder& folder) {
  static const std::uint64_t bytes = [&] {
    const JobResult result = runLargestJob(folder / "size.voi");
    removeFile(folder / "size.voi");
    return result.bytes;
  }();
  return bytes;
}

void setMemoryCounters(benchmark::State& state, std::uint64_t voxels) {
  const std::uint64_t peak = peakResidentBytes();
  const std::uint64_t budget = voxels * kBytesPerVoxel + kMemoryAllowance;
  state.counters["voxels"] = static_cast<double>(voxels);
  state.counters["peak_MB"] = static_cast<double>(peak) / kBytesPerMegabyte;
  state.counters["budget_MB"] = static_cast<double>(budget) / kBytesPerMegabyte;
  state.counters["peak_over_arrays_MB"] =
      (static_cast<double>(peak) - static_cast<double>(voxels * kBytesPerVoxel)) / kBytesPerMegabyte;
}

void LargestJob_EnumerateAndWrite(benchmark::State& state) {
  BenchFolder folder;
  JobResult result;
  for (auto _ : state) {
    result = runLargestJob(folder / "job.voi");
    if (!result.ok) {
      state.SkipWithError("the VOI file could not be written");
      break;
    }
    state.SetIterationTime(result.seconds);
    removeFile(folder / "job.voi");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(result.bytes) * state.iterations());
  setMemoryCounters(state, result.voxels);
}
BENCHMARK(LargestJob_EnumerateAndWrite)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kIterations);

void LargestJob_PlainWrite(benchmark::State& state) {
  BenchFolder folder;
  const std::uint64_t bytes = largestJobBytes(folder);
  for (auto _ : state) {
    const double seconds = writePlain(folder / "plain.bin", bytes);
    if (seconds < 0.0) {
      state.SkipWithError("the plain file could not be written");
      break;
    }
    state.SetIterationTime(seconds);
    removeFile(folder / "plain.bin");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
}
BENCHMARK(LargestJob_PlainWrite)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(kIterations);

double median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

// Both in turn in every iteration, after one untimed pair that warms the page cache
// and the allocator. On a shared virtual machine the plain write swings between fast
// and throttled phases, so the ratio is given twice: of the medians, and of the best
// times (both cases undisturbed).
void LargestJob_JobVersusPlainWrite(benchmark::State& state) {
  BenchFolder folder;
  JobResult result = runLargestJob(folder / "job.voi");
  removeFile(folder / "job.voi");
  writePlain(folder / "plain.bin", result.bytes);
  removeFile(folder / "plain.bin");
  std::vector<double> jobSeconds;
  std::vector<double> plainSeconds;
  for (auto _ : state) {
    result = runLargestJob(folder / "job.voi");
    removeFile(folder / "job.voi");
    const double plain = result.ok ? writePlain(folder / "plain.bin", result.bytes) : -1.0;
    removeFile(folder / "plain.bin");
    if (plain < 0.0) {
      state.SkipWithError("a file could not be written");
      break;
    }
    jobSeconds.push_back(result.seconds);
    plainSeconds.push_back(plain);
    state.SetIterationTime(result.seconds);
  }
  const double job = median(jobSeconds);
  const double plain = median(plainSeconds);
  const double bestJob = jobSeconds.empty() ? 0.0 : *std::min_element(jobSeconds.begin(), jobSeconds.end());
  const double bestPlain =
      plainSeconds.empty() ? 0.0 : *std::min_element(plainSeconds.begin(), plainSeconds.end());
  state.counters["job_ms"] = 1000.0 * job;
  state.counters["plain_ms"] = 1000.0 * plain;
  state.counters["ratio"] = plain > 0.0 ? job / plain : 0.0;
  state.counters["best_job_ms"] = 1000.0 * bestJob;
  state.counters["best_plain_ms"] = 1000.0 * bestPlain;
  state.counters["best_ratio"] = bestPlain > 0.0 ? bestJob / bestPlain : 0.0;
  state.counters["file_MB"] = static_cast<double>(result.bytes) / kBytesPerMegabyte;
  setMemoryCounters(state, result.voxels);
}
BENCHMARK(LargestJob_JobVersusPlainWrite)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(kPairs);

// Parts of the job on their own, to see where the time goes.
void LargestJob_EnumerateOnly(benchmark::State& state) {
  std::uint64_t voxels = 0;
  for (auto _ : state) {
    std::vector<SphereVoi> vois = enumerateLargestJob(voxels);
    benchmark::DoNotOptimize(vois.data());
  }
  state.counters["voxels"] = static_cast<double>(voxels);
}
BENCHMARK(LargestJob_EnumerateOnly)->Unit(benchmark::kMillisecond)->Iterations(kIterations);

class DiscardingSink final : public VoiTextSink {
public:
  bool write(const char* data, std::size_t size) noexcept override {
    benchmark::DoNotOptimize(data);
    bytes += size;
    return true;
  }
  std::uint64_t bytes = 0;
};

void LargestJob_FormatOnly(benchmark::State& state) {
  std::uint64_t voxels = 0;
  const std::vector<SphereVoi> vois = enumerateLargestJob(voxels);
  std::vector<char> buffer(kVoiWriteBufferCapacity);
  DiscardingSink sink;
  for (auto _ : state) {
    if (!formatVoiFile(describe("", vois), buffer, sink)) {
      state.SkipWithError("formatting failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(sink.bytes));
}
BENCHMARK(LargestJob_FormatOnly)->Unit(benchmark::kMillisecond)->Iterations(kIterations);

} // namespace

} // namespace orbiculon::bench
