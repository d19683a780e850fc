#include "voi/VoiFile.h"

#include <cerrno>
#include <memory>
#include <new>

#include "files/ReplacingFile.h"
#include "voi/VoiFormat.h"

namespace orbiculon {

namespace {

// The formatter's buffer is the only buffer; every write is checked and the first
// failure kept, since the formatter only learns that one failed.
class FileSink final : public VoiTextSink {
public:
  explicit FileSink(ReplacingFile& file) noexcept : file_(file) {}
  bool write(const char* data, std::size_t size) noexcept override { return file_.write(data, size).ok(); }

private:
  ReplacingFile& file_;
};

} // namespace

FileResult writeVOIFile(const VoiFileDescription& description) noexcept {
  if (description.FilePath == nullptr || !isWritableDescription(description)) return {EINVAL};
  const std::unique_ptr<char[]> buffer(new (std::nothrow) char[kVoiWriteBufferCapacity]);
  if (buffer == nullptr) return {ENOMEM};

  // Binary: the file carries CR LF line ends on every platform.
  ReplacingFile file;
  if (const FileResult opened = file.open(description.FilePath); !opened.ok()) return opened;
  FileSink sink(file);
  if (!formatVoiFile(description, std::span<char>(buffer.get(), kVoiWriteBufferCapacity), sink)) {
    // A failed write left its reason in the file; anything else is a formatting
    // failure of the description itself.
    return file.status().ok() ? FileResult{EINVAL} : file.status();
  }
  return file.commit();
}

} // namespace orbiculon
