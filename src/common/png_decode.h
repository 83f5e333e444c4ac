// PNG decoding for the pictures the program shows. Portable: no window-system
// types here; the Windows side turns the result into a DIB with ToDibRows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace velmora::common {

// Largest width or height accepted by DecodePng.
inline constexpr std::uint32_t kMaxPngDimension = 4096;

// A decoded picture: rows top to bottom, each pixel three bytes R, G, B,
// rows tightly packed (rgb.size() == width * height * 3).
struct RgbImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgb;
};

struct PngResult {
  std::optional<RgbImage> image;  // set exactly when decoding succeeded
  std::string_view error;         // on failure: a short static English reason
};

// Decodes a complete PNG file held in memory, of the one kind the program's
// picture is (tools/gen_schematic writes it): 8-bit RGB, not interlaced,
// every row unfiltered, the chunks IHDR, one IDAT, IEND and nothing between
// them; width and height 1..kMaxPngDimension. Anything else is refused.
// Checked: signature, chunk framing and every chunk CRC, the chunk order,
// filter bytes 0, the IDAT decompressing to exactly the image size. Bytes
// after IEND are ignored.
// Memory use grows with the data actually decompressed, never with the
// dimensions claimed by the header alone. Never throws.
PngResult DecodePng(std::span<const std::uint8_t> data) noexcept;

// Bytes per row of a 24-bit Windows DIB of the given width (rows padded to a
// multiple of four bytes).
std::size_t DibStride(std::uint32_t width) noexcept;

// The pixels of image as 24-bit DIB rows: B, G, R per pixel, each row padded
// with zeros to DibStride(width); bottom row first when bottomUp (a DIB with
// positive height), top row first otherwise. Empty if memory runs out.
std::vector<std::uint8_t> ToDibRows(const RgbImage& image, bool bottomUp) noexcept;

}  // namespace velmora::common
