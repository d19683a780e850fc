// The file layer on Windows. Paths arrive in the process's ANSI code page, as the
// C library's fopen would take them, and are widened for the wide API.
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <new>
#include <string>

#include "files/FileFaults.h"
#include "files/InputFile.h"
#include "files/ReplacingFile.h"
#include "files/TemporaryName.h"

namespace orbiculon {

namespace {

constexpr std::size_t kTemporaryBaseLength = 200;
constexpr int kMaxTemporaryAttempts = 100;
// The largest piece one WriteFile or ReadFile call is given.
constexpr std::size_t kMaxTransfer = 1u << 30;

std::atomic<unsigned long> temporaryCounter{0};

// Removes the temporary files of earlier saves of `base` in `folder` (empty, or
// ending with a separator) whose process is gone: a host that was ended in the
// middle of a save leaves its temporary file, and nothing else would remove it.
void removeOrphanedTemporaryFiles(const std::wstring& folder, const std::wstring& base) {
  WIN32_FIND_DATAW found{};
  const std::wstring pattern = folder + L"." + base + L".*.tmp";
  const HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    long pid = 0;
    std::size_t baseLength = 0;
    if (!detail::parseTemporaryName(name.c_str(), name.size(), pid, baseLength) ||
        baseLength != base.size() || name.compare(1, baseLength, base) != 0 ||
        static_cast<DWORD>(pid) == ::GetCurrentProcessId())
      continue;
    // A process that runs, or that this user may not look at, keeps its file.
    if (const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid))) {
      ::CloseHandle(process);
      continue;
    }
    if (::GetLastError() == ERROR_INVALID_PARAMETER) ::DeleteFileW((folder + name).c_str());
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
}

// The errno value that says the same as a Windows error code.
int errnoOf(DWORD code) noexcept {
  switch (code) {
  case ERROR_FILE_NOT_FOUND:
  case ERROR_PATH_NOT_FOUND:
  case ERROR_INVALID_DRIVE:
  case ERROR_BAD_NETPATH:
    return ENOENT;
  case ERROR_ACCESS_DENIED:
  case ERROR_SHARING_VIOLATION:
  case ERROR_LOCK_VIOLATION:
    return EACCES;
  case ERROR_DISK_FULL:
  case ERROR_HANDLE_DISK_FULL:
    return ENOSPC;
  case ERROR_WRITE_PROTECT:
    return EROFS;
  case ERROR_FILE_EXISTS:
  case ERROR_ALREADY_EXISTS:
    return EEXIST;
  case ERROR_NOT_ENOUGH_MEMORY:
  case ERROR_OUTOFMEMORY:
    return ENOMEM;
  case ERROR_FILENAME_EXCED_RANGE:
    return ENAMETOOLONG;
  case ERROR_INVALID_NAME:
  case ERROR_BAD_PATHNAME:
  case ERROR_INVALID_PARAMETER:
    return EINVAL;
  case ERROR_NOT_SAME_DEVICE:
    return EXDEV;
  case ERROR_DIRECTORY:
    return ENOTDIR;
  case ERROR_TOO_MANY_OPEN_FILES:
    return EMFILE;
  case ERROR_BROKEN_PIPE:
  case ERROR_NO_DATA:
    return EPIPE;
  default:
    return EIO;
  }
}

int lastError() noexcept { return errnoOf(::GetLastError()); }

// The path widened from the ANSI code page; empty when it cannot be.
std::wstring widen(const char* path) {
  const int length = ::MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
  if (length <= 1) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

std::size_t lastSeparator(const std::wstring& path) noexcept { return path.find_last_of(L"\\/"); }

int writeAll(HANDLE handle, const char* data, std::size_t size) noexcept {
  while (size > 0) {
    const DWORD piece = static_cast<DWORD>(size < kMaxTransfer ? size : kMaxTransfer);
    DWORD written = 0;
    if (!::WriteFile(handle, data, piece, &written, nullptr)) return lastError();
    if (written == 0) return EIO;
    data += written;
    size -= written;
  }
  return 0;
}

// The final path of a reparse point (a symbolic link), so that the link stays and
// what it names is replaced; the path itself for anything else.
std::wstring finalPathOf(HANDLE opened, const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return path;
  const DWORD length = ::GetFinalPathNameByHandleW(opened, nullptr, 0, FILE_NAME_NORMALIZED);
  if (length == 0) return path;
  std::wstring final(length, L'\0');
  const DWORD written = ::GetFinalPathNameByHandleW(opened, final.data(), length, FILE_NAME_NORMALIZED);
  if (written == 0 || written >= length) return path;
  final.resize(written);
  return final;
}

} // namespace

void ReplacingFile::discard() noexcept {
  if (handle_ != nullptr) ::CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
  if (!temporary_.empty()) ::DeleteFileW(temporary_.c_str());
  temporary_.clear();
  open_ = false;
}

FileResult ReplacingFile::open(const char* path) noexcept {
  if (const FileResult refused = refuseOpen(path); !refused.ok()) return refused;
  try {
    target_ = widen(path);
    if (target_.empty()) return {error_ = EINVAL};

    // What stands at the path: nothing, a folder, a file, or a device or pipe.
    const HANDLE probe =
        ::CreateFileW(target_.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
      const DWORD code = ::GetLastError();
      if (code != ERROR_FILE_NOT_FOUND) return {error_ = errnoOf(code)};
    } else {
      const DWORD type = ::GetFileType(probe);
      BY_HANDLE_FILE_INFORMATION information{};
      const bool isFolder = type == FILE_TYPE_DISK && ::GetFileInformationByHandle(probe, &information) &&
                            (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      if (type == FILE_TYPE_DISK && !isFolder) target_ = finalPathOf(probe, target_);
      ::CloseHandle(probe);
      if (isFolder) return {error_ = EISDIR};
      if (type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) {
        // A device (NUL, CON) or a pipe: written in place, never replaced.
        const HANDLE device =
            ::CreateFileW(target_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
        if (device == INVALID_HANDLE_VALUE) return {error_ = lastError()};
        handle_ = device;
        open_ = true;
        return {};
      }
      if (type != FILE_TYPE_DISK) return {error_ = kNotARegularFile};
    }

    const std::size_t separator = lastSeparator(target_);
    const std::wstring folder = separator == std::wstring::npos ? L"" : target_.substr(0, separator + 1);
    const std::wstring base = (separator == std::wstring::npos ? target_ : target_.substr(separator + 1))
                                  .substr(0, kTemporaryBaseLength);
    removeOrphanedTemporaryFiles(folder, base);
    const std::wstring prefix = folder + L"." + base + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-";
    for (int attempt = 0; handle_ == nullptr; ++attempt) {
      std::wstring name = prefix + std::to_wstring(temporaryCounter.fetch_add(1)) + L".tmp";
      // CREATE_NEW: never through an existing name or link.
      const HANDLE file =
          ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        handle_ = file;
        temporary_ = std::move(name);
      } else {
        const DWORD code = ::GetLastError();
        if ((code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) ||
            attempt + 1 == kMaxTemporaryAttempts)
          return {error_ = errnoOf(code)};
      }
    }
    open_ = true;
    return {};
  } catch (const std::bad_alloc&) {
    return {error_ = ENOMEM};
  }
}

int ReplacingFile::writeNative(const char* data, std::size_t size) noexcept {
  return writeAll(static_cast<HANDLE>(handle_), data, size);
}

int ReplacingFile::closeAndReplace() noexcept {
  const BOOL closed = ::CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
  if (!closed) return lastError();
  if (!temporary_.empty() &&
      !::MoveFileExW(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return lastError();
  temporary_.clear(); // now the target: nothing to remove
  return 0;
}

InputFile::~InputFile() {
  if (handle_ != nullptr) ::CloseHandle(static_cast<HANDLE>(handle_));
}

FileResult InputFile::open(const char* path) noexcept {
  if (handle_ != nullptr) return {EBUSY};
  if (path == nullptr || *path == '\0') return {ENOENT};
  try {
    const std::wstring wide = widen(path);
    if (wide.empty()) return {EINVAL};
    const HANDLE file =
        ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD code = ::GetLastError();
      // A folder cannot be opened this way at all.
      const DWORD attributes = ::GetFileAttributesW(wide.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return {EISDIR};
      return {errnoOf(code)};
    }
    if (::GetFileType(file) != FILE_TYPE_DISK) {
      ::CloseHandle(file);
      return {kNotARegularFile};
    }
    handle_ = file;
    return {};
  } catch (const std::bad_alloc&) {
    return {ENOMEM};
  }
}

int InputFile::readNative(char* data, std::size_t size, std::size_t& count) noexcept {
  DWORD got = 0;
  const DWORD piece = static_cast<DWORD>(size < kMaxTransfer ? size : kMaxTransfer);
  if (!::ReadFile(static_cast<HANDLE>(handle_), data, piece, &got, nullptr)) return lastError();
  count = got;
  return 0;
}

} // namespace orbiculon
