#pragma once

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "fuzz/FuzzSupport.h"

namespace orbiculon::fuzz {

// A private folder for the files one fuzz target writes (in memory where the system
// offers it, see memoryFolder), created once per process and removed when the
// process ends normally.
// Targets write only below it, and only small files.
class FuzzTempDir {
public:
  explicit FuzzTempDir(const std::string& name) {
#if defined(_WIN32)
    // No mkdtemp: a random name, taken only when create_directory made it anew.
    std::random_device random;
    bool created = false;
    for (int attempt = 0; attempt < kNameAttempts && !created; ++attempt) {
      path_ = std::filesystem::temp_directory_path() /
              ("orbiculon-fuzz-" + name + "-" + std::to_string(random()) + std::to_string(random()));
      std::error_code error;
      created = std::filesystem::create_directory(path_, error);
    }
    FUZZ_CHECK(created, "cannot create the temporary folder");
#else
    std::string pattern = (memoryFolder() / ("orbiculon-fuzz-" + name + "-XXXXXX")).string();
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr, "cannot create the temporary folder");
    path_ = pattern;
#endif
  }
  ~FuzzTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  FuzzTempDir(const FuzzTempDir&) = delete;
  FuzzTempDir& operator=(const FuzzTempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Removes everything in the folder but the names in `keep`.
  template <typename Keep> void clear(const Keep& keep) const {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(path_, error)) {
      if (keep(entry.path().filename().string())) continue;
      std::error_code ignored;
      std::filesystem::remove_all(entry.path(), ignored);
    }
  }

private:
#if defined(_WIN32)
  static constexpr int kNameAttempts = 100;
#else
  // /dev/shm where the system has one (a memory file system on Linux): a fuzz target
  // writes, renames and removes files for every input, and on a disk those steps
  // wait for the journal. The system temp folder elsewhere.
  static std::filesystem::path memoryFolder() {
    std::error_code error;
    const std::filesystem::path shm("/dev/shm");
    if (std::filesystem::is_directory(shm, error) && ::access(shm.c_str(), W_OK | X_OK) == 0) return shm;
    return std::filesystem::temp_directory_path();
  }
#endif
  std::filesystem::path path_;
};

} // namespace orbiculon::fuzz
