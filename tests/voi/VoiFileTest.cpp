#include "voi/VoiFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "files/FileFaults.h"
#include "tests/support/FakeHost.h"
#include "tests/support/PlainVoiText.h"
#include "voi/VoiFormat.h"

#ifdef __linux__
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

namespace fs = std::filesystem;
using orbiculon::SphereVoi;
using orbiculon::VoiFileDescription;
using orbiculon::VoxelTriple;
using orbiculon::testing::FakeHost;
using orbiculon::testing::plainVoiText;
using orbiculon::testing::readFile;
using orbiculon::testing::StringSink;
using orbiculon::testing::TempDir;
using orbiculon::testing::writeFile;
using orbiculon::testing::writerText;

SphereVoi makeVoi(const std::string& name, std::array<std::int32_t, 3> colour,
                  const std::vector<VoxelTriple>& voxels) {
  SphereVoi voi;
  std::copy_n(name.begin(), std::min(name.size(), voi.NameOfVOI.size()), voi.NameOfVOI.begin());
  voi.ColorOfVOI = colour;
  voi.NrOfVoxels = static_cast<std::int32_t>(voxels.size());
  voi.Voxels = std::make_unique<VoxelTriple[]>(voxels.size());
  std::copy(voxels.begin(), voxels.end(), voi.Voxels.get());
  return voi;
}

SphereVoi sphereVoi(const std::string& name, std::array<std::int32_t, 3> colour,
                    orbiculon::SphereCentre centre, float radius) {
  SphereVoi voi;
  std::copy(name.begin(), name.end(), voi.NameOfVOI.begin());
  voi.ColorOfVOI = colour;
  voi.Voxels = orbiculon::enumerateSphereVoxels(centre, radius, voi.NrOfVoxels);
  return voi;
}

// The header values of a TAL volume of resolution 1 in a 256 mm framing cube.
VoiFileDescription describe(const std::string& path, const std::vector<SphereVoi>& vois) {
  VoiFileDescription d;
  d.FilePath = path.c_str();
  d.FileVersion = 4;
  d.ReferenceSpace = "TAL";
  d.OriginalVMRResolutionX = 1;
  d.OriginalVMRResolutionY = 1;
  d.OriginalVMRResolutionZ = 1;
  d.OriginalVMRFramingCubeDim = 256;
  d.LeftRightConvention = 1;
  d.SubjectVOINamingConvention = "<SUBJ>_<VOI>";
  d.NrOfvois = static_cast<std::int32_t>(vois.size());
  d.NrOfVOIVTCs = 0;
  d.VOIs = vois;
  return d;
}

std::string expectedHeader(int nrOfvois) {
  return "\r\n"
         "FileVersion:                4\r\n"
         "\r\n"
         "ReferenceSpace:             TAL\r\n"
         "\r\n"
         "OriginalVMRResolutionX:     1\r\n"
         "OriginalVMRResolutionY:     1\r\n"
         "OriginalVMRResolutionZ:     1\r\n"
         "OriginalVMROffsetX:         0\r\n"
         "OriginalVMROffsetY:         0\r\n"
         "OriginalVMROffsetZ:         0\r\n"
         "OriginalVMRFramingCubeDim:  256\r\n"
         "\r\n"
         "LeftRightConvention:        1\r\n"
         "\r\n"
         "SubjectVOINamingConvention: <SUBJ>_<VOI>\r\n"
         "\r\n"
         "\r\n"
         "NrOfvois:                   " +
         std::to_string(nrOfvois) + "\r\n\r\n";
}

const std::string kClosing = "\r\nNrOfVOIVTCs: 0\r\n";

// Expected files live in the folder named by ORBICULON_TEST_DATA (set by CTest).
std::string dataFile(const std::string& name) {
  const char* folder = std::getenv("ORBICULON_TEST_DATA");
  EXPECT_NE(nullptr, folder) << "ORBICULON_TEST_DATA is not set; run through ctest";
  return folder == nullptr ? std::string() : readFile(fs::path(folder) / name);
}

class VoiFileTest : public ::testing::Test {
protected:
  FakeHost host;
  TempDir dir;
  std::string path = (dir / "out.voi").string();
};

TEST_F(VoiFileTest, WritesTheTwoVoiExampleByteForByte) {
  std::vector<SphereVoi> vois;
  vois.push_back(sphereVoi("Seed", {255, 0, 0}, {0, 0, 0}, 1.0f));
  vois.push_back(sphereVoi("Probe", {0, 128, 255}, {10.5f, -20, 30}, 0.5f));
  // A longer file already at the path leaves no trailing bytes behind.
  writeFile(path, std::string(100000, 'x'));

  EXPECT_TRUE(orbiculon::writeVOIFile(describe(path, vois)).ok());
  EXPECT_EQ(dataFile("two_vois.voi"), readFile(path));
  EXPECT_TRUE(host.logLines().empty());
}

struct BlockCase {
  std::string name;
  std::vector<std::pair<std::string, std::vector<VoxelTriple>>> vois; // name, voxels
  std::array<std::int32_t, 3> colour;
  std::string blocks;
};

class VoiBlockTest : public VoiFileTest, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(VoiBlockTest, WritesTheFileExactly) {
  const BlockCase& c = GetParam();
  std::vector<SphereVoi> vois;
  for (const auto& [name, voxels] : c.vois)
    vois.push_back(makeVoi(name, c.colour, voxels));
  const std::string expected = expectedHeader(static_cast<int>(vois.size())) + c.blocks + kClosing;

  EXPECT_TRUE(orbiculon::writeVOIFile(describe(path, vois)).ok());
  EXPECT_EQ(expected, readFile(path));
  EXPECT_TRUE(host.logLines().empty());

  // The smallest buffer the formatter accepts gives the same text in many chunks.
  EXPECT_EQ(expected, writerText(describe(path, vois), orbiculon::kVoiFormatBufferMinimum));
}

INSTANTIATE_TEST_SUITE_P(
    Writer, VoiBlockTest,
    ::testing::Values(
        BlockCase{"NoVois", {}, {0, 0, 0}, ""},
        BlockCase{"NoVoxels",
                  {{"Empty", {}}},
                  {1, 2, 3},
                  "NameOfVOI:  Empty\r\nColorOfVOI: 1 2 3\r\n\r\nNrOfVoxels: 0\r\n\r\n"},
        BlockCase{"NegativeAndExtremeValues",
                  {{"Neg", {{-12, -3, -2147483647 - 1}, {2147483647, 0, -1}}}},
                  {-5, 300, -2147483647 - 1},
                  "NameOfVOI:  Neg\r\nColorOfVOI: -5 300 -2147483648\r\n\r\nNrOfVoxels: 2\r\n"
                  "-12 -3 -2147483648\r\n2147483647 0 -1\r\n\r\n"},
        BlockCase{"NamesWithBlanksEmptyAndLineBreaks",
                  {{" Left  insula ", {{1, 2, 3}}}, {"", {}}, {"a\rb\nc\r\n", {}}},
                  {7, 8, 9},
                  "NameOfVOI:   Left  insula \r\nColorOfVOI: 7 8 9\r\n\r\nNrOfVoxels: 1\r\n1 2 3\r\n\r\n"
                  "NameOfVOI:  \r\nColorOfVOI: 7 8 9\r\n\r\nNrOfVoxels: 0\r\n\r\n"
                  "NameOfVOI:  a b c  \r\nColorOfVOI: 7 8 9\r\n\r\nNrOfVoxels: 0\r\n\r\n"},
        BlockCase{"ColumnsChangeOnlyInY",
                  {{"Col", {{5, 1, 1}, {5, 1, 2}, {5, 2, 1}, {6, 2, 1}, {6, 2, -10}}}},
                  {0, 0, 0},
                  "NameOfVOI:  Col\r\nColorOfVOI: 0 0 0\r\n\r\nNrOfVoxels: 5\r\n"
                  "5 1 1\r\n5 1 2\r\n5 2 1\r\n6 2 1\r\n6 2 -10\r\n\r\n"}),
    [](const auto& testCase) { return testCase.param.name; });

TEST_F(VoiFileTest, NameWithoutNulIsWrittenUpToTheEndOfItsArray) {
  std::vector<SphereVoi> vois;
  vois.push_back(makeVoi("", {0, 0, 0}, {}));
  vois[0].NameOfVOI.fill('n');
  EXPECT_TRUE(orbiculon::writeVOIFile(describe(path, vois)).ok());
  EXPECT_EQ(expectedHeader(1) + "NameOfVOI:  " + std::string(orbiculon::kVoiNameCapacity, 'n') +
                "\r\nColorOfVOI: 0 0 0\r\n\r\nNrOfVoxels: 0\r\n\r\n" + kClosing,
            readFile(path));
}

TEST_F(VoiFileTest, LargeBufferTakesOneChunkAndAFailingSinkStopsTheText) {
  std::vector<SphereVoi> vois;
  vois.push_back(sphereVoi("A", {1, 2, 3}, {-7.6f, 3.2f, 0.4f}, 6.5f));
  vois.push_back(sphereVoi("B", {4, 5, 6}, {100.2f, -50.1f, 20.0f}, 4.0f));
  const VoiFileDescription description = describe(path, vois);

  std::vector<char> large(orbiculon::kVoiWriteBufferCapacity);
  StringSink whole;
  ASSERT_TRUE(orbiculon::formatVoiFile(description, large, whole));
  EXPECT_EQ(1, whole.chunks);
  std::vector<char> small(orbiculon::kVoiFormatBufferMinimum + 3);
  StringSink failing;
  failing.failAtChunk = 3;
  EXPECT_FALSE(orbiculon::formatVoiFile(description, small, failing));
  EXPECT_EQ(3, failing.chunks);

  std::vector<char> tooSmall(orbiculon::kVoiFormatBufferMinimum - 1);
  StringSink none;
  EXPECT_FALSE(orbiculon::formatVoiFile(description, tooSmall, none));
  EXPECT_EQ(0, none.chunks);
}

TEST_F(VoiFileTest, MissingFolderNamesTheReasonAndLeavesNoFile) {
  const std::string missing = (dir / "missing" / "out.voi").string();
  EXPECT_EQ(ENOENT, orbiculon::writeVOIFile(describe(missing, {})).error);
  EXPECT_TRUE(host.logLines().empty());
  EXPECT_FALSE(fs::exists(dir / "missing"));
}

struct MismatchCase {
  std::string name;
  std::function<void(VoiFileDescription&, std::vector<SphereVoi>&)> spoil;
};

class VoiDescriptionMismatchTest : public VoiFileTest, public ::testing::WithParamInterface<MismatchCase> {};

TEST_P(VoiDescriptionMismatchTest, WritesNothing) {
  std::vector<SphereVoi> vois;
  vois.push_back(makeVoi("A", {0, 0, 0}, {{1, 2, 3}}));
  vois.push_back(makeVoi("B", {0, 0, 0}, {{4, 5, 6}}));
  VoiFileDescription description = describe(path, vois);
  GetParam().spoil(description, vois);
  writeFile(path, "previous content");

  EXPECT_EQ(EINVAL, orbiculon::writeVOIFile(description).error);
  EXPECT_EQ("previous content", readFile(path));
}

INSTANTIATE_TEST_SUITE_P(
    Writer, VoiDescriptionMismatchTest,
    ::testing::Values(
        MismatchCase{"MoreVoisThanRecords", [](VoiFileDescription& d, auto&) { d.NrOfvois = 3; }},
        MismatchCase{"NegativeVoiCount", [](VoiFileDescription& d, auto&) { d.NrOfvois = -1; }},
        MismatchCase{"NegativeVoxelCount", [](VoiFileDescription&, auto& v) { v[1].NrOfVoxels = -1; }},
        MismatchCase{"VoxelsMissing", [](VoiFileDescription&, auto& v) { v[0].Voxels.reset(); }},
        MismatchCase{"NoPath", [](VoiFileDescription& d, auto&) { d.FilePath = nullptr; }}),
    [](const auto& testCase) { return testCase.param.name; });

// Records that carry their sphere (as "Start" builds them) and records of voxel arrays
// give the plain formatter's text, for spheres of every kind (off-lattice, half-lattice
// and lattice centres, radii that put positions exactly on the surface, negative and
// large radii, centres far from the origin, where prefixes and line ends are longer),
// through buffers of many sizes.
TEST(VoiStreamTest, SphereAndArrayRecordsWriteThePlainText) {
  std::mt19937 random(20240612u);
  std::uniform_int_distribution<int> tenths(-800, 800);
  std::uniform_real_distribution<float> radii(-3.0f, 12.0f);
  std::uniform_int_distribution<int> kind(0, 5);
  std::uniform_int_distribution<int> nudge(-1, 1);
  const auto oneDecimal = [&] { return static_cast<float>(tenths(random)) / 10.0f; };
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<SphereVoi> streamed;
    std::vector<SphereVoi> arrays;
    for (int i = 0; i < 3; ++i) {
      orbiculon::SphereCentre centre{oneDecimal(), oneDecimal(), oneDecimal()};
      float radius = radii(random);
      switch (kind(random)) {
      case 0:
        centre = {std::round(centre.x), std::round(centre.y) + 0.5f, std::round(centre.z)};
        break;
      case 1: {
        // The squared distance of a lattice point as the float test computes it.
        const auto sq = [](float c, float p) { return (c - p) * (c - p); };
        const float s = sq(centre.x, std::round(centre.x) + 3.0f) + sq(centre.y, std::round(centre.y));
        radius = std::sqrt(sq(centre.z, std::round(centre.z) - 2.0f) + s);
        if (const int n = nudge(random); n != 0) radius = std::nextafter(radius, n > 0 ? 100.0f : 0.0f);
        break;
      }
      case 2:
        radius = -std::abs(radius) / 8.0f;
        break;
      case 3: {
        // Far from the origin: "x y " and "z" texts of every length the writer tells apart.
        constexpr std::array<orbiculon::SphereCentre, 6> kFar{{{1000.0f, -20000.0f, 0.0f},
                                                               {300000.0f, -300000.0f, 300000.0f},
                                                               {0.0f, 0.0f, -4000000.0f},
                                                               {-20000.0f, 1000.0f, -4000000.0f},
                                                               {-4000000.0f, 4000000.0f, 1000.0f},
                                                               {10.0f, -30000000.0f, 100000000.0f}}};
        const orbiculon::SphereCentre& far = kFar[static_cast<std::size_t>(trial) % kFar.size()];
        centre = {centre.x + far.x, centre.y + far.y, centre.z + far.z};
        break;
      }
      case 4:
        if (trial % 20 == 0) radius *= 4.0f; // blocks larger than most buffers here
        break;
      default:
        break;
      }
      const std::string name(1, static_cast<char>('A' + i));
      streamed.push_back(makeVoi(name, {i, 0, 0}, {}));
      orbiculon::assignSphere(streamed.back(), centre, radius);
      arrays.push_back(sphereVoi(name, {i, 0, 0}, centre, radius));
    }
    const std::optional<std::string> expected = plainVoiText(describe("", streamed));
    ASSERT_TRUE(expected.has_value());
    const std::size_t size = orbiculon::kVoiFormatBufferMinimum + static_cast<std::size_t>(trial) * 37;
    ASSERT_EQ(expected, writerText(describe("", streamed), size)) << "trial " << trial;
    ASSERT_EQ(expected, writerText(describe("", arrays), size)) << "trial " << trial;
  }
}

// A sphere whose voxels do not number what its record says fails the file, above or
// below, rather than leave a block whose count does not match its lines.
TEST_F(VoiFileTest, SphereWhoseCountDiffersFailsTheFile) {
  for (const std::int32_t wrongCount : {6, 8}) {
    std::vector<SphereVoi> vois;
    vois.push_back(makeVoi("A", {0, 0, 0}, {}));
    orbiculon::assignSphere(vois[0], {0, 0, 0}, 1.0f);
    vois[0].NrOfVoxels = wrongCount;
    EXPECT_EQ(EINVAL, orbiculon::writeVOIFile(describe(path, vois)).error);
    EXPECT_FALSE(fs::exists(path));
  }
  EXPECT_TRUE(fs::is_empty(dir.path())); // no temporary file left either
}

// Beyond 2^25 positions round together in fours, so the sphere of A and C holds 115
// voxels, more than its volume suggests; the sphere of B holds 7, a count with fewer
// digits than its volume suggests. A writer that makes room for the lines and the count
// it expects must see them outgrow it or fall short, at whatever place in the buffer
// the block begins, and still write the text of the voxel arrays.
TEST(VoiStreamTest, SpheresUnlikeTheirVolumeWriteTheirText) {
  const orbiculon::SphereCentre far{33554432.0f + 296.0f, 33554432.0f - 296.0f, -33554432.0f};
  std::vector<SphereVoi> streamed;
  std::vector<SphereVoi> arrays;
  for (const auto& [name, centre, radius] :
       {std::tuple{"A", far, 2.001f}, std::tuple{"B", orbiculon::SphereCentre{}, 1.4f},
        std::tuple{"C", far, 2.001f}}) {
    streamed.push_back(makeVoi(name, {1, 2, 3}, {}));
    orbiculon::assignSphere(streamed.back(), centre, radius);
    arrays.push_back(sphereVoi(name, {1, 2, 3}, centre, radius));
  }
  ASSERT_EQ(115, arrays[0].NrOfVoxels);
  ASSERT_EQ(7, arrays[1].NrOfVoxels);
  const std::optional<std::string> expected = plainVoiText(describe("", arrays));
  for (std::size_t size = orbiculon::kVoiFormatBufferMinimum; size <= 8192; ++size) {
    ASSERT_EQ(expected, writerText(describe("", streamed), size)) << "buffer of " << size;
    ASSERT_EQ(expected, writerText(describe("", arrays), size)) << "buffer of " << size;
  }
}

#ifdef __linux__
TEST_F(VoiFileTest, FullDeviceFailsAndSurvivesDirectlyAndThroughALink) {
  const fs::path device = "/dev/full";
  if (!fs::is_character_file(device)) GTEST_SKIP() << "no /dev/full";
  const fs::path link = dir / "full.voi";
  fs::create_symlink(device, link);

  EXPECT_EQ(ENOSPC, orbiculon::writeVOIFile(describe(device.string(), {})).error);
  EXPECT_EQ(ENOSPC, orbiculon::writeVOIFile(describe(link.string(), {})).error);
  EXPECT_TRUE(fs::is_character_file(device));
  EXPECT_TRUE(fs::is_symlink(link));
}

// A write that fails part-way (the process' file size limit, or the seam) leaves
// the path as it was, free or holding the older file, and no temporary file.
TEST_F(VoiFileTest, FailedWriteKeepsWhatWasThere) {
  std::vector<SphereVoi> vois;
  vois.push_back(sphereVoi("Big", {1, 1, 1}, {0, 0, 0}, 20.0f));
  const std::string older = (dir / "older.voi").string();
  writeFile(older, "older content");

  rlimit saved{};
  ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 4096;
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limited));
  const int fresh = orbiculon::writeVOIFile(describe(path, vois)).error;
  const int overOlder = orbiculon::writeVOIFile(describe(older, vois)).error;
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);
  orbiculon::failFileWritesAfter(100, EIO);
  const int injected = orbiculon::writeVOIFile(describe(older, vois)).error;
  orbiculon::clearFileFaults();

  EXPECT_EQ(EFBIG, fresh);
  EXPECT_EQ(EFBIG, overOlder);
  EXPECT_EQ(EIO, injected);
  EXPECT_TRUE(host.logLines().empty());
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ("older content", readFile(older));
  EXPECT_EQ(1, std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()));
}
#endif

} // namespace
