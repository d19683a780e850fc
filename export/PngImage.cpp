#include "export/PngImage.h"

#include <png.h>

#include <cstring>

namespace orbiculon::exporting {

std::string encodePng(std::uint32_t width, std::uint32_t height, PixelFormat format,
                      std::span<const std::uint8_t> pixels, std::string& error) {
  const std::size_t channels = format == PixelFormat::Rgba ? 4 : 2;
  if (width == 0 || height == 0 || pixels.size() != std::size_t{width} * height * channels) {
    error = "the pixels do not fill a " + std::to_string(width) + " x " + std::to_string(height) + " image";
    return "";
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = format == PixelFormat::Rgba ? PNG_FORMAT_RGBA : PNG_FORMAT_GA;
  // The first call measures, the second writes into a buffer of that size.
  png_alloc_size_t size = 0;
  if (png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr) != 0) {
    std::string png(size, '\0');
    if (png_image_write_to_memory(&image, png.data(), &size, 0, pixels.data(), 0, nullptr) != 0) {
      png.resize(size);
      return png;
    }
  }
  error = std::string("libpng: ") + image.message;
  png_image_free(&image);
  return "";
}

std::string pngDataUri(const std::string& png) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string uri = "data:image/png;base64,";
  uri.reserve(uri.size() + (png.size() + 2) / 3 * 4);
  std::size_t at = 0;
  for (; at + 3 <= png.size(); at += 3) {
    const auto group = static_cast<std::uint32_t>(static_cast<unsigned char>(png[at]) << 16 |
                                                  static_cast<unsigned char>(png[at + 1]) << 8 |
                                                  static_cast<unsigned char>(png[at + 2]));
    for (int shift = 18; shift >= 0; shift -= 6)
      uri += kDigits[(group >> shift) & 63u];
  }
  if (const std::size_t rest = png.size() - at; rest > 0) {
    std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(png[at]) << 16);
    if (rest == 2) group |= static_cast<std::uint32_t>(static_cast<unsigned char>(png[at + 1]) << 8);
    uri += kDigits[(group >> 18) & 63u];
    uri += kDigits[(group >> 12) & 63u];
    uri += rest == 2 ? kDigits[(group >> 6) & 63u] : '=';
    uri += '=';
  }
  return uri;
}

} // namespace orbiculon::exporting
