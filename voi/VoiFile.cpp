#include "voi/VoiFile.h"

#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

#include "host/HostEntryTable.h"
#include "voi/VoiFormat.h"

namespace orbiculon {

namespace {

// What stood at the path before the writer opened it. Only a path that was free or
// held a regular file may be removed after a failure: never a device (such as
// /dev/full), a symbolic link or anything else.
enum class PathBefore { Missing, RegularFile, Other };

PathBefore inspectPath(const std::filesystem::path& path) noexcept {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::symlink_status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) return PathBefore::Missing;
  if (error) return PathBefore::Other;
  return status.type() == std::filesystem::file_type::regular ? PathBefore::RegularFile : PathBefore::Other;
}

void removeIncompleteFile(const std::filesystem::path& path, PathBefore before) noexcept {
  if (before == PathBefore::Other) return;
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::symlink_status(path, error);
  if (!error && status.type() == std::filesystem::file_type::regular) std::filesystem::remove(path, error);
}

// Unbuffered file output: the formatter's buffer is the only buffer, and every write
// is checked.
class FileSink final : public VoiTextSink {
public:
  explicit FileSink(std::FILE* file) noexcept : file_(file) {}
  bool write(const char* data, std::size_t size) noexcept override {
    return std::fwrite(data, 1, size, file_) == size;
  }

private:
  std::FILE* file_;
};

bool writeWholeFile(const VoiFileDescription& description) {
  if (description.FilePath == nullptr || !isWritableDescription(description)) return false;
  const std::filesystem::path path(description.FilePath);
  const std::unique_ptr<char[]> buffer(new (std::nothrow) char[kVoiWriteBufferCapacity]);
  if (buffer == nullptr) return false;

  const PathBefore before = inspectPath(path);
  // Binary mode: the file carries CR LF line ends on every platform.
  std::FILE* file = std::fopen(description.FilePath, "wb");
  if (file == nullptr) return false;
  bool written = std::setvbuf(file, nullptr, _IONBF, 0) == 0;
  FileSink sink(file);
  written =
      written && formatVoiFile(description, std::span<char>(buffer.get(), kVoiWriteBufferCapacity), sink);
  written = std::fclose(file) == 0 && written;
  if (!written) removeIncompleteFile(path, before);
  return written;
}

} // namespace

bool writeVOIFile(const VoiFileDescription& description) {
  try {
    if (writeWholeFile(description)) return true;
  } catch (...) {
    // Only the path and status queries can throw (memory), all before the file opens.
  }
  hostTable().rzLogText(kVoiWriteErrorLine);
  return false;
}

} // namespace orbiculon
