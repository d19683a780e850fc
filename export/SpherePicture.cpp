#include "export/SpherePicture.h"

#include <nifti1_io.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string_view>

#include "coords/CoordinateList.h"
#include "export/PngImage.h"
#include "export/VoiStream.h"

namespace orbiculon::exporting {

namespace {

// The spaces' 1 mm grids in world millimetres: MNI152 maps voxel (i, j, k) to
// (90 - i, j - 126, k - 72) over 182 x 218 x 182 voxels, TAL to (i - 128, j - 128,
// k - 128) over 256 cubed.
constexpr MillimetreBox kMniGrid{{-91, -126, -72}, {90, 91, 109}};
constexpr MillimetreBox kTalGrid{{-128, -128, -128}, {127, 127, 127}};
// The largest radius cleaning leaves a line.
constexpr float kLargestRadius = 20.0f;
// Volumes larger than this many voxels are not read as an underlay.
constexpr std::size_t kUnderlayVoxelLimit = std::size_t{512} * 512 * 512;
// An underlay reaches at most this far along each world axis, in millimetres: a head
// fits many times over, and the frames and their pictures stay small.
constexpr double kUnderlayReach = 1000;

// Layout of the picture, in SVG pixels.
constexpr double kMaximumWidth = 1600;
constexpr double kMaximumHeight = 900;
constexpr double kMargin = 24;
constexpr double kGap = 48;
constexpr double kTitleBaseline = 24;
constexpr double kViewTitleBaseline = 52;
constexpr double kViewsTop = 64;
constexpr double kBelowViews = 64; // labels under the views and the scale bar
constexpr double kLegendRow = 18;
constexpr std::size_t kLegendColumns = 4;
constexpr std::size_t kLegendRows = 10;
constexpr std::size_t kLegendEntries = kLegendColumns * kLegendRows;
constexpr double kLegendHeight = (kLegendRows + 1) * kLegendRow;
constexpr double kBottomMargin = 12;
constexpr double kLargestScale = 4;
constexpr int kScaleBarMillimetres = 50;
// Voxels outside the frame are listed for this many VOIs, then counted.
constexpr std::size_t kListedOutsideVois = 20;

// One view: the world axis drawn across (increasing to the right), the one drawn up
// (increasing upwards), the one projected away, and the labels of its four sides.
struct View {
  int across;
  int up;
  int depth;
  const char* name;
  const char* title;
  const char* left;
  const char* right;
  const char* top;
  const char* bottom;
};
// x grows towards the subject's right, y towards anterior, z towards superior, so the
// subject's left is on the picture's left, superior and anterior are up, and anterior
// is to the right in the sagittal view.
constexpr std::array<View, 3> kViews{{{1, 2, 0, "sagittal", "Sagittal", "P", "A", "S", "I"},
                                      {0, 2, 1, "coronal", "Coronal", "L", "R", "S", "I"},
                                      {0, 1, 2, "axial", "Axial", "L", "R", "A", "P"}}};

int extent(const MillimetreBox& box, int axis) {
  const auto a = static_cast<std::size_t>(axis);
  return box.high[a] - box.low[a] + 1;
}

MillimetreBox unite(const MillimetreBox& a, const MillimetreBox& b) {
  MillimetreBox united;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    united.low[axis] = std::min(a.low[axis], b.low[axis]);
    united.high[axis] = std::max(a.high[axis], b.high[axis]);
  }
  return united;
}

// A number for the SVG text, in the classic notation whatever the locale.
std::string number(double value) {
  std::array<char, 32> text{};
  const auto [end, error] =
      std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, 2);
  std::string result(text.data(), error == std::errc() ? end : text.data());
  while (result.find('.') != std::string::npos && (result.back() == '0' || result.back() == '.'))
    result.pop_back();
  return result;
}

// Text of a VOI file (8-bit, any encoding) as XML character data of at most
// `maxCharacters` characters: valid UTF-8 stays, other bytes are read as Latin-1,
// control characters become "?" (XML cannot hold them), markup characters are
// escaped, and a longer text is cut with "...".
std::string xmlText(std::string_view bytes, std::size_t maxCharacters) {
  std::string text;
  std::size_t characters = 0;
  for (std::size_t at = 0; at < bytes.size(); ++characters) {
    if (characters == maxCharacters) {
      text += "...";
      break;
    }
    const auto byte = static_cast<unsigned char>(bytes[at]);
    std::size_t length = byte < 0x80                   ? 1
                         : byte >= 0xC2 && byte < 0xE0 ? 2
                         : byte >= 0xE0 && byte < 0xF0 ? 3
                                                       : 4;
    if (byte >= 0x80) {
      bool valid = byte >= 0xC2 && byte < 0xF5 && at + length <= bytes.size();
      for (std::size_t next = 1; valid && next < length; ++next)
        valid = (static_cast<unsigned char>(bytes[at + next]) & 0xC0) == 0x80;
      if (valid) {
        text.append(bytes.substr(at, length));
      } else {
        text += "&#" + std::to_string(byte) + ";";
        length = 1;
      }
      at += length;
      continue;
    }
    switch (byte) {
    case '&':
      text += "&amp;";
      break;
    case '<':
      text += "&lt;";
      break;
    case '>':
      text += "&gt;";
      break;
    case '"':
      text += "&quot;";
      break;
    default:
      text += byte < 0x20 || byte == 0x7F ? '?' : static_cast<char>(byte);
    }
    ++at;
  }
  return text;
}

std::uint8_t colourChannel(std::int32_t value) {
  return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

std::string hexColour(const std::array<std::uint8_t, 3>& colour) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text = "#";
  for (const std::uint8_t channel : colour) {
    text += kHex[channel >> 4];
    text += kHex[channel & 15];
  }
  return text;
}

// The VOIs' maximum projections: each pixel holds the 1-based index of the VOI drawn
// there (0: none), the later VOI of the file covering the earlier one.
class ProjectionSink final : public VoiSink {
public:
  explicit ProjectionSink(const Underlay* underlay) : underlay_(underlay) {}

  void header(const VoiStreamHeader& header) override {
    if (header.referenceSpace != "TAL" && header.referenceSpace != "MNI") {
      spaceError_ = "the VOI file's reference space \"" + xmlText(header.referenceSpace, 40) +
                    "\" is neither TAL nor MNI, so the picture has no frame for it";
      return;
    }
    isMni_ = header.referenceSpace == "MNI";
    frame_ = spaceFrame(isMni_);
    if (underlay_ != nullptr) frame_ = unite(frame_, underlay_->box());
    for (std::size_t view = 0; view < kViews.size(); ++view) {
      const auto pixels = static_cast<std::size_t>(extent(frame_, kViews[view].across)) *
                          static_cast<std::size_t>(extent(frame_, kViews[view].up));
      projections_[view].assign(pixels, 0);
    }
  }

  void beginVoi(std::size_t index, std::string_view name, std::array<std::int32_t, 3> colour) override {
    colours_.push_back({colourChannel(colour[0]), colourChannel(colour[1]), colourChannel(colour[2])});
    currentName_ = name;
    if (index < kLegendEntries) names_.emplace_back(name);
    outside_ = 0;
  }

  void voxels(std::span<const Voxel> batch) override {
    if (!spaceError_.empty()) return;
    const auto label = static_cast<std::uint32_t>(colours_.size());
    for (const Voxel& voxel : batch) {
      bool inside = true;
      for (std::size_t axis = 0; axis < 3; ++axis)
        inside = inside && voxel[axis] >= frame_.low[axis] && voxel[axis] <= frame_.high[axis];
      if (!inside) {
        ++outside_;
        continue;
      }
      for (std::size_t view = 0; view < kViews.size(); ++view)
        projections_[view][pixel(view, voxel)] = label;
    }
    voxelCount_ += batch.size();
  }

  void endVoi() override {
    if (outside_ == 0) return;
    ++outsideVois_;
    outsideVoxels_ += outside_;
    if (outsideVois_ <= kListedOutsideVois) {
      notes_.push_back(std::to_string(outside_) + " voxels of VOI " + std::to_string(colours_.size()) +
                       " \"" + names_[colours_.size() - 1] +
                       "\" lie outside the picture's frame and are not drawn");
    }
  }

  // What is left out, once the whole file is read.
  std::vector<std::string> notes() const {
    std::vector<std::string> all = notes_;
    if (outsideVois_ > kListedOutsideVois) {
      all.push_back("and " + std::to_string(outsideVois_ - kListedOutsideVois) +
                    " more VOIs with voxels outside the frame (" + std::to_string(outsideVoxels_) +
                    " voxels in all)");
    }
    return all;
  }

  std::size_t pixel(std::size_t view, const Voxel& voxel) const {
    const View& v = kViews[view];
    const auto column = static_cast<std::size_t>(voxel[static_cast<std::size_t>(v.across)] -
                                                 frame_.low[static_cast<std::size_t>(v.across)]);
    const auto row = static_cast<std::size_t>(frame_.high[static_cast<std::size_t>(v.up)] -
                                              voxel[static_cast<std::size_t>(v.up)]);
    return row * static_cast<std::size_t>(extent(frame_, v.across)) + column;
  }

  const Underlay* underlay_;
  std::string spaceError_;
  bool isMni_ = false;
  MillimetreBox frame_;
  std::array<std::vector<std::uint32_t>, 3> projections_;
  std::vector<std::array<std::uint8_t, 3>> colours_;
  std::vector<std::string> names_; // those the legend shows
  std::string currentName_;
  std::size_t voxelCount_ = 0;
  std::size_t outside_ = 0;
  std::size_t outsideVois_ = 0;
  std::size_t outsideVoxels_ = 0;
  std::vector<std::string> notes_;
};

// Where a view lies in the picture and how large a millimetre is drawn.
struct Layout {
  double scale = 1;
  double width = 0;
  double height = 0;
  std::array<double, 3> left{};
  double viewsBottom = 0;
};

Layout layOut(const MillimetreBox& frame) {
  double across = 0;
  double tallest = 0;
  for (const View& view : kViews) {
    across += extent(frame, view.across);
    tallest = std::max(tallest, static_cast<double>(extent(frame, view.up)));
  }
  Layout layout;
  const double byWidth = (kMaximumWidth - 2 * kMargin - 2 * kGap) / across;
  const double byHeight =
      (kMaximumHeight - kViewsTop - kBelowViews - kLegendHeight - kBottomMargin) / tallest;
  // Scales in steps of 0.05, so that a millimetre is drawn the same in every picture
  // of a frame and positions stay short numbers.
  layout.scale = std::min(kLargestScale, std::floor(std::min(byWidth, byHeight) * 20) / 20);
  double left = kMargin;
  for (std::size_t view = 0; view < kViews.size(); ++view) {
    layout.left[view] = left;
    left += extent(frame, kViews[view].across) * layout.scale + kGap;
  }
  layout.width = std::ceil(left - kGap + kMargin);
  layout.viewsBottom = kViewsTop + tallest * layout.scale;
  layout.height = std::ceil(layout.viewsBottom + kBelowViews + kLegendHeight + kBottomMargin);
  return layout;
}

class SvgWriter {
public:
  std::string svg;

  void text(double x, double y, std::string_view content, std::string_view attributes = "") {
    svg += "<text x=\"" + number(x) + "\" y=\"" + number(y) + "\"";
    if (!attributes.empty()) svg.append(" ").append(attributes);
    svg.append(">").append(content).append("</text>\n");
  }
  void line(double x1, double y1, double x2, double y2, std::string_view attributes) {
    svg += "<line x1=\"" + number(x1) + "\" y1=\"" + number(y1) + "\" x2=\"" + number(x2) + "\" y2=\"" +
           number(y2) + "\" " + std::string(attributes) + "/>\n";
  }
  void rect(double x, double y, double width, double height, std::string_view attributes) {
    svg += "<rect x=\"" + number(x) + "\" y=\"" + number(y) + "\" width=\"" + number(width) + "\" height=\"" +
           number(height) + "\" " + std::string(attributes) + "/>\n";
  }
  void image(double x, double y, double width, double height, const std::string& png, std::string_view kind) {
    svg += "<image class=\"" + std::string(kind) + "\" x=\"" + number(x) + "\" y=\"" + number(y) +
           "\" width=\"" + number(width) + "\" height=\"" + number(height) +
           "\" preserveAspectRatio=\"none\" style=\"image-rendering:pixelated\" xlink:href=\"" +
           pngDataUri(png) + "\"/>\n";
  }
};

// Grey for an underlay value: light where the image is faint, dark where it is
// bright; nothing where it is zero.
std::vector<std::uint8_t> greyPixels(const std::vector<float>& values, float brightest) {
  std::vector<std::uint8_t> pixels(values.size() * 2, 0);
  for (std::size_t at = 0; at < values.size(); ++at) {
    if (!(values[at] > 0)) continue;
    const float level = std::min(values[at] / brightest, 1.0f);
    pixels[2 * at] = static_cast<std::uint8_t>(std::lround(225.0f - 125.0f * level));
    pixels[2 * at + 1] = 255;
  }
  return pixels;
}

// The value the underlay's greys reach their darkest at: the 99th percentile of the
// projections' positive values, so that a few bright voxels do not wash the rest out.
float brightestValue(const std::array<std::vector<float>, 3>& projections) {
  std::vector<float> positive;
  for (const auto& projection : projections)
    std::copy_if(projection.begin(), projection.end(), std::back_inserter(positive),
                 [](float value) { return value > 0; });
  if (positive.empty()) return 1;
  const auto at = positive.begin() + static_cast<std::ptrdiff_t>(positive.size() * 99 / 100);
  std::nth_element(positive.begin(), at, positive.end());
  return *at;
}

} // namespace

MillimetreBox spaceFrame(bool isMni) {
  const SpaceBounds& bounds = isMni ? kMniBounds : kTalBounds;
  MillimetreBox reach;
  for (std::size_t axis = 0; axis < 3; ++axis) {
    reach.low[axis] = static_cast<int>(std::floor(bounds.low[axis] - kLargestRadius));
    reach.high[axis] = static_cast<int>(std::ceil(bounds.high[axis] + kLargestRadius));
  }
  return unite(isMni ? kMniGrid : kTalGrid, reach);
}

bool Underlay::read(const std::string& path, std::string& error) {
  std::error_code status;
  if (!std::filesystem::is_regular_file(path, status)) {
    error = "\"" + path + "\" is no file";
    return false;
  }
  if (!path.ends_with(".nii") && !path.ends_with(".nii.gz")) {
    error = "\"" + path + "\" is no NIfTI image (.nii or .nii.gz)";
    return false;
  }
  nifti_set_debug_level(0);
  // The header first: the size is checked before any voxel is read.
  nifti_image* header = nifti_image_read(path.c_str(), 0);
  if (header == nullptr) {
    error = "\"" + path + "\" cannot be read as a NIfTI image";
    return false;
  }
  const std::array<std::int64_t, 3> dims{header->nx, header->ny, header->nz};
  const bool hasSform = header->sform_code > 0;
  const bool hasQform = header->qform_code > 0;
  const mat44 toWorld = hasSform ? header->sto_xyz : header->qto_xyz;
  const int bytesPerVoxel = header->nbyper;
  nifti_image_free(header);
  std::size_t voxels = 1;
  for (const std::int64_t dim : dims) {
    if (dim < 1) {
      error = "\"" + path + "\" holds no three-dimensional image";
      return false;
    }
    voxels *= static_cast<std::size_t>(dim);
  }
  if (voxels > kUnderlayVoxelLimit) {
    error = "\"" + path + "\" has " + std::to_string(voxels) +
            " voxels per volume; an underlay may have at most " + std::to_string(kUnderlayVoxelLimit);
    return false;
  }
  if (!hasSform && !hasQform) {
    error = "\"" + path + "\" has neither an sform nor a qform, so where its voxels lie is unknown";
    return false;
  }
  // Where the image lies: the box around its corner voxels. A transform that is not
  // invertible or reaches absurdly far is refused before any voxel is read.
  std::array<double, 3> low{};
  std::array<double, 3> high{};
  low.fill(std::numeric_limits<double>::infinity());
  high.fill(-std::numeric_limits<double>::infinity());
  for (unsigned corner = 0; corner < 8; ++corner) {
    for (std::size_t axis = 0; axis < 3; ++axis) {
      const auto* row = toWorld.m[axis];
      double world = row[3];
      for (std::size_t along = 0; along < 3; ++along)
        world += (corner >> along & 1u) != 0 ? row[along] * static_cast<double>(dims[along] - 1) : 0.0;
      low[axis] = std::min(low[axis], world);
      high[axis] = std::max(high[axis], world);
    }
  }
  const auto& m = toWorld.m;
  const double determinant = double{m[0][0]} * (double{m[1][1]} * m[2][2] - double{m[1][2]} * m[2][1]) -
                             double{m[0][1]} * (double{m[1][0]} * m[2][2] - double{m[1][2]} * m[2][0]) +
                             double{m[0][2]} * (double{m[1][0]} * m[2][1] - double{m[1][1]} * m[2][0]);
  if (!(std::abs(determinant) > 1e-9)) {
    error = "the sform (or qform) of \"" + path + "\" maps its voxels onto a plane or a line";
    return false;
  }
  for (std::size_t axis = 0; axis < 3; ++axis) {
    if (!std::isfinite(low[axis]) || !std::isfinite(high[axis]) || high[axis] - low[axis] > kUnderlayReach ||
        std::abs(low[axis]) > kUnderlayReach || std::abs(high[axis]) > kUnderlayReach) {
      error = "the sform (or qform) of \"" + path + "\" does not place the image within " +
              number(kUnderlayReach) + " mm of the origin";
      return false;
    }
    box_.low[axis] = static_cast<int>(std::floor(low[axis]));
    box_.high[axis] = static_cast<int>(std::ceil(high[axis]));
  }

  // Only the first volume is read.
  int first = 0;
  nifti_brick_list bricks{};
  nifti_image* image = nifti_image_read_bricks(path.c_str(), 1, &first, &bricks);
  if (image == nullptr || bricks.nbricks != 1 || bricks.bricks == nullptr || image->nbyper != bytesPerVoxel ||
      bricks.bsize < voxels * static_cast<std::size_t>(bytesPerVoxel)) {
    if (bricks.bricks != nullptr) nifti_free_NBL(&bricks);
    if (image != nullptr) nifti_image_free(image);
    error = "the voxels of \"" + path + "\" cannot be read";
    return false;
  }
  values_.assign(voxels, 0.0f);
  const void* data = bricks.bricks[0];
  const auto convert = [&]<typename T>(const T*) {
    const T* typed = static_cast<const T*>(data);
    for (std::size_t at = 0; at < voxels; ++at)
      values_[at] = static_cast<float>(typed[at]);
  };
  bool known = true;
  switch (image->datatype) {
  case DT_UINT8:
    convert(static_cast<const std::uint8_t*>(nullptr));
    break;
  case DT_INT8:
    convert(static_cast<const std::int8_t*>(nullptr));
    break;
  case DT_INT16:
    convert(static_cast<const std::int16_t*>(nullptr));
    break;
  case DT_UINT16:
    convert(static_cast<const std::uint16_t*>(nullptr));
    break;
  case DT_INT32:
    convert(static_cast<const std::int32_t*>(nullptr));
    break;
  case DT_UINT32:
    convert(static_cast<const std::uint32_t*>(nullptr));
    break;
  case DT_INT64:
    convert(static_cast<const std::int64_t*>(nullptr));
    break;
  case DT_UINT64:
    convert(static_cast<const std::uint64_t*>(nullptr));
    break;
  case DT_FLOAT32:
    convert(static_cast<const float*>(nullptr));
    break;
  case DT_FLOAT64:
    convert(static_cast<const double*>(nullptr));
    break;
  default:
    known = false;
  }
  const float slope = image->scl_slope;
  const float intercept = image->scl_inter;
  const std::string typeName = nifti_datatype_string(image->datatype);
  nifti_free_NBL(&bricks);
  nifti_image_free(image);
  if (!known) {
    values_.clear();
    error = "\"" + path + "\" holds voxels of type " + typeName + "; an underlay holds numbers";
    return false;
  }
  // Stored values are scaled when the header says so; what is not a number is blank.
  const bool scaled = slope != 0.0f && std::isfinite(slope) && std::isfinite(intercept);
  for (float& value : values_) {
    if (scaled) value = value * slope + intercept;
    if (!std::isfinite(value)) value = 0.0f;
  }

  const mat44 toVoxel = nifti_mat44_inverse(toWorld);
  for (std::size_t row = 0; row < 3; ++row) {
    for (std::size_t column = 0; column < 4; ++column) {
      toWorld_[row][column] = toWorld.m[row][column];
      toVoxel_[row][column] = toVoxel.m[row][column];
    }
  }
  for (std::size_t axis = 0; axis < 3; ++axis)
    size_[axis] = static_cast<std::size_t>(dims[axis]);
  return true;
}

MillimetreBox Underlay::box() const { return box_; }

std::vector<float> Underlay::maximumProjection(const MillimetreBox& frame, int depth) const {
  const auto d = static_cast<std::size_t>(depth);
  const std::size_t a = d == 0 ? 1 : 0;
  const std::size_t b = d == 2 ? 1 : 2;
  const auto width = static_cast<std::size_t>(extent(frame, static_cast<int>(a)));
  const auto height = static_cast<std::size_t>(extent(frame, static_cast<int>(b)));
  std::vector<float> projection(width * height, 0.0f);
  // Each world point of the 1 mm grid takes the value of the voxel nearest to it.
  for (std::size_t row = 0; row < height; ++row) {
    for (std::size_t column = 0; column < width; ++column) {
      std::array<double, 3> world{};
      world[a] = frame.low[a] + static_cast<double>(column);
      world[b] = frame.low[b] + static_cast<double>(row);
      float best = 0.0f;
      for (int along = frame.low[d]; along <= frame.high[d]; ++along) {
        world[d] = along;
        std::size_t index = 0;
        std::size_t stride = 1;
        bool inside = true;
        for (std::size_t axis = 0; axis < 3 && inside; ++axis) {
          const auto& m = toVoxel_[axis];
          const double voxel = std::floor(m[0] * world[0] + m[1] * world[1] + m[2] * world[2] + m[3] + 0.5);
          inside = voxel >= 0 && voxel < static_cast<double>(size_[axis]);
          if (inside) index += static_cast<std::size_t>(voxel) * stride;
          stride *= size_[axis];
        }
        if (inside) best = std::max(best, values_[index]);
      }
      projection[row * width + column] = best;
    }
  }
  return projection;
}

PictureResult drawSpherePicture(const std::string& voiPath, const Underlay* underlay,
                                const std::string& title) {
  PictureResult result;
  ProjectionSink sink(underlay);
  if (std::string error = streamVoiFile(voiPath, sink); !error.empty()) {
    result.error = "\"" + voiPath + "\" does not read back as a VOI file: " + error;
    return result;
  }
  if (!sink.spaceError_.empty()) {
    result.error = sink.spaceError_;
    return result;
  }
  const MillimetreBox& frame = sink.frame_;
  const Layout layout = layOut(frame);
  const double s = layout.scale;

  SvgWriter out;
  out.svg =
      "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"" +
      number(layout.width) + "\" height=\"" + number(layout.height) + "\" viewBox=\"0 0 " +
      number(layout.width) + " " + number(layout.height) +
      "\" font-family=\"sans-serif\" font-size=\"13\" class=\"sphere-picture\">\n";
  out.rect(0, 0, layout.width, layout.height, "fill=\"#ffffff\"");
  const std::size_t voiCount = sink.colours_.size();
  out.text(kMargin, kTitleBaseline,
           xmlText(title, 80) + ": " + std::to_string(voiCount) + (voiCount == 1 ? " VOI, " : " VOIs, ") +
               std::to_string(sink.voxelCount_) + " voxels, " + (sink.isMni_ ? "MNI" : "TAL") + " space" +
               (underlay != nullptr ? "" : "; dashed: the coordinate bounds of the space"),
           "font-size=\"15\"");

  std::array<std::vector<float>, 3> grey;
  float brightest = 1;
  if (underlay != nullptr) {
    for (std::size_t view = 0; view < kViews.size(); ++view)
      grey[view] = underlay->maximumProjection(frame, kViews[view].depth);
    brightest = brightestValue(grey);
  }
  const SpaceBounds& bounds = sink.isMni_ ? kMniBounds : kTalBounds;
  for (std::size_t view = 0; view < kViews.size(); ++view) {
    const View& v = kViews[view];
    const auto across = static_cast<std::size_t>(v.across);
    const auto up = static_cast<std::size_t>(v.up);
    const int columns = extent(frame, v.across);
    const int rows = extent(frame, v.up);
    const double x0 = layout.left[view];
    const double width = columns * s;
    const double height = rows * s;
    // Screen position of the centre of a millimetre along the view's axes.
    const auto xOf = [&](double mm) { return x0 + (mm - frame.low[across] + 0.5) * s; };
    const auto yOf = [&](double mm) { return kViewsTop + (frame.high[up] - mm + 0.5) * s; };

    out.svg += std::string("<g class=\"view\" data-view=\"") + v.name + "\">\n";
    out.text(x0, kViewTitleBaseline, v.title, "font-weight=\"bold\"");
    out.rect(x0, kViewsTop, width, height, "class=\"frame\" fill=\"none\" stroke=\"#b0b0b0\"");
    std::string error;
    if (underlay != nullptr) {
      // The projection's rows run upwards; the image's downwards.
      std::vector<float> flipped(grey[view].size());
      const auto w = static_cast<std::size_t>(columns);
      for (std::size_t row = 0; row < static_cast<std::size_t>(rows); ++row)
        std::copy_n(grey[view].begin() +
                        static_cast<std::ptrdiff_t>((static_cast<std::size_t>(rows) - 1 - row) * w),
                    w, flipped.begin() + static_cast<std::ptrdiff_t>(row * w));
      const std::string png = encodePng(static_cast<std::uint32_t>(columns), static_cast<std::uint32_t>(rows),
                                        PixelFormat::GreyAlpha, greyPixels(flipped, brightest), error);
      if (png.empty()) {
        result.error = "the underlay's projection cannot be encoded: " + error;
        return result;
      }
      out.image(x0, kViewsTop, width, height, png, "underlay");
    } else {
      out.rect(xOf(bounds.low[across]), yOf(bounds.high[up]), (bounds.high[across] - bounds.low[across]) * s,
               (bounds.high[up] - bounds.low[up]) * s,
               "class=\"bounds\" fill=\"none\" stroke=\"#4a7fb0\" stroke-dasharray=\"6 4\"");
    }
    // The origin's lines.
    const char* originStyle = "stroke=\"#9db8d0\" stroke-width=\"0.75\"";
    out.line(xOf(0), kViewsTop, xOf(0), kViewsTop + height, originStyle);
    out.line(x0, yOf(0), x0 + width, yOf(0), originStyle);

    std::vector<std::uint8_t> rgba(sink.projections_[view].size() * 4, 0);
    for (std::size_t at = 0; at < sink.projections_[view].size(); ++at) {
      const std::uint32_t label = sink.projections_[view][at];
      if (label == 0) continue;
      const auto& colour = sink.colours_[label - 1];
      std::copy(colour.begin(), colour.end(), rgba.begin() + static_cast<std::ptrdiff_t>(4 * at));
      rgba[4 * at + 3] = 255;
    }
    const std::string png = encodePng(static_cast<std::uint32_t>(columns), static_cast<std::uint32_t>(rows),
                                      PixelFormat::Rgba, rgba, error);
    if (png.empty()) {
      result.error = "the VOIs' projection cannot be encoded: " + error;
      return result;
    }
    out.image(x0, kViewsTop, width, height, png, "vois");

    const double middle = kViewsTop + height / 2 + 5;
    out.text(x0 - 6, middle, v.left, "text-anchor=\"end\" font-weight=\"bold\"");
    out.text(x0 + width + 6, middle, v.right, "font-weight=\"bold\"");
    out.text(x0 + width / 2, kViewsTop - 6, v.top, "text-anchor=\"middle\" font-weight=\"bold\"");
    out.text(x0 + width / 2, kViewsTop + height + 16, v.bottom,
             "text-anchor=\"middle\" font-weight=\"bold\"");
    out.svg += "</g>\n";
  }

  // The millimetre scale, under the first view.
  const double barY = layout.viewsBottom + 40;
  const double barLength = kScaleBarMillimetres * s;
  const char* barStyle = "stroke=\"#333333\" stroke-width=\"2\"";
  out.line(kMargin, barY, kMargin + barLength, barY, barStyle);
  out.line(kMargin, barY - 5, kMargin, barY + 5, barStyle);
  out.line(kMargin + barLength, barY - 5, kMargin + barLength, barY + 5, barStyle);
  out.text(kMargin + barLength + 8, barY + 5, std::to_string(kScaleBarMillimetres) + " mm");

  // The legend, column by column; the later of two overlapping VOIs is drawn on top.
  const double legendTop = layout.viewsBottom + kBelowViews + 14;
  const double columnWidth = (layout.width - 2 * kMargin) / kLegendColumns;
  const auto nameLength = static_cast<std::size_t>((columnWidth - 26) / 7.5);
  out.svg += "<g class=\"legend\">\n";
  for (std::size_t index = 0; index < std::min(voiCount, kLegendEntries); ++index) {
    const double x = kMargin + static_cast<double>(index / kLegendRows) * columnWidth;
    const double y = legendTop + static_cast<double>(index % kLegendRows) * kLegendRow;
    out.rect(x, y - 11, 13, 13, "fill=\"" + hexColour(sink.colours_[index]) + "\" stroke=\"#555555\"");
    out.text(x + 19, y, xmlText(sink.names_[index], nameLength));
  }
  if (voiCount > kLegendEntries)
    out.text(kMargin, legendTop + kLegendRows * kLegendRow,
             "and " + std::to_string(voiCount - kLegendEntries) + " more");
  out.svg += "</g>\n</svg>\n";
  result.svg = std::move(out.svg);
  result.notes = sink.notes();
  return result;
}

} // namespace orbiculon::exporting
