#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#ifdef __linux__
#include <sys/resource.h>
#endif

#include "coords/CoordinateEntry.h"
#include "coords/CoordinateTextFile.h"
#include "tests/support/FakeHost.h"

namespace {

using namespace orbiculon;
using orbiculon::testing::FakeHost;
using orbiculon::testing::readFile;
using orbiculon::testing::TempDir;
using orbiculon::testing::writeFile;

namespace fs = std::filesystem;

const std::string kReadError = "Plugin>  Error while reading *.txt file.";
const std::string kWriteError = "Plugin>  Error while writing *.txt file.";

struct ReadResult {
  int lines;
  std::string text;
};

ReadResult readText(const fs::path& path, std::size_t capacity = kCoordinateListCapacity) {
  std::vector<char> buffer(capacity, '\0');
  if (capacity > 4) std::string("keep").copy(buffer.data(), 4);
  const int lines = readCoordinateTextFile(path.string().c_str(), buffer);
  return {lines, std::string(buffer.data())};
}

struct ReadCase {
  std::string name;
  std::string content;
  int lines;
  std::string text;
};

class ReadTextFileTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadTextFileTest, JoinsLinesWithLineFeeds) {
  FakeHost host;
  TempDir dir;
  writeFile(dir / "list.txt", GetParam().content);
  const ReadResult result = readText(dir / "list.txt");
  EXPECT_EQ(GetParam().lines, result.lines);
  EXPECT_EQ(GetParam().text, result.text);
  EXPECT_TRUE(host.logLines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ReadTextFileTest,
    ::testing::Values(ReadCase{"LineFeeds", "a\nb", 2, "a\nb"}, ReadCase{"CrLf", "a\r\nb\r\n", 2, "a\nb"},
                      ReadCase{"EmptyMiddleLine", "a\n\nb", 3, "a\n\nb"},
                      ReadCase{"CrLfEmptyMiddleLine", "a\r\n\r\nb\r\n", 3, "a\n\nb"},
                      ReadCase{"SingleLineFeed", "\n", 1, ""}, ReadCase{"SingleCrLf", "\r\n", 1, ""},
                      ReadCase{"FinalLineFeed", "a\nb\n", 2, "a\nb"},
                      ReadCase{"LoneCrStays", "a\rb\r", 1, "a\rb\r"},
                      ReadCase{"OnlyTheLastCrBeforeLf", "a\r\r\nb", 2, "a\r\nb"},
                      ReadCase{"LineEndsAtNul", std::string("ab\0cd\r\n\0\nef", 12), 3, "ab\n\nef"},
                      ReadCase{"SeparatorsUntouched", "1,2;3:\"4\"'5'\n# heading", 2,
                               "1,2;3:\"4\"'5'\n# heading"},
                      ReadCase{"EmptyFile", "", 0, "keep"}),
    [](const ::testing::TestParamInfo<ReadCase>& p) { return p.param.name; });

TEST(CoordinateTextFileTest, MissingFileOrFolderReadsNothing) {
  FakeHost host;
  TempDir dir;
  EXPECT_EQ(0, readText(dir / "missing.txt").lines);
  EXPECT_EQ("keep", readText(dir / "missing.txt").text);
  EXPECT_EQ("keep", readText(dir.path()).text);
#if !defined(_WIN32)
  // A device that never ends is no list either (reading it would never return).
  EXPECT_EQ(0, readText("/dev/zero").lines);
  EXPECT_EQ(0, readText("/dev/null").lines);
#endif
  std::array<char, 8> buffer{'k', '\0'};
  EXPECT_EQ(0, readCoordinateTextFile(nullptr, buffer));
  EXPECT_EQ('k', buffer[0]);
  EXPECT_TRUE(host.logLines().empty());
}

TEST(CoordinateTextFileTest, OverLongFileStopsBeforeTheLineThatDoesNotFit) {
  FakeHost host;
  TempDir dir;
  writeFile(dir / "list.txt", "abcd\r\nefgh\nij\n");
  // "abcd\nefgh" and its NUL fill 10 bytes exactly.
  const ReadResult cut = readText(dir / "list.txt", 10);
  EXPECT_EQ(2, cut.lines);
  EXPECT_EQ("abcd\nefgh", cut.text);
  EXPECT_EQ(std::vector<std::string>{kReadError}, host.logLines());

  host.events.clear();
  writeFile(dir / "exact.txt", "abcd\nefgh\n");
  EXPECT_EQ(2, readText(dir / "exact.txt", 10).lines);
  EXPECT_TRUE(host.logLines().empty());

  writeFile(dir / "first.txt", std::string(kCoordinateListCapacity, 'x'));
  const ReadResult none = readText(dir / "first.txt");
  EXPECT_EQ(0, none.lines);
  EXPECT_EQ("keep", none.text);
  EXPECT_EQ(std::vector<std::string>{kReadError}, host.logLines());

  std::string big;
  for (int i = 0; i < 2000; ++i)
    big += std::string(59, static_cast<char>('a' + i % 26)) + "\r\n";
  writeFile(dir / "big.txt", big);
  const ReadResult bigResult = readText(dir / "big.txt");
  EXPECT_EQ(1666, bigResult.lines); // 60 bytes per line: 1666 * 60 - 1 + NUL <= 100000
  EXPECT_EQ(1666u * 60u - 1u, bigResult.text.size());
}

TEST(CoordinateTextFileTest, SavedTextReadsBackTheSame) {
  FakeHost host;
  TempDir dir;
  const std::string text = "10,20,30,5,a,255,0,0\n\n# heading\n  -1 -2 -3 4 b 1 2 3";
  ASSERT_TRUE(writeCoordinateTextFile((dir / "list.txt").string().c_str(), text.c_str()));
#ifdef _WIN32
  std::string expectedFile = "10,20,30,5,a,255,0,0\r\n\r\n# heading\r\n  -1 -2 -3 4 b 1 2 3";
#else
  std::string expectedFile = text;
#endif
  EXPECT_EQ(expectedFile, readFile(dir / "list.txt"));
  const ReadResult result = readText(dir / "list.txt");
  EXPECT_EQ(4, result.lines);
  EXPECT_EQ(text, result.text);

  ASSERT_TRUE(writeCoordinateTextFile((dir / "list.txt").string().c_str(), ""));
  EXPECT_EQ("", readFile(dir / "list.txt"));
  EXPECT_TRUE(host.logLines().empty());
}

TEST(CoordinateTextFileTest, FileThatCannotBeOpenedGivesFalse) {
  FakeHost host;
  TempDir dir;
  EXPECT_FALSE(writeCoordinateTextFile((dir / "no" / "list.txt").string().c_str(), "a"));
  EXPECT_FALSE(writeCoordinateTextFile(dir.path().string().c_str(), "a"));
  EXPECT_FALSE(writeCoordinateTextFile(nullptr, "a"));
  EXPECT_EQ(std::vector<std::string>(3, kWriteError), host.logLines());
  EXPECT_TRUE(fs::is_directory(dir.path()));
}

#ifdef __linux__
TEST(CoordinateTextFileTest, FullDeviceGivesFalseAndSurvives) {
  FakeHost host;
  TempDir dir;
  const fs::path full = "/dev/full";
  if (!fs::exists(full)) GTEST_SKIP() << "no /dev/full";
  fs::create_symlink(full, dir / "link.txt");

  EXPECT_FALSE(writeCoordinateTextFile(full.c_str(), "10 20 30 5 a 1 2 3"));
  EXPECT_FALSE(writeCoordinateTextFile((dir / "link.txt").c_str(), "10 20 30 5 a 1 2 3"));
  EXPECT_EQ(std::vector<std::string>(2, kWriteError), host.logLines());
  EXPECT_TRUE(fs::is_character_file(fs::symlink_status(full)));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "link.txt")));
}

// A write that fails half-way (the file size limit) leaves no incomplete file.
TEST(CoordinateTextFileTest, IncompleteRegularFileIsRemoved) {
  FakeHost host;
  TempDir dir;
  rlimit previous{};
  ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &previous));
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = previous;
  limited.rlim_cur = 1000;
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limited));
  const bool written = writeCoordinateTextFile((dir / "list.txt").c_str(), std::string(5000, 'x').c_str());
  setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(written);
  EXPECT_FALSE(fs::exists(dir / "list.txt"));
  EXPECT_EQ(std::vector<std::string>{kWriteError}, host.logLines());
}
#endif

} // namespace
