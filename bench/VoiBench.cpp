// The largest VOI job: 1315 spheres of radius 20 mm (about 44 million voxels, a 465 MB
// VOI file), built and written as "Start" does it (each sphere enumerated once, straight
// into the writer's buffer, its voxels counted as they are written), against the same
// number of bytes written from a ready buffer to the same folder.
//
//   orbiculon_bench --benchmark_filter=LargestJob
//
// LargestJob/JobVersusPlainWrite reports, from one run, the ratio of the two, the
// job's voxels and megabytes per second, its peak resident memory above the idle
// process and its minor page faults per run; the second case does the same for one
// sphere of radius 200 mm (34 million voxels), to show that memory and page faults do
// not grow with the voxel count. LargestJob/ReplaceVersusInPlace compares the job
// written through the replacing writer with the job written in place.

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
constexpr int kIterations = 5;
constexpr int kPairs = 9;
constexpr float kLargeRadius = 200.0f;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The spheres of a job: the largest list's centres, or the first few of them.
std::vector<SphereCentre> jobCentres(int count) {
  static const std::vector<SphereCentre> centres = randomTalCentres(kLargestJobVoiCount);
  return std::vector<SphereCentre>(centres.begin(),
                                   centres.begin() + std::min<std::ptrdiff_t>(count, kLargestJobVoiCount));
}

// The voxels of the job's spheres. The records leave most counts to the writer, so
// this is counted apart, outside the timed part.
std::uint64_t jobVoxels(const std::vector<SphereCentre>& centres, float radius) {
  std::uint64_t voxels = 0;
  for (const SphereCentre& centre : centres) {
    const std::int64_t count = countSphereVoxels(centre, radius);
    if (count > 0 && count <= kMaxSphereVoxels) voxels += static_cast<std::uint64_t>(count);
  }
  return voxels;
}

// The records "Start" builds: name, colour, sphere and, where needed, voxel count; no
// voxels.
std::vector<SphereVoi> buildJob(const std::vector<SphereCentre>& centres, float radius) {
  std::vector<SphereVoi> vois(centres.size());
  for (std::size_t i = 0; i < centres.size(); ++i) {
    const std::string name = "Sphere_" + std::to_string(i + 1);
    std::copy(name.begin(), name.end(), vois[i].NameOfVOI.begin());
    vois[i].ColorOfVOI = {255, static_cast<std::int32_t>(i % 256), 0};
    assignSphere(vois[i], centres[i], radius);
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
  std::uint64_t minorFaults = 0;
  double seconds = 0.0;
};

// What "Start" does with a list: every record built, one VOI file written.
JobResult runJob(const std::filesystem::path& file, const std::vector<SphereCentre>& centres, float radius) {
  JobResult result;
  const std::string path = file.string();
  const std::uint64_t faultsBefore = minorPageFaults();
  const Clock::time_point start = Clock::now();
  {
    const std::vector<SphereVoi> vois = buildJob(centres, radius);
    result.ok = writeVOIFile(describe(path.c_str(), vois)).ok();
  }
  result.seconds = secondsSince(start);
  result.minorFaults = minorPageFaults() - faultsBefore;
  result.voxels = jobVoxels(centres, radius);
  std::error_code error;
  result.bytes = result.ok ? std::filesystem::file_size(file, error) : 0;
  return result;
}

void removeFile(const std::filesystem::path& file) {
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
}

} // namespace

double timeLargestJob(const std::filesystem::path& file) {
  const JobResult result = runJob(file, jobCentres(kLargestJobVoiCount), kLargestJobRadius);
  removeFile(file);
  return result.ok ? result.seconds : -1.0;
}

namespace {

// The same number of bytes from a ready buffer, in chunks of the writer's buffer size,
// through the same unbuffered file output: the limit the machine sets.
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

double median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

double smallest(const std::vector<double>& values) {
  return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

// The job and the plain write in turn in every iteration, after one untimed pair that
// warms the page cache and the allocator. On a shared virtual machine the plain write
// swings between fast and throttled phases, so the ratio is given twice: of the
// medians, and of the best times (both cases undisturbed). Arguments: the number of
// spheres and their radius.
void LargestJob_JobVersusPlainWrite(benchmark::State& state) {
  const std::vector<SphereCentre> centres = jobCentres(static_cast<int>(state.range(0)));
  const float radius = static_cast<float>(state.range(1));
  BenchFolder folder;
  JobResult result = runJob(folder / "job.voi", centres, radius);
  removeFile(folder / "job.voi");
  writePlain(folder / "plain.bin", result.bytes);
  removeFile(folder / "plain.bin");

  const bool peakReset = resetPeakResident();
  const std::uint64_t idle = residentBytes();
  std::vector<double> jobSeconds;
  std::vector<double> plainSeconds;
  std::vector<double> jobFaults;
  for (auto _ : state) {
    result = runJob(folder / "job.voi", centres, radius);
    removeFile(folder / "job.voi");
    const double plain = result.ok ? writePlain(folder / "plain.bin", result.bytes) : -1.0;
    removeFile(folder / "plain.bin");
    if (plain < 0.0) {
      state.SkipWithError("a file could not be written");
      break;
    }
    jobSeconds.push_back(result.seconds);
    plainSeconds.push_back(plain);
    jobFaults.push_back(static_cast<double>(result.minorFaults));
    state.SetIterationTime(result.seconds);
  }
  const double peak = static_cast<double>(peakResidentBytes());

  const double job = median(jobSeconds);
  const double plain = median(plainSeconds);
  const double megabytes = static_cast<double>(result.bytes) / kBytesPerMegabyte;
  state.counters["job_ms"] = 1000.0 * job;
  state.counters["plain_ms"] = 1000.0 * plain;
  state.counters["ratio"] = plain > 0.0 ? job / plain : 0.0;
  state.counters["best_job_ms"] = 1000.0 * smallest(jobSeconds);
  state.counters["best_plain_ms"] = 1000.0 * smallest(plainSeconds);
  state.counters["best_ratio"] =
      smallest(plainSeconds) > 0.0 ? smallest(jobSeconds) / smallest(plainSeconds) : 0.0;
  state.counters["voxels"] = static_cast<double>(result.voxels);
  state.counters["voxels_per_s"] = job > 0.0 ? static_cast<double>(result.voxels) / job : 0.0;
  state.counters["file_MB"] = megabytes;
  state.counters["job_MB_per_s"] = job > 0.0 ? megabytes / job : 0.0;
  state.counters["plain_MB_per_s"] = plain > 0.0 ? megabytes / plain : 0.0;
  state.counters["minor_faults_per_run"] = median(jobFaults);
  // Without a resettable high-water mark the peak is the process' whole-life peak.
  state.counters["peak_above_idle_MB"] =
      (peak - (peakReset ? static_cast<double>(idle) : 0.0)) / kBytesPerMegabyte;
}
BENCHMARK(LargestJob_JobVersusPlainWrite)
    ->Args({kLargestJobVoiCount, static_cast<std::int64_t>(kLargestJobRadius)})
    ->Args({1, static_cast<std::int64_t>(kLargeRadius)})
    ->ArgNames({"vois", "radius"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kPairs);

// The replace step on its own: the same job written through writeVOIFile (a new
// temporary file beside the target, renamed onto it) and written in place (the
// target truncated and formatted into directly, as the writer did before it replaced
// files), both to the same folder, in turns whose order swaps every iteration.
// `ratio` is replace over in place, of the medians. Argument: whether the target
// exists (a second save over the first, whose old blocks the rename or the
// truncation frees) or not (a first save: the target is removed, untimed).
constexpr int kReplacePairs = 15;

class InPlaceSink final : public VoiTextSink {
public:
  explicit InPlaceSink(std::FILE* out) noexcept : out_(out) {}
  bool write(const char* data, std::size_t size) noexcept override {
    return std::fwrite(data, 1, size, out_) == size;
  }

private:
  std::FILE* out_;
};

// runJob with the file written in place: unbuffered, so every chunk of the
// formatter's buffer is one write, as in the replacing writer.
JobResult runJobInPlace(const std::filesystem::path& file, const std::vector<SphereCentre>& centres,
                        float radius) {
  JobResult result;
  const std::string path = file.string();
  std::vector<char> buffer(kVoiWriteBufferCapacity);
  const Clock::time_point start = Clock::now();
  {
    const std::vector<SphereVoi> vois = buildJob(centres, radius);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out != nullptr) {
      InPlaceSink sink(out);
      result.ok = std::setvbuf(out, nullptr, _IONBF, 0) == 0 &&
                  formatVoiFile(describe(path.c_str(), vois), buffer, sink);
      result.ok = std::fclose(out) == 0 && result.ok;
    }
  }
  result.seconds = secondsSince(start);
  return result;
}

void LargestJob_ReplaceVersusInPlace(benchmark::State& state) {
  const std::vector<SphereCentre> centres = jobCentres(kLargestJobVoiCount);
  const bool existing = state.range(0) != 0;
  BenchFolder folder;
  // Untimed: both targets exist from here on, and the page cache is warm.
  runJob(folder / "replaced.voi", centres, kLargestJobRadius);
  runJobInPlace(folder / "in_place.voi", centres, kLargestJobRadius);
  std::vector<double> replaced;
  std::vector<double> inPlace;
  for (auto _ : state) {
    if (!existing) {
      removeFile(folder / "replaced.voi");
      removeFile(folder / "in_place.voi");
    }
    JobResult results[2];
    const bool replaceFirst = replaced.size() % 2 == 0;
    for (int turn = 0; turn < 2; ++turn) {
      if ((turn == 0) == replaceFirst)
        results[0] = runJob(folder / "replaced.voi", centres, kLargestJobRadius);
      else
        results[1] = runJobInPlace(folder / "in_place.voi", centres, kLargestJobRadius);
    }
    if (!results[0].ok || !results[1].ok) {
      state.SkipWithError("a file could not be written");
      break;
    }
    replaced.push_back(results[0].seconds);
    inPlace.push_back(results[1].seconds);
    state.SetIterationTime(results[0].seconds);
  }
  state.counters["replace_ms"] = 1000.0 * median(replaced);
  state.counters["in_place_ms"] = 1000.0 * median(inPlace);
  state.counters["ratio"] = median(inPlace) > 0.0 ? median(replaced) / median(inPlace) : 0.0;
  state.counters["best_ratio"] = smallest(inPlace) > 0.0 ? smallest(replaced) / smallest(inPlace) : 0.0;
}
BENCHMARK(LargestJob_ReplaceVersusInPlace)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("existing")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kReplacePairs);

// Parts of the job on their own, to see where the time goes: building the records
// (a sphere is counted only when it might come near the voxel limit) and formatting
// the file (which counts the other spheres' voxels as it writes them) without writing it.
void LargestJob_BuildRecordsOnly(benchmark::State& state) {
  const std::vector<SphereCentre> centres = jobCentres(kLargestJobVoiCount);
  const std::uint64_t voxels = jobVoxels(centres, kLargestJobRadius);
  for (auto _ : state) {
    std::vector<SphereVoi> vois = buildJob(centres, kLargestJobRadius);
    benchmark::DoNotOptimize(vois.data());
  }
  state.counters["voxels"] = static_cast<double>(voxels);
}
BENCHMARK(LargestJob_BuildRecordsOnly)->Unit(benchmark::kMillisecond)->Iterations(kIterations);

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
  const std::vector<SphereCentre> centres = jobCentres(kLargestJobVoiCount);
  const std::uint64_t voxels = jobVoxels(centres, kLargestJobRadius);
  const std::vector<SphereVoi> vois = buildJob(centres, kLargestJobRadius);
  std::vector<char> buffer(kVoiWriteBufferCapacity);
  DiscardingSink sink;
  for (auto _ : state) {
    if (!formatVoiFile(describe("", vois), buffer, sink)) {
      state.SkipWithError("formatting failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(sink.bytes));
  state.counters["voxels_per_s"] =
      benchmark::Counter(static_cast<double>(voxels), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(LargestJob_FormatOnly)->Unit(benchmark::kMillisecond)->Iterations(kIterations);

} // namespace

} // namespace orbiculon::bench
