#include "export/NiftiImage.h"

#include <nifti1_io.h>
#include <zlib.h>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "export/VoiStream.h"
#include "files/FileResult.h"
#include "files/ReplacingFile.h"

namespace orbiculon::exporting {

namespace {

constexpr std::string_view kNii = ".nii";
constexpr std::string_view kNiiGz = ".nii.gz";
// A single-file NIfTI-1 image: the 348-byte header, 4 bytes saying no extension
// follows, then the voxels.
constexpr std::size_t kHeaderBytes = 348;
constexpr std::size_t kVoxelOffset = 352;
// The largest image written, uncompressed.
constexpr std::uint64_t kMaxImageBytes = std::uint64_t{2} << 30;
// Overlapping pairs the report names; the rest are counted.
constexpr std::size_t kNamedPairs = 20;
constexpr std::size_t kLabelLimit = 65535;
// The label bits, and the bit that says a voxel was counted as shared, of a label
// volume of at most kLabelBits VOIs.
constexpr std::uint16_t kLabelBits = 0x7FFF;
constexpr std::uint16_t kSharedBit = 0x8000;
// Slices of the label volume put in the image's order together.
constexpr std::size_t kSlicesAtATime = 32;
// How many voxels ahead the image's memory is asked for.
constexpr std::size_t kPrefetchAhead = 24;
// How many runs of a column ahead, and the unit of memory the processor fetches.
constexpr std::size_t kRunsAhead = 6;
constexpr std::size_t kCacheLine = 64;
// The size of a large page of memory on the usual processors.
constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;

NiftiGrid makeNamedGrid(std::string name, std::array<std::int32_t, 3> size, double step,
                        std::array<double, 3> origin, bool flipX, int code) {
  NiftiGrid grid;
  grid.name = std::move(name);
  grid.size = size;
  grid.toWorld = {
      {{flipX ? -step : step, 0, 0, origin[0]}, {0, step, 0, origin[1]}, {0, 0, step, origin[2]}}};
  grid.sformCode = code;
  grid.qformCode = code;
  return grid;
}

std::string gib(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f GiB", static_cast<double>(bytes) / static_cast<double>(1u << 30));
  return text;
}

std::string quoted(std::string_view text) {
  std::string result(1, '"');
  result.append(text);
  result.push_back('"');
  return result;
}

// Round to the nearest whole number, halves away from zero.
std::int64_t nearest(double value) { return static_cast<std::int64_t>(std::round(value)); }

// Writes an image file, through gzip when it ends in .nii.gz, the way the plug-in
// saves its own files.
class ImageFile {
public:
  ~ImageFile() {
    if (deflating_) deflateEnd(&stream_);
  }

  std::string open(const std::string& path, bool compressed) {
    if (const FileResult opened = file_.open(path.c_str()); !opened.ok()) return failure(path, opened);
    path_ = path;
    if (compressed) {
      // 15 + 16: a gzip stream, as .gz readers expect. Level 1: the voxels are
      // mostly zero and compress well at the fastest level.
      if (deflateInit2(&stream_, 1, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return "cannot start compressing " + quoted(path);
      deflating_ = true;
      buffer_.resize(std::size_t{1} << 18);
    }
    return {};
  }

  std::string write(const void* data, std::size_t size) {
    if (!deflating_) return checked(file_.write(static_cast<const char*>(data), size));
    stream_.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    // zlib counts in 32 bits: hand it the data in pieces.
    while (size > 0) {
      const std::size_t piece = std::min<std::size_t>(size, std::size_t{1} << 30);
      stream_.avail_in = static_cast<uInt>(piece);
      size -= piece;
      if (std::string error = deflateAll(Z_NO_FLUSH); !error.empty()) return error;
    }
    return {};
  }

  std::string commit() {
    if (deflating_) {
      stream_.avail_in = 0;
      if (std::string error = deflateAll(Z_FINISH); !error.empty()) return error;
    }
    return checked(file_.commit());
  }

private:
  std::string deflateAll(int flush) {
    for (;;) {
      stream_.next_out = reinterpret_cast<Bytef*>(buffer_.data());
      stream_.avail_out = static_cast<uInt>(buffer_.size());
      const int result = deflate(&stream_, flush);
      if (result == Z_STREAM_ERROR) return "compressing " + quoted(path_) + " failed";
      const std::size_t produced = buffer_.size() - stream_.avail_out;
      if (std::string error = checked(file_.write(buffer_.data(), produced)); !error.empty()) return error;
      if (flush == Z_FINISH ? result == Z_STREAM_END : stream_.avail_out != 0) return {};
    }
  }
  std::string checked(const FileResult& result) const {
    return result.ok() ? std::string() : failure(path_, result);
  }
  static std::string failure(const std::string& path, const FileResult& result) {
    return "cannot write " + quoted(path) + ": " + describeFileError(result.error);
  }

  ReplacingFile file_;
  std::string path_;
  z_stream stream_{};
  bool deflating_ = false;
  std::vector<char> buffer_;
};

// The NIfTI-1 header of an image of `grid`, `volumes` deep (0: a 3-D image).
std::string headerBytes(const NiftiGrid& grid, std::size_t volumes, int datatype, std::size_t labels) {
  int dims[8] = {volumes == 0 ? 3 : 4,
                 grid.size[0],
                 grid.size[1],
                 grid.size[2],
                 std::max(1, static_cast<int>(volumes)),
                 1,
                 1,
                 1};
  std::unique_ptr<nifti_image, void (*)(nifti_image*)> image(nifti_make_new_nim(dims, datatype, 0),
                                                             nifti_image_free);
  if (!image) throw std::bad_alloc();
  nifti_image& nim = *image;
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 4; ++column)
      nim.sto_xyz.m[row][column] =
          static_cast<float>(grid.toWorld[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)]);
  }
  nim.sto_xyz.m[3][0] = nim.sto_xyz.m[3][1] = nim.sto_xyz.m[3][2] = 0.0f;
  nim.sto_xyz.m[3][3] = 1.0f;
  nim.sform_code = grid.sformCode;
  nim.qform_code = grid.qformCode;
  if (grid.qformGiven) {
    nim.quatern_b = grid.quatern[0];
    nim.quatern_c = grid.quatern[1];
    nim.quatern_d = grid.quatern[2];
    nim.qoffset_x = grid.qoffset[0];
    nim.qoffset_y = grid.qoffset[1];
    nim.qoffset_z = grid.qoffset[2];
    nim.dx = grid.spacing[0];
    nim.dy = grid.spacing[1];
    nim.dz = grid.spacing[2];
    nim.qfac = grid.qfac;
  } else {
    nifti_mat44_to_quatern(nim.sto_xyz, &nim.quatern_b, &nim.quatern_c, &nim.quatern_d, &nim.qoffset_x,
                           &nim.qoffset_y, &nim.qoffset_z, &nim.dx, &nim.dy, &nim.dz, &nim.qfac);
  }
  nim.pixdim[1] = nim.dx;
  nim.pixdim[2] = nim.dy;
  nim.pixdim[3] = nim.dz;
  nim.xyz_units = NIFTI_UNITS_MM;
  nim.nifti_type = NIFTI_FTYPE_NIFTI1_1;
  nim.iname_offset = static_cast<int>(kVoxelOffset);
  if (volumes == 0) {
    nim.intent_code = NIFTI_INTENT_LABEL;
    nim.cal_max = static_cast<float>(labels);
  } else {
    nim.cal_max = 1.0f;
  }
  std::snprintf(nim.descrip, sizeof nim.descrip, "%s",
                volumes == 0 ? "Orbiculon VOI labels" : "Orbiculon VOI masks");
  const nifti_1_header header = nifti_convert_nim2nhdr(&nim);
  static_assert(sizeof header == kHeaderBytes);
  std::string bytes(kVoxelOffset, '\0');
  std::memcpy(bytes.data(), &header, sizeof header);
  return bytes;
}

// Where the VOI voxels land on the grid.
class GridMap {
public:
  explicit GridMap(const NiftiGrid& grid) : size_(grid.size) {
    const auto& a = grid.toWorld;
    for (std::size_t r = 0; r < 3; ++r) {
      for (std::size_t c = 0; c < 4; ++c)
        toWorld_[r][c] = a[r][c];
    }
    // The inverse of the 3 x 3 part, by cofactors, and of the translation.
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                       a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    for (std::size_t r = 0; r < 3; ++r) {
      for (std::size_t c = 0; c < 3; ++c) {
        const std::size_t r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
        toIndex_[r][c] = (a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1]) / det;
      }
    }
    for (std::size_t r = 0; r < 3; ++r) {
      toIndex_[r][3] = -(toIndex_[r][0] * a[0][3] + toIndex_[r][1] * a[1][3] + toIndex_[r][2] * a[2][3]);
      reach_[r] = 0.5 * (std::abs(toIndex_[r][0]) + std::abs(toIndex_[r][1]) + std::abs(toIndex_[r][2]));
    }
    // A grid of 1 mm voxels along the axes with whole-millimetre origin maps each
    // voxel line to one grid voxel by whole numbers alone.
    exact_ = true;
    for (std::size_t r = 0; r < 3; ++r) {
      int ones = 0;
      for (std::size_t c = 0; c < 3; ++c) {
        const double value = a[r][c];
        if (value == 1.0 || value == -1.0)
          ++ones;
        else if (value != 0.0)
          exact_ = false;
        exactIndex_[r][c] = static_cast<std::int64_t>(std::round(toIndex_[r][c]));
      }
      exact_ = exact_ && ones == 1 && a[r][3] == std::round(a[r][3]);
      exactIndex_[r][3] = static_cast<std::int64_t>(std::round(toIndex_[r][3]));
    }
    for (std::size_t c = 0; c < 3 && exact_; ++c)
      exact_ = std::abs(a[0][c]) + std::abs(a[1][c]) + std::abs(a[2][c]) == 1.0;
  }

  std::size_t voxelCount() const {
    return static_cast<std::size_t>(size_[0]) * static_cast<std::size_t>(size_[1]) *
           static_cast<std::size_t>(size_[2]);
  }

  // Calls `visit` with the index, in the image, of every grid voxel whose rounded
  // centre is `voxel`. False when `voxel` lies outside the grid.
  template <typename Visit> bool place(const Voxel& voxel, Visit&& visit) const {
    if (exact_) {
      std::array<std::int64_t, 3> index{};
      if (!exactIndex(voxel, index)) return false;
      visit(index);
      return true;
    }
    std::array<double, 3> centre{};
    std::array<std::int64_t, 3> low{}, high{};
    for (std::size_t r = 0; r < 3; ++r) {
      centre[r] =
          toIndex_[r][0] * voxel[0] + toIndex_[r][1] * voxel[1] + toIndex_[r][2] * voxel[2] + toIndex_[r][3];
      if (centre[r] < -0.5 || centre[r] > size_[r] - 0.5) return false;
      // A little more than the cube's reach, for rounding in the inverse.
      low[r] = std::max<std::int64_t>(0, static_cast<std::int64_t>(std::ceil(centre[r] - reach_[r] - 1e-6)));
      high[r] = std::min<std::int64_t>(size_[r] - 1,
                                       static_cast<std::int64_t>(std::floor(centre[r] + reach_[r] + 1e-6)));
    }
    for (std::int64_t k = low[2]; k <= high[2]; ++k) {
      for (std::int64_t j = low[1]; j <= high[1]; ++j) {
        for (std::int64_t i = low[0]; i <= high[0]; ++i) {
          bool same = true;
          for (std::size_t r = 0; r < 3 && same; ++r) {
            const double world = toWorld_[r][0] * static_cast<double>(i) +
                                 toWorld_[r][1] * static_cast<double>(j) +
                                 toWorld_[r][2] * static_cast<double>(k) + toWorld_[r][3];
            same = nearest(world) == voxel[r];
          }
          if (same) visit(std::array<std::int64_t, 3>{i, j, k});
        }
      }
    }
    return true;
  }

  // The grid voxel of `voxel` on a grid of whole-millimetre steps along the axes;
  // false on any other grid or outside this one.
  bool exactIndex(const Voxel& voxel, std::array<std::int64_t, 3>& index) const {
    if (!exact_) return false;
    for (std::size_t r = 0; r < 3; ++r) {
      index[r] = exactIndex_[r][0] * voxel[0] + exactIndex_[r][1] * voxel[1] + exactIndex_[r][2] * voxel[2] +
                 exactIndex_[r][3];
      if (index[r] < 0 || index[r] >= size_[r]) return false;
    }
    return true;
  }

  // Where a run of `length` voxels from `first` up world z (one column of a VOI file)
  // lies on a grid of whole-millimetre steps along the axes: the grid axis it follows,
  // its grid voxel of lowest index along that axis within the grid, and how many of
  // its voxels the grid holds (0: none).
  struct Run {
    std::array<std::int64_t, 3> start{};
    std::size_t axis = 0;
    std::int64_t inside = 0;
  };
  Run exactRun(const Voxel& first, std::int64_t length) const {
    Run run;
    std::int64_t step = 0;
    for (std::size_t r = 0; r < 3; ++r) {
      run.start[r] = exactIndex_[r][0] * first[0] + exactIndex_[r][1] * first[1] +
                     exactIndex_[r][2] * first[2] + exactIndex_[r][3];
      if (exactIndex_[r][2] != 0) {
        run.axis = r;
        step = exactIndex_[r][2];
      } else if (run.start[r] < 0 || run.start[r] >= size_[r]) {
        return run;
      }
    }
    const std::int64_t low =
        std::max<std::int64_t>(0, step > 0 ? run.start[run.axis] : run.start[run.axis] - length + 1);
    const std::int64_t high = std::min<std::int64_t>(
        size_[run.axis] - 1, step > 0 ? run.start[run.axis] + length - 1 : run.start[run.axis]);
    run.start[run.axis] = low;
    run.inside = std::max<std::int64_t>(0, high - low + 1);
    return run;
  }
  bool exact() const { return exact_; }

  // The index of voxel (i, j, k) in the image, i running fastest.
  std::size_t flat(const std::array<std::int64_t, 3>& index) const {
    return static_cast<std::size_t>(index[0] + size_[0] * (index[1] + std::int64_t{size_[1]} * index[2]));
  }

  // Strides of a layout in which the grid axis that follows world z runs fastest,
  // then the one that follows y: a VOI file lists voxels in columns of z, so marking
  // them in this layout touches memory in order instead of one image row apart.
  std::array<std::size_t, 3> columnStrides() const {
    std::array<std::size_t, 3> order{0, 1, 2}; // grid axes, fastest first
    const auto weight = [&](std::size_t worldAxis, std::size_t gridAxis) {
      return std::abs(toWorld_[worldAxis][gridAxis]);
    };
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      return weight(2, a) != weight(2, b) ? weight(2, a) > weight(2, b) : weight(1, a) > weight(1, b);
    });
    std::array<std::size_t, 3> strides{};
    std::size_t stride = 1;
    for (const std::size_t axis : order) {
      strides[axis] = stride;
      stride *= static_cast<std::size_t>(size_[axis]);
    }
    return strides;
  }

private:
  std::array<std::int32_t, 3> size_;
  std::array<std::array<double, 4>, 3> toWorld_{};
  std::array<std::array<double, 4>, 3> toIndex_{};
  std::array<double, 3> reach_{};
  bool exact_ = false;
  std::array<std::array<std::int64_t, 4>, 3> exactIndex_{};
};

struct Overlap {
  std::uint16_t earlier = 0;
  std::uint16_t later = 0;
  std::size_t voxels = 0;
};

// GCC takes a function that only prefetches for one without effect and drops its
// calls; inlined early, the prefetches stay.
#if defined(__GNUC__)
#define PREFETCHING [[gnu::always_inline]] inline
#else
#define PREFETCHING inline
#endif

// A zeroed array from calloc: the system hands out zero pages as they are first
// touched, so a large grid costs only where VOIs reach.
struct FreeArray {
  void operator()(void* data) const { std::free(data); }
};
template <typename T> using ZeroedArray = std::unique_ptr<T[], FreeArray>;
template <typename T> ZeroedArray<T> zeroed(std::size_t count) {
  ZeroedArray<T> array(static_cast<T*>(std::calloc(count, sizeof(T))));
  if (!array) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Large pages where the system offers them: a VOI's columns lie a grid row apart,
  // and with small pages nearly every few columns cost a fault and a page walk.
  const auto start = reinterpret_cast<std::uintptr_t>(array.get());
  const std::uintptr_t first = (start + kLargePage - 1) & ~(kLargePage - 1);
  const std::uintptr_t last = (start + count * sizeof(T)) & ~(kLargePage - 1);
  if (last > first) static_cast<void>(madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE));
#endif
  return array;
}

struct VoiEntry {
  std::string name;
  std::array<std::int32_t, 3> colour{};
  std::size_t voxels = 0;
  std::size_t outside = 0;
};

// Builds the image while the VOI file is read. A failure is kept and ends the work;
// the file being written is then discarded.
class ImageSink final : public VoiSink {
public:
  explicit ImageSink(const NiftiRequest& request) : request_(request) {}

  void header(const VoiStreamHeader& header) override {
    attempt([&] {
      if (request_.grid) {
        grid_ = *request_.grid;
      } else {
        grid_ = *namedGrid(defaultGridName(header.referenceSpace));
      }
      map_.emplace(grid_);
      strides_ = map_->columnStrides();
      const std::size_t voxels = map_->voxelCount();
      const bool masks = request_.masks;
      if (masks && header.voiCount == 0)
        throw Failure{"the VOI file holds no VOI, so there is no mask to write"};
      if (!masks && header.voiCount > kLabelLimit)
        throw Failure{"the VOI file holds " + std::to_string(header.voiCount) +
                      " VOIs; a label image holds at most " + std::to_string(kLabelLimit) + " (use --masks)"};
      const std::uint64_t bytes = kVoxelOffset + std::uint64_t{voxels} * (masks ? header.voiCount : 2u);
      if (bytes > kMaxImageBytes) {
        throw Failure{
            "the image would hold " + gib(bytes) + " uncompressed (" + std::to_string(grid_.size[0]) + " x " +
            std::to_string(grid_.size[1]) + " x " + std::to_string(grid_.size[2]) + " voxels" +
            (masks ? " x " + std::to_string(header.voiCount) + " VOIs, one byte each" : ", two bytes each") +
            "), more than the 2 GiB allowed; nothing was written" +
            (masks ? " (without --masks, one label image holds every VOI)" : "")};
      }
      labels_ = zeroed<std::uint16_t>(voxels);
      // Below 32768 VOIs a label's top bit is free to say the voxel was counted as
      // shared, which keeps that flag in the memory the label is read from anyway.
      sharedInLabel_ = header.voiCount <= kLabelBits;
      labelBits_ = sharedInLabel_ ? kLabelBits : std::uint16_t{0xFFFF};
      if (!sharedInLabel_) shared_ = zeroed<std::uint8_t>(voxels);
      byRuns_ = sharedInLabel_ && !masks && map_->exact();
      if (masks) mask_.assign(voxels, 0);
      overlaps_.assign(header.voiCount + 1, 0);
      vois_.reserve(header.voiCount);
      if (std::string error = image_.open(request_.imagePath, request_.imagePath.ends_with(kNiiGz));
          !error.empty())
        throw Failure{error};
      write(headerBytes(grid_, masks ? header.voiCount : 0, masks ? DT_UINT8 : DT_UINT16, header.voiCount));
    });
  }

  void beginVoi(std::size_t index, std::string_view name, std::array<std::int32_t, 3> colour) override {
    label_ = static_cast<std::uint16_t>(index + 1);
    vois_.push_back({std::string(name), colour, 0, 0});
  }

  void voxels(std::span<const Voxel> batch) override {
    if (!failure_.empty()) return;
    VoiEntry& voi = vois_.back();
    voi.voxels += batch.size();
    if (byRuns_) {
      // The voxels of one column, consecutive z at the same x and y, are one run of
      // neighbouring labels, marked together. The runs of the batch are found first,
      // so that the memory of runs a few ahead is asked for while one is marked: the
      // columns lie a grid row apart, beyond what the processor foresees. The last
      // few runs of a batch, already asked for, are marked with the next batch (or
      // when the VOI ends), so that the first runs of a batch are asked for early too.
      const std::size_t carried = runs_.size();
      for (std::size_t n = 0; n < batch.size();) {
        const Voxel& first = batch[n];
        // x and y together, compared at once.
        const auto column = [](const Voxel& voxel) {
          std::uint64_t xy = 0;
          std::memcpy(&xy, voxel.data(), sizeof xy);
          return xy;
        };
        const std::uint64_t xy = column(first);
        std::int64_t z = first[2];
        std::size_t length = 1;
        while (n + length < batch.size() && column(batch[n + length]) == xy &&
               std::int64_t{batch[n + length][2]} == ++z)
          ++length;
        const GridMap::Run run = map_->exactRun(first, static_cast<std::int64_t>(length));
        voi.outside += length - static_cast<std::size_t>(run.inside);
        if (run.inside > 0) runs_.push_back(run);
        n += length;
      }
      for (std::size_t r = carried; r < std::min(kRunsAhead, runs_.size()); ++r)
        prefetchRun(runs_[r]);
      std::size_t marked = 0;
      for (; marked + kRunsAhead < runs_.size(); ++marked) {
        prefetchRun(runs_[marked + kRunsAhead]);
        markRun(runs_[marked]);
      }
      runs_.erase(runs_.begin(), runs_.begin() + static_cast<std::ptrdiff_t>(marked));
      return;
    }
    for (std::size_t n = 0; n < batch.size(); ++n) {
      if (n + kPrefetchAhead < batch.size()) prefetch(batch[n + kPrefetchAhead]);
      if (!map_->place(batch[n], [this](const std::array<std::int64_t, 3>& index) { mark(index); }))
        ++voi.outside;
    }
  }

  void endVoi() override {
    if (!failure_.empty()) return;
    for (const GridMap::Run& run : runs_)
      markRun(run);
    runs_.clear();
    for (const std::uint16_t earlier : overlapping_) {
      pairs_.push_back({earlier, label_, overlaps_[earlier]});
      overlaps_[earlier] = 0;
    }
    overlapping_.clear();
    overlaps_[0] = 0;
    if (!request_.masks) return;
    attempt([&] {
      write(mask_.data(), mask_.size());
      std::fill(mask_.begin(), mask_.end(), std::uint8_t{0});
    });
  }

  // Writes what is left and commits the image and its table; the outcome's report
  // says what went where.
  NiftiOutcome finish() {
    NiftiOutcome outcome;
    attempt([&] {
      if (!request_.masks) writeLabels();
      std::string table = "index\tname\tcolor\n";
      for (std::size_t i = 0; i < vois_.size(); ++i)
        table += std::to_string(i + 1) + "\t" + tableName(vois_[i].name) + "\t" + hexColour(vois_[i].colour) +
                 "\n";
      const std::string tablePath = labelTablePath(request_.imagePath);
      ImageFile tableFile;
      if (std::string error = tableFile.open(tablePath, false); !error.empty()) throw Failure{error};
      if (std::string error = tableFile.write(table.data(), table.size()); !error.empty())
        throw Failure{error};
      // The image goes in place first: a table never stands beside an image it does not describe.
      if (std::string error = image_.commit(); !error.empty()) throw Failure{error};
      if (std::string error = tableFile.commit(); !error.empty()) throw Failure{error};
      outcome.report = report(tablePath);
    });
    outcome.ok = failure_.empty();
    outcome.error = failure_;
    return outcome;
  }

  void fail(std::string why) {
    if (failure_.empty()) failure_ = std::move(why);
  }
  bool failed() const { return !failure_.empty(); }

private:
  struct Failure {
    std::string message;
  };

  template <typename Work> void attempt(Work&& work) {
    if (!failure_.empty()) return;
    try {
      work();
    } catch (const Failure& failure) {
      failure_ = failure.message;
    } catch (const std::bad_alloc&) {
      failure_ = "not enough memory for the image";
    }
  }

  void write(const std::string& bytes) { write(bytes.data(), bytes.size()); }
  void write(const void* data, std::size_t size) {
    if (std::string error = image_.write(data, size); !error.empty()) throw Failure{error};
  }

  // Asks for the memory of a voxel a little ahead: a VOI's columns of z lie one
  // grid row apart, and the processor does not foresee that jump by itself.
  PREFETCHING void prefetch(const Voxel& voxel) const {
    std::array<std::int64_t, 3> index{};
    if (!map_->exactIndex(voxel, index)) return;
#if defined(__GNUC__)
    const std::size_t at = internalIndex(index);
    __builtin_prefetch(labels_.get() + at, 1);
    if (shared_) __builtin_prefetch(shared_.get() + at, 1);
#endif
  }

  std::size_t internalIndex(const std::array<std::int64_t, 3>& index) const {
    return static_cast<std::size_t>(index[0]) * strides_[0] +
           static_cast<std::size_t>(index[1]) * strides_[1] +
           static_cast<std::size_t>(index[2]) * strides_[2];
  }

  // Marks the voxels of a run in the column layout, where they lie `strides_[axis]`
  // apart (next to each other on the usual grids).
  PREFETCHING void prefetchRun(const GridMap::Run& run) const {
#if defined(__GNUC__)
    const std::uint16_t* label = labels_.get() + internalIndex(run.start);
    if (strides_[run.axis] != 1) {
      __builtin_prefetch(label, 1);
      return;
    }
    // Every cache line the run covers.
    const auto* begin = reinterpret_cast<const char*>(label);
    const auto* last = reinterpret_cast<const char*>(label + run.inside - 1);
    for (const char* line = begin; line <= last; line += kCacheLine)
      __builtin_prefetch(line, 1);
    __builtin_prefetch(last, 1);
#else
    static_cast<void>(run);
#endif
  }

  // On a whole-millimetre grid distinct voxels land on distinct grid voxels, and a
  // VOI file repeats no voxel within a VOI, so no voxel of a run holds the current
  // label yet. The loop has no branch that depends on the labels it meets: a voxel
  // outside every earlier VOI counts towards overlaps_[0], which stands for no VOI.
  void markRun(const GridMap::Run& run) {
    std::uint16_t* label = labels_.get() + internalIndex(run.start);
    const std::size_t stride = strides_[run.axis];
    const std::uint16_t current = label_;
    std::size_t labelled = 0;
    std::size_t shared = 0;
    std::int64_t n = 0;
#if defined(__GNUC__)
    // Neighbouring labels, eight at a time: mostly all of them lie in the same
    // earlier VOI (or in none), and its overlap count is raised once for the eight.
    if (stride == 1) {
      using Lanes = std::uint16_t __attribute__((vector_size(16)));
      constexpr std::int64_t kLanes = sizeof(Lanes) / sizeof(std::uint16_t);
      const Lanes currentLanes = Lanes{} + current;
      Lanes unlabelled{};
      Lanes newlyShared{};
      for (; n + kLanes <= run.inside; n += kLanes, label += kLanes) {
        Lanes earlier;
        std::memcpy(&earlier, label, sizeof earlier);
        const Lanes earlierLabel = earlier & kLabelBits;
        const auto occupied = reinterpret_cast<Lanes>(earlier != 0);                // all ones or zero
        const auto unshared = reinterpret_cast<Lanes>((earlier & kSharedBit) == 0); // likewise
        unlabelled += ~occupied & 1;
        newlyShared += occupied & unshared & 1;
        const Lanes now = currentLanes | (occupied & kSharedBit);
        std::memcpy(label, &now, sizeof now);
        const Lanes differ = earlierLabel ^ (Lanes{} + earlierLabel[0]);
        std::array<std::uint64_t, 2> words{};
        std::memcpy(words.data(), &differ, sizeof differ);
        if ((words[0] | words[1]) == 0) {
          const std::uint16_t only = earlierLabel[0];
          if (overlaps_[only] == 0 && only != 0) overlapping_.push_back(only);
          overlaps_[only] += kLanes;
          continue;
        }
        for (std::int64_t lane = 0; lane < kLanes; ++lane) {
          const std::uint16_t one = earlierLabel[lane];
          if (overlaps_[one]++ == 0 && one != 0) overlapping_.push_back(one);
        }
      }
      for (std::int64_t lane = 0; lane < kLanes; ++lane) {
        labelled += unlabelled[lane];
        shared += newlyShared[lane];
      }
    }
#endif
    for (; n < run.inside; ++n, label += stride) {
      const std::uint16_t earlier = *label;
      const auto earlierLabel = static_cast<std::uint16_t>(earlier & kLabelBits);
      labelled += earlier == 0;
      shared += earlier != 0 && (earlier & kSharedBit) == 0;
      if (overlaps_[earlierLabel]++ == 0 && earlierLabel != 0) overlapping_.push_back(earlierLabel);
      *label = static_cast<std::uint16_t>(current | (earlier != 0 ? kSharedBit : 0));
    }
    labelled_ += labelled;
    sharedVoxels_ += shared;
  }

  void mark(const std::array<std::int64_t, 3>& index) {
    const std::size_t at = internalIndex(index);
    const std::uint16_t earlier = labels_[at];
    if (earlier == 0) ++labelled_;
    const auto earlierLabel = static_cast<std::uint16_t>(earlier & labelBits_);
    auto flags = static_cast<std::uint16_t>(earlier & ~labelBits_);
    if (earlierLabel != 0 && earlierLabel != label_) {
      if (sharedInLabel_) {
        if (flags == 0) ++sharedVoxels_;
        flags = kSharedBit;
      } else if (shared_[at] == 0) {
        shared_[at] = 1;
        ++sharedVoxels_;
      }
      if (overlaps_[earlierLabel]++ == 0) overlapping_.push_back(earlierLabel);
    }
    labels_[at] = static_cast<std::uint16_t>(label_ | flags);
    if (request_.masks) mask_[map_->flat(index)] = 1;
  }

  // The labels in the image's order, some slices of constant k at a time: the
  // slices are filled together, so each read of the column layout takes a run of
  // neighbouring k instead of one voxel from a distant place.
  void writeLabels() {
    const auto [nx, ny, nz] = grid_.size;
    const std::size_t sliceSize = static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny);
    const std::size_t depth = strides_[2] == 1 ? kSlicesAtATime : 1;
    // Slices a cache line more than a slice apart: a whole number of pages apart, the
    // writes to all of them would compete for the same few places in the cache.
    const std::size_t pitch = sliceSize + kCacheLine / sizeof(std::uint16_t);
    std::vector<std::uint16_t> slices(pitch * depth);
    for (std::size_t k0 = 0; k0 < static_cast<std::size_t>(nz); k0 += depth) {
      const std::size_t count = std::min(depth, static_cast<std::size_t>(nz) - k0);
      for (std::size_t j = 0; j < static_cast<std::size_t>(ny); ++j) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(nx); ++i) {
          const std::uint16_t* from = labels_.get() + i * strides_[0] + j * strides_[1] + k0 * strides_[2];
          std::uint16_t* to = slices.data() + i + static_cast<std::size_t>(nx) * j;
          for (std::size_t k = 0; k < count; ++k)
            to[k * pitch] = static_cast<std::uint16_t>(from[k * strides_[2]] & labelBits_);
        }
      }
      for (std::size_t k = 0; k < count; ++k)
        write(slices.data() + k * pitch, sliceSize * sizeof slices[0]);
    }
  }

  static std::string tableName(std::string name) {
    // A tab or line end would split the table's row.
    std::replace_if(
        name.begin(), name.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return name;
  }
  static std::string hexColour(const std::array<std::int32_t, 3>& colour) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", std::clamp(colour[0], 0, 255),
                  std::clamp(colour[1], 0, 255), std::clamp(colour[2], 0, 255));
    return text;
  }
  std::string voiName(std::size_t label) const {
    return "VOI " + std::to_string(label) + " " + quoted(vois_[label - 1].name);
  }

  std::vector<std::string> report(const std::string& tablePath) const {
    std::vector<std::string> lines;
    const std::size_t labelled = labelled_;
    lines.push_back("Wrote " + request_.imagePath + ": " + (request_.masks ? "masks of " : "labels of ") +
                    std::to_string(vois_.size()) + (vois_.size() == 1 ? " VOI" : " VOIs") + " on the " +
                    std::to_string(grid_.size[0]) + " x " + std::to_string(grid_.size[1]) + " x " +
                    std::to_string(grid_.size[2]) + " grid " + grid_.name + ", " + std::to_string(labelled) +
                    " grid voxels in a VOI; label table " + tablePath);
    std::size_t outside = 0;
    for (const VoiEntry& voi : vois_)
      outside += voi.outside;
    if (outside > 0) {
      lines.push_back("note: " + std::to_string(outside) +
                      " VOI voxels lie outside the grid and are not in the image:");
      for (std::size_t i = 0; i < vois_.size(); ++i) {
        if (vois_[i].outside > 0)
          lines.push_back("  " + voiName(i + 1) + ": " + std::to_string(vois_[i].outside) + " of " +
                          std::to_string(vois_[i].voxels));
      }
    }
    if (sharedVoxels_ > 0) {
      lines.push_back("note: " + std::to_string(sharedVoxels_) + " grid voxels lie in more than one VOI" +
                      (request_.masks
                           ? "; each mask keeps them"
                           : "; the later VOI's label stands there (--masks keeps every VOI whole)") +
                      ":");
      std::size_t shown = 0;
      std::vector<Overlap> pairs = pairs_;
      std::sort(pairs.begin(), pairs.end(), [](const Overlap& a, const Overlap& b) {
        return std::pair(a.earlier, a.later) < std::pair(b.earlier, b.later);
      });
      for (const Overlap& pair : pairs) {
        if (shown++ == kNamedPairs) break;
        lines.push_back("  " + voiName(pair.earlier) + " and " + voiName(pair.later) + ": " +
                        std::to_string(pair.voxels) + (pair.voxels == 1 ? " voxel" : " voxels"));
      }
      if (pairs_.size() > kNamedPairs)
        lines.push_back("  and " + std::to_string(pairs_.size() - kNamedPairs) + " more pairs");
    }
    return lines;
  }

  const NiftiRequest& request_;
  NiftiGrid grid_;
  std::optional<GridMap> map_;
  ImageFile image_;
  ZeroedArray<std::uint16_t> labels_; // the label of the last VOI at each grid voxel, in column layout
  // Whether a grid voxel was counted as shared, likewise: the top bit of its label
  // when sharedInLabel_, else this array.
  ZeroedArray<std::uint8_t> shared_;
  bool sharedInLabel_ = false;
  std::uint16_t labelBits_ = 0xFFFF; // the bits of labels_ that hold the label
  bool byRuns_ = false;              // voxels marked a column at a time, see markRun
  std::vector<GridMap::Run> runs_;   // runs found and not yet marked, see voxels
  std::size_t labelled_ = 0;         // grid voxels in some VOI
  std::vector<std::uint8_t> mask_;   // the current VOI, with --masks
  std::vector<VoiEntry> vois_;
  std::array<std::size_t, 3> strides_{}; // of labels_ and shared_, see GridMap::columnStrides
  // Grid voxels of the current VOI that held each earlier label, and which labels.
  std::vector<std::size_t> overlaps_;
  std::vector<std::uint16_t> overlapping_;
  std::vector<Overlap> pairs_; // every pair of VOIs that share grid voxels
  std::size_t sharedVoxels_ = 0;
  std::uint16_t label_ = 0;
  std::string failure_;
};

} // namespace

std::string namedGridList() { return "mni152-1mm, mni152-2mm, tal-1mm"; }

std::optional<NiftiGrid> namedGrid(std::string_view name) {
  if (name == "mni152-1mm")
    return makeNamedGrid("mni152-1mm", {182, 218, 182}, 1.0, {90, -126, -72}, true, NIFTI_XFORM_MNI_152);
  if (name == "mni152-2mm")
    return makeNamedGrid("mni152-2mm", {91, 109, 91}, 2.0, {90, -126, -72}, true, NIFTI_XFORM_MNI_152);
  if (name == "tal-1mm")
    return makeNamedGrid("tal-1mm", {256, 256, 256}, 1.0, {-128, -128, -128}, false, NIFTI_XFORM_TALAIRACH);
  return std::nullopt;
}

std::optional<NiftiGrid> gridOfImage(const std::string& path, std::string& error) {
  nifti_set_debug_level(0);
  std::unique_ptr<nifti_image, void (*)(nifti_image*)> image(nifti_image_read(path.c_str(), 0),
                                                             nifti_image_free);
  if (!image) {
    error = quoted(path) + " does not read as a NIfTI-1 image";
    return std::nullopt;
  }
  const nifti_image& nim = *image;
  if (nim.nx < 1 || nim.ny < 1 || nim.nz < 1) {
    error = quoted(path) + " has no voxels";
    return std::nullopt;
  }
  const bool useSform = nim.sform_code > 0;
  if (!useSform && nim.qform_code <= 0) {
    error = quoted(path) + " has neither an sform nor a qform, so its voxels lie nowhere in millimetres";
    return std::nullopt;
  }
  NiftiGrid grid;
  grid.name = path;
  grid.size = {nim.nx, nim.ny, nim.nz};
  const mat44& toWorld = useSform ? nim.sto_xyz : nim.qto_xyz;
  for (std::size_t r = 0; r < 3; ++r) {
    for (std::size_t c = 0; c < 4; ++c)
      grid.toWorld[r][c] = toWorld.m[r][c];
  }
  grid.sformCode = useSform ? nim.sform_code : nim.qform_code;
  grid.qformGiven = nim.qform_code > 0;
  grid.qformCode = nim.qform_code > 0 ? nim.qform_code : grid.sformCode;
  grid.quatern = {nim.quatern_b, nim.quatern_c, nim.quatern_d};
  grid.qoffset = {nim.qoffset_x, nim.qoffset_y, nim.qoffset_z};
  grid.spacing = {nim.dx, nim.dy, nim.dz};
  grid.qfac = nim.qfac;
  return grid;
}

std::optional<NiftiGrid> resolveGrid(const std::string& grid, std::string& error) {
  if (std::optional<NiftiGrid> named = namedGrid(grid)) return named;
  if (isNiftiPath(grid)) return gridOfImage(grid, error);
  error = quoted(grid) + " is neither a grid name (" + namedGridList() + ") nor a .nii or .nii.gz image";
  return std::nullopt;
}

std::string defaultGridName(std::string_view referenceSpace) {
  return referenceSpace == "MNI" ? "mni152-1mm" : "tal-1mm";
}

bool isNiftiPath(std::string_view path) {
  return (path.size() > kNii.size() && path.ends_with(kNii)) ||
         (path.size() > kNiiGz.size() && path.ends_with(kNiiGz));
}

std::string labelTablePath(std::string_view imagePath) {
  const std::size_t suffix = imagePath.ends_with(kNiiGz) ? kNiiGz.size() : kNii.size();
  return std::string(imagePath.substr(0, imagePath.size() - suffix)) + ".tsv";
}

NiftiOutcome writeNiftiImage(const NiftiRequest& request) noexcept {
  try {
    ImageSink sink(request);
    if (std::string error = streamVoiFile(request.voiPath, sink); !error.empty()) {
      NiftiOutcome outcome;
      outcome.error =
          quoted(request.voiPath) + " does not read back as a VOI file: " + error + "; nothing was written";
      return outcome;
    }
    return sink.finish();
  } catch (...) {
    NiftiOutcome outcome;
    outcome.error = "not enough memory for the image; nothing was written";
    return outcome;
  }
}

} // namespace orbiculon::exporting
