#include <gmock/gmock.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "coords/CoordinateEntry.h"
#include "coords/CoordinateTextFile.h"
#include "files/FileFaults.h"
#include "tests/support/FakeHost.h"
#include "tests/support/Lines.h"

namespace {

using namespace orbiculon;
using orbiculon::testing::FakeHost;
using orbiculon::testing::readFile;
using orbiculon::testing::TempDir;
using orbiculon::testing::writeFile;
using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;

struct ReadResult {
  int lines;
  std::string text;
  int error;
  bool opened;
};

ReadResult readText(const fs::path& path, std::size_t capacity = kCoordinateListCapacity) {
  std::vector<char> buffer(capacity, '\0');
  if (capacity > 4) std::string("keep").copy(buffer.data(), 4);
  const TextFileReading reading = readCoordinateTextFile(path.string().c_str(), buffer);
  return {reading.lines, std::string(buffer.data()), reading.result.error, reading.opened};
}

int writeText(const fs::path& path, const std::string& text) {
  return writeCoordinateTextFile(path.string().c_str(), text.c_str()).error;
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
  EXPECT_EQ(0, result.error);
  EXPECT_TRUE(result.opened);
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
                      ReadCase{"ByteOrderMarkIsNoText", "\xEF\xBB\xBF-42 -58 22\n\xEF\xBB\xBF", 2,
                               "-42 -58 22\n\xEF\xBB\xBF"},
                      ReadCase{"PartOfAMarkIsText", "\xEF\xBBx", 1, "\xEF\xBBx"},
                      ReadCase{"OnlyAMark", "\xEF\xBB\xBF", 0, "keep"}, ReadCase{"EmptyFile", "", 0, "keep"}),
    [](const ::testing::TestParamInfo<ReadCase>& p) { return p.param.name; });

struct UnreadableCase {
  std::string name;
  std::string path; // "<dir>" stands for the test's folder
  int error;
};

class UnreadableTextFileTest : public ::testing::TestWithParam<UnreadableCase> {};

// Nothing but a regular file is read, and nothing that is not read touches the
// buffer; FIFOs and endless devices are refused at once instead of read.
TEST_P(UnreadableTextFileTest, OpensNothingAndKeepsTheBuffer) {
  FakeHost host;
  TempDir dir;
  std::string path = GetParam().path;
  if (path.rfind("<dir>", 0) == 0) path = dir.path().string() + path.substr(5);
#ifdef __linux__
  if (path.ends_with("fifo")) {
    ASSERT_EQ(0, mkfifo(path.c_str(), 0600));
  }
#endif
  const auto started = std::chrono::steady_clock::now();
  const ReadResult result = readText(path);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
  EXPECT_FALSE(result.opened);
  EXPECT_EQ(GetParam().error, result.error);
  EXPECT_EQ("keep", result.text);
  EXPECT_TRUE(host.logLines().empty());
}

const UnreadableCase kUnreadable[] = {{"Cancelled", "", ENOENT},
                                      {"Missing", "<dir>/missing.txt", ENOENT},
                                      {"Folder", "<dir>", EISDIR},
#ifdef __linux__
                                      {"FifoWithoutWriter", "<dir>/fifo", kNotARegularFile},
                                      {"EndlessDevice", "/dev/zero", kNotARegularFile},
                                      {"EmptyDevice", "/dev/null", kNotARegularFile}
#endif
};

INSTANTIATE_TEST_SUITE_P(Paths, UnreadableTextFileTest, ::testing::ValuesIn(kUnreadable),
                         [](const ::testing::TestParamInfo<UnreadableCase>& p) { return p.param.name; });

TEST(CoordinateTextFileTest, OverLongFileStopsBeforeTheLineThatDoesNotFit) {
  FakeHost host;
  TempDir dir;
  writeFile(dir / "list.txt", "abcd\r\nefgh\nij\n");
  // "abcd\nefgh" and its NUL fill 10 bytes exactly.
  const ReadResult cut = readText(dir / "list.txt", 10);
  EXPECT_EQ(2, cut.lines);
  EXPECT_EQ("abcd\nefgh", cut.text);
  EXPECT_EQ(EFBIG, cut.error);

  writeFile(dir / "exact.txt", "abcd\nefgh\n");
  EXPECT_EQ(2, readText(dir / "exact.txt", 10).lines);
  EXPECT_EQ(0, readText(dir / "exact.txt", 10).error);

  writeFile(dir / "first.txt", std::string(kCoordinateListCapacity, 'x'));
  const ReadResult none = readText(dir / "first.txt");
  EXPECT_EQ(0, none.lines);
  EXPECT_EQ("keep", none.text);
  EXPECT_EQ(EFBIG, none.error);
  EXPECT_TRUE(none.opened);

  // A 1 GiB sparse file (all NUL bytes) is refused after the list's capacity.
  writeFile(dir / "sparse.txt", "");
  fs::resize_file(dir / "sparse.txt", std::uintmax_t{1} << 30);
  EXPECT_EQ(EFBIG, readText(dir / "sparse.txt").error);

  // A read error is no end of file: reading stops, and the lines so far stay.
  failFileReadsAfter(7, EIO);
  const ReadResult broken = readText(dir / "list.txt");
  clearFileFaults();
  EXPECT_EQ(1, broken.lines);
  EXPECT_EQ("abcd", broken.text);
  EXPECT_EQ(EIO, broken.error);
  EXPECT_TRUE(host.logLines().empty());

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
  ASSERT_EQ(0, writeText(dir / "list.txt", text));
  EXPECT_EQ(orbiculon::testing::platformText(text), readFile(dir / "list.txt"));
  const ReadResult result = readText(dir / "list.txt");
  EXPECT_EQ(4, result.lines);
  EXPECT_EQ(text, result.text);

  ASSERT_EQ(0, writeText(dir / "list.txt", ""));
  EXPECT_EQ("", readFile(dir / "list.txt"));
  EXPECT_TRUE(host.logLines().empty());
}

TEST(CoordinateTextFileTest, FileThatCannotBeOpenedNamesTheReason) {
  FakeHost host;
  TempDir dir;
  EXPECT_EQ(ENOENT, writeText(dir / "no" / "list.txt", "a"));
  EXPECT_EQ(EISDIR, writeText(dir.path(), "a"));
  EXPECT_EQ(ENOENT, writeCoordinateTextFile(nullptr, "a").error);
  EXPECT_TRUE(host.logLines().empty());
  EXPECT_TRUE(fs::is_directory(dir.path()));
}

#ifdef __linux__
struct TargetCase {
  std::string name;
  int error;
  // Prepares the target "<dir>/list.txt" (its old content "old") and checks it after
  // the save of "new".
  void (*prepare)(const fs::path& dir);
  void (*check)(const fs::path& dir);
  // The case gives files other owners, which only root can; with `asOtherUser` the
  // save runs with the effective user id kOtherUser.
  bool needsRoot = false;
  bool asOtherUser = false;
};

constexpr uid_t kOtherUser = 65534;

class SaveTargetTest : public ::testing::TestWithParam<TargetCase> {};

// What a save does to each kind of target, and that it never leaves a temporary
// file behind.
TEST_P(SaveTargetTest, ReplacesOnlyOnSuccess) {
  if (GetParam().needsRoot && ::geteuid() != 0) GTEST_SKIP() << "only root can give files other owners";
  FakeHost host;
  TempDir dir;
  GetParam().prepare(dir.path());
  const auto started = std::chrono::steady_clock::now();
  // Root keeps its saved user id, so it can take its own back afterwards.
  if (GetParam().asOtherUser) {
    ASSERT_EQ(0, ::seteuid(kOtherUser));
  }
  const int error = writeText(dir / "list.txt", "new");
  if (GetParam().asOtherUser) {
    ASSERT_EQ(0, ::seteuid(0));
  }
  EXPECT_EQ(GetParam().error, error);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
  clearFileFaults();
  GetParam().check(dir.path());
  for (const auto& entry : fs::directory_iterator(dir.path()))
    EXPECT_THAT(entry.path().filename().string(), Not(HasSubstr(".tmp")));
}

void oldFile(const fs::path& dir) { writeFile(dir / "list.txt", "old"); }
void oldKept(const fs::path& dir) { EXPECT_EQ("old", readFile(dir / "list.txt")); }

// "<dir>/list.txt" as a link to "real.txt" (holding "old") in a folder that is
// sticky and world-writable, like /tmp; the link and the folder get the owners given.
void linkInStickyFolder(const fs::path& dir, uid_t linkOwner, uid_t folderOwner) {
  writeFile(dir / "real.txt", "old");
  fs::create_symlink("real.txt", dir / "list.txt");
  ASSERT_EQ(0, ::lchown((dir / "list.txt").c_str(), linkOwner, linkOwner));
  ASSERT_EQ(0, ::chown(dir.c_str(), folderOwner, folderOwner));
  fs::permissions(dir, fs::perms(01777));
}

// Temporary files of the save's naming: of a process that is gone, of one that
// runs (process 1), and of another target.
const char* const kDeadSaversFile = ".list.txt.999999999-0.tmp";
const char* const kLiveSaversFile = ".list.txt.1-0.tmp";
const char* const kOtherTargetsFile = ".other.txt.999999999-0.tmp";

INSTANTIATE_TEST_SUITE_P(
    Targets, SaveTargetTest,
    ::testing::Values(
        TargetCase{"WriteFault", ENOSPC,
                   [](const fs::path& dir) {
                     oldFile(dir);
                     failFileWritesAfter(1, ENOSPC);
                   },
                   oldKept},
        TargetCase{"KeepsPermissions", 0,
                   [](const fs::path& dir) {
                     oldFile(dir);
                     fs::permissions(dir / "list.txt", fs::perms(0640));
                   },
                   [](const fs::path& dir) {
                     EXPECT_EQ("new", readFile(dir / "list.txt"));
                     EXPECT_EQ(fs::perms(0640), fs::status(dir / "list.txt").permissions());
                   }},
        TargetCase{"LinkStaysALink", 0,
                   [](const fs::path& dir) {
                     writeFile(dir / "real.txt", "old");
                     fs::create_symlink("real.txt", dir / "list.txt");
                   },
                   [](const fs::path& dir) {
                     EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "list.txt")));
                     EXPECT_EQ("new", readFile(dir / "real.txt"));
                   }},
        TargetCase{"DanglingLinkCreatesItsTarget", 0,
                   [](const fs::path& dir) { fs::create_symlink("real.txt", dir / "list.txt"); },
                   [](const fs::path& dir) {
                     EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "list.txt")));
                     EXPECT_EQ("new", readFile(dir / "real.txt"));
                   }},
        // Replacing splits a hard link: the other name keeps the old content.
        TargetCase{"HardLinkIsSplit", 0,
                   [](const fs::path& dir) {
                     oldFile(dir);
                     fs::create_hard_link(dir / "list.txt", dir / "other.txt");
                   },
                   [](const fs::path& dir) {
                     EXPECT_EQ("new", readFile(dir / "list.txt"));
                     EXPECT_EQ("old", readFile(dir / "other.txt"));
                   }},
        TargetCase{"FifoWithoutReader", ENXIO,
                   [](const fs::path& dir) { ASSERT_EQ(0, mkfifo((dir / "list.txt").c_str(), 0600)); },
                   [](const fs::path& dir) { EXPECT_TRUE(fs::is_fifo(dir / "list.txt")); }},
        TargetCase{"LinkToNullDevice", 0,
                   [](const fs::path& dir) { fs::create_symlink("/dev/null", dir / "list.txt"); },
                   [](const fs::path&) { EXPECT_TRUE(fs::is_character_file("/dev/null")); }},
        TargetCase{"LinkToFullDevice", ENOSPC,
                   [](const fs::path& dir) { fs::create_symlink("/dev/full", dir / "list.txt"); },
                   [](const fs::path& dir) {
                     EXPECT_TRUE(fs::is_character_file("/dev/full"));
                     EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "list.txt")));
                   }},
        // In a sticky, world-writable folder only links of the saver or of the
        // folder's owner are followed: anyone could have planted another.
        TargetCase{"ForeignLinkInStickyFolder", kForeignLink,
                   [](const fs::path& dir) { linkInStickyFolder(dir, kOtherUser, 0); },
                   [](const fs::path& dir) {
                     EXPECT_EQ("old", readFile(dir / "real.txt"));
                     EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "list.txt")));
                   },
                   true},
        TargetCase{"FolderOwnersLinkInStickyFolder", 0,
                   [](const fs::path& dir) { linkInStickyFolder(dir, kOtherUser, kOtherUser); },
                   [](const fs::path& dir) { EXPECT_EQ("new", readFile(dir / "real.txt")); }, true},
        TargetCase{"ReadOnlyFile", EACCES,
                   [](const fs::path& dir) {
                     oldFile(dir);
                     ASSERT_EQ(0, ::chown((dir / "list.txt").c_str(), kOtherUser, kOtherUser));
                     fs::permissions(dir / "list.txt", fs::perms(0444));
                     fs::permissions(dir, fs::perms(0777));
                   },
                   oldKept, true, true},
        // A save clears away what dead saves of the same file left, and nothing else.
        TargetCase{"TemporaryFilesOfDeadSavesAreRemoved", 0,
                   [](const fs::path& dir) {
                     for (const char* name : {kDeadSaversFile, kLiveSaversFile, kOtherTargetsFile})
                       writeFile(dir / name, "left");
                   },
                   [](const fs::path& dir) {
                     EXPECT_FALSE(fs::exists(dir / kDeadSaversFile));
                     EXPECT_TRUE(fs::remove(dir / kLiveSaversFile));
                     EXPECT_TRUE(fs::remove(dir / kOtherTargetsFile));
                   }}),
    [](const ::testing::TestParamInfo<TargetCase>& p) { return p.param.name; });

// A write that fails half-way (the file size limit) leaves the old file as it was.
TEST(CoordinateTextFileTest, FileSizeLimitKeepsTheOldFile) {
  FakeHost host;
  TempDir dir;
  writeFile(dir / "list.txt", "old");
  rlimit previous{};
  ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &previous));
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = previous;
  limited.rlim_cur = 1000;
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limited));
  const int error = writeText(dir / "list.txt", std::string(5000, 'x'));
  setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_EQ(EFBIG, error);
  EXPECT_EQ("old", readFile(dir / "list.txt"));
  EXPECT_EQ(1, std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()));
}
#endif

} // namespace
