// Reading a coordinate list from a text file of arbitrary bytes into list buffers of
// any capacity, and writing a list back.
//
// Input: one flag byte, then the file's bytes.
//   bits 0-1   buffer capacity: 0/1 the list capacity, 2 up to 4096 bytes (next two
//              bytes), 3 from 0 to 80 bytes (next byte)
//   bit 2      also write the text (up to its first NUL) with the writer and read it
//              back
//   bit 3      the buffer holds an earlier text when reading starts
//
// The file is written into a private temporary folder and read back with
// readCoordinateTextFile. Its result is held against a plain model: lines end at LF,
// a CR before an LF belongs to the line end, a final LF adds no line, each line is
// cut at its first NUL, a UTF-8 byte-order mark at the start is no text, and lines
// are taken while the joined text and its NUL fit
// the buffer and each whole line (bytes after a NUL included) would fit it by itself.
// The buffer is an exact heap block (the address sanitizer sees any overrun) and
// stays untouched when no line is taken; the reading reports a failure exactly when
// a line had to be left out, and logs nothing.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "coords/CoordinateEntry.h"
#include "coords/CoordinateTextFile.h"
#include "fuzz/FuzzSupport.h"
#include "tests/support/FakeHost.h"

namespace {

using orbiculon::fuzz::FuzzInput;
using orbiculon::fuzz::printable;

constexpr std::size_t kSmallCapacityLimit = 4096;
constexpr std::size_t kTinyCapacityLimit = 81;
constexpr char kPrevious[] = "previous text";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

struct Model {
  std::vector<std::string> lines; // every line of the file
  std::size_t taken = 0;          // how many fit the buffer
  std::string joined;             // the taken lines joined by LF
};

Model model(std::string_view file, std::size_t capacity) {
  Model m;
  if (file.substr(0, kByteOrderMark.size()) == kByteOrderMark) file.remove_prefix(kByteOrderMark.size());
  std::size_t start = 0;
  while (start < file.size()) {
    const std::size_t lineFeed = file.find('\n', start);
    const std::size_t end = lineFeed == std::string_view::npos ? file.size() : lineFeed;
    std::string_view line = file.substr(start, end - start);
    if (lineFeed != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    m.lines.emplace_back(line);
    start = end + 1;
  }
  for (const auto& raw : m.lines) {
    // The whole line, bytes after a NUL included, must fit by itself.
    if (raw.size() + 1 > capacity) break;
    const std::string_view line = std::string_view(raw).substr(0, std::min(raw.find('\0'), raw.size()));
    const std::size_t length = m.joined.size() + (m.taken > 0 ? 1 : 0) + line.size();
    if (length + 1 > capacity) break;
    if (m.taken > 0) m.joined += '\n';
    m.joined += line;
    ++m.taken;
  }
  return m;
}

void writeBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::FILE* file = std::fopen(path.string().c_str(), "wb");
  FUZZ_CHECK(file != nullptr, "cannot create the input file");
  FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size(), "cannot write the input file");
  FUZZ_CHECK(std::fclose(file) == 0, "cannot close the input file");
}

// Reads `path` into a fresh buffer of `capacity` and checks it against the model of
// `bytes`, the file's content.
void readAndCheck(const std::filesystem::path& path, std::string_view bytes, std::size_t capacity,
                  bool previousText) {
  orbiculon::testing::FakeHost host;
  std::vector<char> buffer(capacity, 'x');
  if (previousText && capacity >= sizeof kPrevious) std::copy_n(kPrevious, sizeof kPrevious, buffer.begin());
  const std::vector<char> before = buffer;

  const orbiculon::TextFileReading reading = orbiculon::readCoordinateTextFile(path.string().c_str(), buffer);
  const int lines = reading.lines;
  FUZZ_CHECK(reading.opened, "the file was not opened");
  const Model expected = model(bytes, capacity);
  FUZZ_CHECK(lines >= 0 && static_cast<std::size_t>(lines) == expected.taken,
             "line count " + std::to_string(lines) + ", expected " + std::to_string(expected.taken) + " of " +
                 printable(bytes));
  if (lines == 0) {
    FUZZ_CHECK(buffer == before, "the buffer changed although no line was taken");
  } else {
    const auto nul = std::find(buffer.begin(), buffer.end(), '\0');
    FUZZ_CHECK(nul != buffer.end(), "the text read has no NUL within the buffer");
    FUZZ_CHECK(std::string(buffer.begin(), nul) == expected.joined,
               "text read differs from the model for " + printable(bytes));
  }
  FUZZ_CHECK(reading.result.ok() == (expected.taken == expected.lines.size()),
             "reading reports a failure when it should not, or misses one");
  FUZZ_CHECK(host.logLines().empty(), "reading logged a line");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const orbiculon::testing::TempDir folder("fuzz-textfile", orbiculon::testing::memoryFolder());
  FuzzInput input(data, size);
  const std::uint8_t flags = input.byte();
  std::size_t capacity = orbiculon::kCoordinateListCapacity;
  if ((flags & 3) == 2) capacity = 1 + input.u16() % kSmallCapacityLimit;
  if ((flags & 3) == 3) capacity = input.byte() % kTinyCapacityLimit;
  const bool roundTrip = (flags & 4) != 0;
  const bool previousText = (flags & 8) != 0;
  const std::string_view bytes = input.rest();

  const std::filesystem::path path = folder.path() / "list.txt";
  writeBytes(path, bytes);
  readAndCheck(path, bytes, capacity, previousText);

  if (roundTrip) {
    // What the dialog can hold: the text up to its first NUL, within the list capacity.
    const std::string text(
        bytes.substr(0, std::min({bytes.find('\0'), bytes.size(), orbiculon::kCoordinateListCapacity - 1})));
    const std::filesystem::path saved = folder.path() / "saved.txt";
    {
      orbiculon::testing::FakeHost host;
      FUZZ_CHECK(orbiculon::writeCoordinateTextFile(saved.string().c_str(), text.c_str()).ok(),
                 "writing the list failed");
      FUZZ_CHECK(host.logLines().empty(), "a successful write logged a line");
    }
    std::FILE* file = std::fopen(saved.string().c_str(), "rb");
    FUZZ_CHECK(file != nullptr, "the saved file is missing");
    std::string written;
    char chunk[4096];
    std::size_t count = 0;
    while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0)
      written.append(chunk, count);
    std::fclose(file);
    FUZZ_CHECK(orbiculon::fuzz::savedText(written) == text, "the saved file differs from the list text");
    readAndCheck(saved, written, orbiculon::kCoordinateListCapacity, false);
  }
  return 0;
}
