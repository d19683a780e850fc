#pragma once

// PNG images written with libpng, for the raster parts of a picture.

#include <cstdint>
#include <span>
#include <string>

namespace orbiculon::exporting {

// The formats of 8-bit pixel rows a picture embeds.
enum class PixelFormat { GreyAlpha, Rgba };

// Encodes `pixels` (rows top to bottom, `width` pixels each, 2 or 4 bytes per pixel
// as `format` says) as a PNG file in memory. Returns "" when libpng refuses, with
// `error` set to its reason.
std::string encodePng(std::uint32_t width, std::uint32_t height, PixelFormat format,
                      std::span<const std::uint8_t> pixels, std::string& error);

// "data:image/png;base64,..." for the PNG bytes.
std::string pngDataUri(const std::string& png);

} // namespace orbiculon::exporting
