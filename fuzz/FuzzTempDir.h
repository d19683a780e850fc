#pragma once

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "fuzz/FuzzSupport.h"

namespace orbiculon::fuzz {

// A private folder under the system temp folder for the files one fuzz target
// writes, created once per process and removed when the process ends normally.
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
    std::string pattern =
        (std::filesystem::temp_directory_path() / ("orbiculon-fuzz-" + name + "-XXXXXX")).string();
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
#endif
  std::filesystem::path path_;
};

} // namespace orbiculon::fuzz
