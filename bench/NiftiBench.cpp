// The largest job through the batch tool, run as a user runs it: `spheres` with
// neither read-back nor image, with the host's read-back (--load), and with the
// NIfTI image (--nifti x.nii.gz, no read-back), in turns. The image reads the VOI
// file once, as the read-back does, so what it adds is compared with what the
// read-back adds: `ratio` = (nifti - neither) / (load - neither), of the medians,
// and of the best times, and of the processor time the runs took. Each run's peak
// resident set comes from the system.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"

extern char** environ;

namespace orbiculon::bench {
namespace {

constexpr int kRounds = 5;
constexpr double kKilobytesPerMegabyte = 1024.0;

struct ChildRun {
  double seconds = -1.0;
  double peakMegabytes = 0.0;
  double cpuSeconds = 0.0; // user and system time: less swayed by other load on the machine
};

// Runs the stand-in host with `arguments`, its output discarded.
ChildRun runHost(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), ORBICULON_BENCH_HOST);
  std::vector<char*> argv;
  for (std::string& argument : arguments)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t child = 0;
  ChildRun run;
  if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      run.peakMegabytes = static_cast<double>(usage.ru_maxrss) / kKilobytesPerMegabyte;
      const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
      };
      run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  return run;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0.0 : values[values.size() / 2];
}
double best(const std::vector<double>& values) {
  return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

void LargestJob_NiftiVersusReadBack(benchmark::State& state) {
  BenchFolder folder;
  const std::string list = (folder / "job.txt").string();
  {
    std::ofstream out(list);
    int index = 0;
    for (const SphereCentre& centre : randomTalCentres(kLargestJobVoiCount)) {
      char line[96];
      std::snprintf(line, sizeof line, "%.1f %.1f %.1f %g v%d 255 0 0\n", static_cast<double>(centre.x),
                    static_cast<double>(centre.y), static_cast<double>(centre.z),
                    static_cast<double>(kLargestJobRadius), ++index);
      out << line;
    }
  }
  const std::string output = (folder / "job").string();
  const std::vector<std::vector<std::string>> ways = {
      {"spheres", list, "-o", output, "--no-load"},
      {"spheres", list, "-o", output, "--load"},
      {"spheres", list, "-o", output, "--no-load", "--nifti", (folder / "job.nii.gz").string()}};
  std::vector<std::vector<double>> seconds(ways.size());
  std::vector<std::vector<double>> cpuSeconds(ways.size());
  std::vector<double> peak(ways.size(), 0.0);
  static_cast<void>(runHost(ways[0])); // warms the page cache
  for (auto _ : state) {
    for (std::size_t way = 0; way < ways.size(); ++way) {
      const ChildRun run = runHost(ways[way]);
      if (run.seconds < 0.0) {
        state.SkipWithError("the stand-in host failed");
        return;
      }
      seconds[way].push_back(run.seconds);
      cpuSeconds[way].push_back(run.cpuSeconds);
      peak[way] = std::max(peak[way], run.peakMegabytes);
    }
  }
  const char* names[] = {"neither", "load", "nifti"};
  for (std::size_t way = 0; way < ways.size(); ++way) {
    state.counters[std::string(names[way]) + "_ms"] = 1000.0 * median(seconds[way]);
    state.counters[std::string("best_") + names[way] + "_ms"] = 1000.0 * best(seconds[way]);
    state.counters[std::string(names[way]) + "_peak_MB"] = peak[way];
    state.counters[std::string(names[way]) + "_cpu_ms"] = 1000.0 * median(cpuSeconds[way]);
  }
  const auto ratio = [](const std::vector<std::vector<double>>& times, double (*of)(std::vector<double>)) {
    const double load = of(times[1]) - of(times[0]);
    return load > 0.0 ? (of(times[2]) - of(times[0])) / load : 0.0;
  };
  const auto medianOf = [](std::vector<double> v) { return median(std::move(v)); };
  state.counters["ratio"] = ratio(seconds, medianOf);
  state.counters["best_ratio"] = ratio(seconds, [](std::vector<double> v) { return best(v); });
  state.counters["cpu_ratio"] = ratio(cpuSeconds, medianOf);
}
BENCHMARK(LargestJob_NiftiVersusReadBack)->Unit(benchmark::kMillisecond)->Iterations(kRounds);

} // namespace
} // namespace orbiculon::bench
