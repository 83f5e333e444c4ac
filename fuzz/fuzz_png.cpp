// libFuzzer target: the PNG decoder must survive any input, and a success
// must describe a consistent image whose DIB conversion works.
//
// Each input is decoded twice: as given, and with every chunk CRC rewritten
// to match, so that mutations reach the header checks, the inflater and the
// row filters instead of stopping at the first CRC mismatch.
#include <zlib.h>

#include <cstdlib>
#include <vector>

#include "common/png_decode.h"

namespace {

using velmora::common::DecodePng;
using velmora::common::PngResult;
using velmora::common::RgbImage;

void CheckDecode(std::span<const std::uint8_t> png) {
  const PngResult r = DecodePng(png);
  if (!r.image) {
    if (r.error.empty()) std::abort();
    return;
  }
  const RgbImage& img = *r.image;
  if (!r.error.empty() || img.width == 0 || img.height == 0 ||
      img.width > velmora::common::kMaxPngDimension || img.height > velmora::common::kMaxPngDimension ||
      img.rgb.size() != std::size_t{img.width} * img.height * 3) {
    std::abort();
  }
  if (velmora::common::ToDibRows(img, true).size() != velmora::common::DibStride(img.width) * img.height) {
    std::abort();
  }
}

// Rewrites the CRC of every complete chunk after the 8-byte signature.
void FixCrcs(std::vector<std::uint8_t>& png) {
  std::size_t pos = 8;
  while (pos + 12 <= png.size()) {
    const std::size_t length = (std::size_t{png[pos]} << 24) | (std::size_t{png[pos + 1]} << 16) |
                               (std::size_t{png[pos + 2]} << 8) | png[pos + 3];
    if (length > png.size() - pos - 12) return;
    const uLong crc = crc32(0L, png.data() + pos + 4, static_cast<uInt>(length + 4));
    for (int k = 0; k < 4; ++k) {
      png[pos + 8 + length + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(crc >> (24 - 8 * k));
    }
    pos += 12 + length;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckDecode(std::span(data, size));
  std::vector<std::uint8_t> fixed(data, data + size);
  FixCrcs(fixed);
  CheckDecode(fixed);
  return 0;
}
