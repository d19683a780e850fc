// Runs a fuzz target's entry point on saved inputs, without libFuzzer: every file
// named on the command line, and every file in every folder named there (folders
// that do not exist are skipped). The test suite uses it to replay the seed corpus
// and every input that once found a fault. A broken invariant aborts, naming the
// file that was being replayed.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputsOf(const fs::path& argument) {
  std::vector<fs::path> files;
  std::error_code error;
  if (fs::is_directory(argument, error)) {
    for (const auto& entry : fs::recursive_directory_iterator(argument, error))
      if (entry.is_regular_file() && entry.path().filename().string().front() != '.')
        files.push_back(entry.path());
  } else if (fs::is_regular_file(argument, error)) {
    files.push_back(argument);
  }
  std::sort(files.begin(), files.end());
  return files;
}

} // namespace

int main(int argc, char** argv) {
  std::size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    for (const auto& file : inputsOf(argv[i])) {
      std::ifstream in(file, std::ios::binary);
      const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      std::fprintf(stderr, "replaying %s (%zu bytes)\n", file.string().c_str(), bytes.size());
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++replayed;
    }
  }
  std::printf("%zu inputs replayed without a finding\n", replayed);
  return 0;
}
