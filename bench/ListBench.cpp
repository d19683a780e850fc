// The coordinate list of the largest job (1315 lines, the most a cleaned list holds
// with short names): cleaning it and reading every cleaned line back, as "Start"
// does before it builds the VOIs, against the time of the job itself.
//
//   orbiculon_bench --benchmark_filter=LargestList

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "coords/CoordinateEntry.h"
#include "coords/CoordinateList.h"

namespace orbiculon::bench {

namespace {

using Clock = std::chrono::steady_clock;

// The list as a user pastes it: comma-separated, one decimal, as in a table.
std::string largestList() {
  std::string text;
  char line[128];
  int index = 0;
  for (const SphereCentre& centre : randomTalCentres(kLargestJobVoiCount)) {
    std::snprintf(line, sizeof line, "%.1f, %.1f, %.1f, %.0f, Sphere_%d, 255, %d, 0\n",
                  static_cast<double>(centre.x), static_cast<double>(centre.y), static_cast<double>(centre.z),
                  static_cast<double>(kLargestJobRadius), index + 1, index % 256);
    text += line;
    ++index;
  }
  return text;
}

// Cleans a fresh copy of the list and reads every line; returns the lines read.
template <bool ByIndex> int cleanAndParse(const std::string& list, std::vector<char>& buffer) {
  std::copy(list.begin(), list.end(), buffer.begin());
  buffer[list.size()] = '\0';
  const int count = cleanCoordinateList(buffer, false);
  CoordinateEntry entry{};
  CoordinateLineCursor cursor(buffer.data());
  int read = 0;
  for (int i = 0; i < count; ++i) {
    const bool ok = ByIndex ? parseCoordinateLine(buffer.data(), i, entry) : cursor.parse(i, entry);
    read += ok ? 1 : 0;
  }
  benchmark::DoNotOptimize(entry);
  return read;
}

template <bool ByIndex> void LargestList_CleanAndParse(benchmark::State& state) {
  const std::string list = largestList();
  std::vector<char> buffer(kCoordinateListCapacity);
  int read = 0;
  for (auto _ : state)
    read = cleanAndParse<ByIndex>(list, buffer);
  state.counters["lines"] = read;
}
BENCHMARK(LargestList_CleanAndParse<false>)
    ->Name("LargestList/CleanAndParseWithCursor")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(LargestList_CleanAndParse<true>)
    ->Name("LargestList/CleanAndParseByIndex")
    ->Unit(benchmark::kMillisecond);

// The share that cleaning and parsing add to the whole "Start" of the largest list,
// both measured in this case (medians of the rounds).
void LargestList_ShareOfStart(benchmark::State& state) {
  BenchFolder folder;
  const std::string list = largestList();
  std::vector<char> buffer(kCoordinateListCapacity);
  std::vector<double> listSeconds;
  std::vector<double> jobSeconds;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    for (int round = 0; round < 10; ++round)
      benchmark::DoNotOptimize(cleanAndParse<false>(list, buffer));
    listSeconds.push_back(std::chrono::duration<double>(Clock::now() - start).count() / 10.0);
    const double job = timeLargestJob(folder / "job.voi");
    if (job < 0.0) {
      state.SkipWithError("the VOI file could not be written");
      break;
    }
    jobSeconds.push_back(job);
    state.SetIterationTime(job + listSeconds.back());
  }
  std::sort(listSeconds.begin(), listSeconds.end());
  std::sort(jobSeconds.begin(), jobSeconds.end());
  const double listMedian = listSeconds.empty() ? 0.0 : listSeconds[listSeconds.size() / 2];
  const double jobMedian = jobSeconds.empty() ? 0.0 : jobSeconds[jobSeconds.size() / 2];
  state.counters["list_ms"] = 1000.0 * listMedian;
  state.counters["job_ms"] = 1000.0 * jobMedian;
  state.counters["list_share_percent"] =
      jobMedian > 0.0 ? 100.0 * listMedian / (jobMedian + listMedian) : 0.0;
}
BENCHMARK(LargestList_ShareOfStart)
    ->Name("LargestList/ShareOfStart")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

} // namespace

} // namespace orbiculon::bench
