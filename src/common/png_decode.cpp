#include "common/png_decode.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace velmora::common {
namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFFu;
constexpr std::size_t kChunkOverhead = 12;  // length, type, CRC

std::uint32_t ReadBE32(const std::uint8_t* p) noexcept {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

bool IsChunkType(const std::uint8_t* type, const char (&name)[5]) noexcept {
  return std::memcmp(type, name, 4) == 0;
}

bool IsLetter(std::uint8_t c) noexcept { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Bit 5 of the first type byte clear (an upper-case letter) marks a chunk a
// decoder must understand.
bool IsCritical(const std::uint8_t* type) noexcept { return (type[0] & 0x20) == 0; }

struct Header {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::size_t channels = 0;  // bytes per pixel at bit depth 8
};

// Validates an IHDR body; returns an error text, empty when header is set.
std::string_view ParseHeader(std::span<const std::uint8_t> body, Header& header) noexcept {
  if (body.size() != 13) return "IHDR chunk has the wrong length";
  const std::uint32_t width = ReadBE32(body.data());
  const std::uint32_t height = ReadBE32(body.data() + 4);
  const std::uint8_t depth = body[8];
  const std::uint8_t colour = body[9];
  if (width == 0 || height == 0) return "image has no pixels";
  if (width > kMaxPngDimension || height > kMaxPngDimension) return "image too large";
  if (body[10] != 0 || body[11] != 0) return "unknown compression or filter method";
  if (body[12] == 1) return "interlaced images are not supported";
  if (body[12] != 0) return "unknown interlace method";
  if (depth != 8) return "only 8-bit samples are supported";
  std::size_t channels = 0;
  switch (colour) {
    case 0: channels = 1; break;
    case 2: channels = 3; break;
    case 6: channels = 4; break;
    default: return "unsupported colour type";
  }
  header = Header{width, height, channels};
  return {};
}

std::uint8_t Paeth(int a, int b, int c) noexcept {
  const int p = a + b - c;
  const int pa = std::abs(p - a);
  const int pb = std::abs(p - b);
  const int pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
  if (pb <= pc) return static_cast<std::uint8_t>(b);
  return static_cast<std::uint8_t>(c);
}

// Reverses a row filter in place. prior is the previous reconstructed row
// (zeros above the first row); bpp the bytes per pixel. False for an unknown
// filter type.
bool Unfilter(std::uint8_t type, std::span<std::uint8_t> row, std::span<const std::uint8_t> prior,
              std::size_t bpp) noexcept {
  const std::size_t n = row.size();
  auto left = [&](std::size_t i) -> int { return i >= bpp ? row[i - bpp] : 0; };
  auto upLeft = [&](std::size_t i) -> int { return i >= bpp ? prior[i - bpp] : 0; };
  switch (type) {
    case 0:
      return true;
    case 1:
      for (std::size_t i = 0; i < n; ++i) row[i] = static_cast<std::uint8_t>(row[i] + left(i));
      return true;
    case 2:
      for (std::size_t i = 0; i < n; ++i) row[i] = static_cast<std::uint8_t>(row[i] + prior[i]);
      return true;
    case 3:
      for (std::size_t i = 0; i < n; ++i) row[i] = static_cast<std::uint8_t>(row[i] + (left(i) + prior[i]) / 2);
      return true;
    case 4:
      for (std::size_t i = 0; i < n; ++i) row[i] = static_cast<std::uint8_t>(row[i] + Paeth(left(i), prior[i], upLeft(i)));
      return true;
    default:
      return false;
  }
}

// A colour sample blended with alpha over white, rounded.
std::uint8_t OverWhite(std::uint8_t c, std::uint8_t alpha) noexcept {
  return static_cast<std::uint8_t>((c * alpha + 255 * (255 - alpha) + 127) / 255);
}

// Converts one reconstructed row to RGB, writing width * 3 bytes to out.
void RowToRgb(std::span<const std::uint8_t> row, std::size_t channels, std::uint8_t* out) noexcept {
  const std::size_t pixels = row.size() / channels;
  for (std::size_t x = 0; x < pixels; ++x) {
    const std::uint8_t* px = row.data() + x * channels;
    std::uint8_t* o = out + x * 3;
    switch (channels) {
      case 1: o[0] = o[1] = o[2] = px[0]; break;
      case 3: o[0] = px[0]; o[1] = px[1]; o[2] = px[2]; break;
      default:
        for (int k = 0; k < 3; ++k) o[k] = OverWhite(px[k], px[3]);
        break;
    }
  }
}

// Collects decompressed scanlines (filter byte + samples), reconstructs each
// one as soon as it is complete and appends it to the image. The image grows
// row by row, so memory follows the data actually delivered.
class Scanlines {
 public:
  explicit Scanlines(const Header& header)  // may throw std::bad_alloc
      : header_(header),
        rowBytes_(header.width * header.channels),
        current_(rowBytes_ + 1),
        prior_(rowBytes_, 0) {
    image_.width = header.width;
    image_.height = header.height;
  }

  bool Complete() const noexcept { return rows_ == header_.height; }

  // Where the decompressor writes next: the unfilled rest of the current row.
  std::span<std::uint8_t> Pending() noexcept { return std::span(current_).subspan(filled_); }

  // Accepts n bytes just written into Pending(); may throw std::bad_alloc.
  // Returns an error text, empty on success.
  std::string_view Advance(std::size_t n) {
    filled_ += n;
    if (filled_ < current_.size()) return {};
    filled_ = 0;
    const std::span<std::uint8_t> samples = std::span(current_).subspan(1);
    if (!Unfilter(current_[0], samples, prior_, header_.channels)) return "unknown row filter";
    const std::size_t at = image_.rgb.size();
    image_.rgb.resize(at + std::size_t{header_.width} * 3);
    RowToRgb(samples, header_.channels, image_.rgb.data() + at);
    std::copy(samples.begin(), samples.end(), prior_.begin());
    ++rows_;
    return {};
  }

  RgbImage Take() noexcept { return std::move(image_); }

 private:
  Header header_;
  std::size_t rowBytes_;
  std::vector<std::uint8_t> current_;  // filter type byte, then the samples
  std::vector<std::uint8_t> prior_;
  std::size_t filled_ = 0;
  std::uint32_t rows_ = 0;
  RgbImage image_;
};

// The zlib stream spread over the IDAT chunks, inflated as it arrives.
class ImageStream {
 public:
  ImageStream() noexcept { ready_ = inflateInit(&zs_) == Z_OK; }
  ~ImageStream() {
    if (ready_) inflateEnd(&zs_);
  }
  ImageStream(const ImageStream&) = delete;
  ImageStream& operator=(const ImageStream&) = delete;

  bool Ended() const noexcept { return ended_; }

  // Inflates the body of one IDAT chunk into lines. Returns an error text,
  // empty on success. May throw std::bad_alloc (from lines).
  std::string_view Feed(std::span<const std::uint8_t> body, Scanlines& lines) {
    if (!ready_) return "out of memory";
    if (body.empty()) return {};
    if (ended_) return "data after the end of the compressed image";
    zs_.next_in = const_cast<Bytef*>(body.data());
    zs_.avail_in = static_cast<uInt>(body.size());
    for (;;) {
      // Once every row is in, a one-byte probe catches surplus output.
      std::uint8_t probe = 0;
      const std::span<std::uint8_t> out = lines.Complete() ? std::span(&probe, 1) : lines.Pending();
      zs_.next_out = out.data();
      zs_.avail_out = static_cast<uInt>(out.size());
      const int ret = inflate(&zs_, Z_NO_FLUSH);
      const std::size_t produced = out.size() - zs_.avail_out;
      if (ret == Z_NEED_DICT || ret == Z_DATA_ERROR || ret == Z_STREAM_ERROR) return "corrupt compressed data";
      if (ret == Z_MEM_ERROR) return "out of memory";
      if (produced > 0) {
        if (lines.Complete()) return "too much image data";
        if (const std::string_view err = lines.Advance(produced); !err.empty()) return err;
      }
      if (ret == Z_STREAM_END) {
        ended_ = true;
        if (zs_.avail_in != 0) return "data after the end of the compressed image";
        if (!lines.Complete()) return "too little image data";
        return {};
      }
      // Z_BUF_ERROR: no progress possible without more input.
      if (ret == Z_BUF_ERROR || (zs_.avail_in == 0 && zs_.avail_out != 0)) return {};
    }
  }

 private:
  z_stream zs_{};
  bool ready_ = false;
  bool ended_ = false;
};

PngResult Fail(std::string_view why) noexcept { return PngResult{std::nullopt, why}; }

PngResult Decode(std::span<const std::uint8_t> data) {
  if (data.size() < sizeof kSignature || std::memcmp(data.data(), kSignature, sizeof kSignature) != 0) {
    return Fail("not a PNG file");
  }
  enum class Idat { Before, Inside, After } idat = Idat::Before;
  std::optional<Scanlines> lines;
  ImageStream stream;
  std::size_t pos = sizeof kSignature;
  for (;;) {
    if (data.size() - pos < kChunkOverhead) return Fail("file is truncated");
    const std::uint8_t* chunk = data.data() + pos;
    const std::uint32_t length = ReadBE32(chunk);
    if (length > kMaxChunkLength) return Fail("chunk length out of range");
    if (data.size() - pos - kChunkOverhead < length) return Fail("file is truncated");
    const std::uint8_t* type = chunk + 4;
    const std::span<const std::uint8_t> body(chunk + 8, length);
    if (!std::all_of(type, type + 4, IsLetter)) return Fail("invalid chunk type");
    if (crc32(0L, type, static_cast<uInt>(length + 4)) != ReadBE32(chunk + 8 + length)) {
      return Fail("chunk CRC mismatch");
    }
    pos += kChunkOverhead + length;

    if (!lines) {
      if (!IsChunkType(type, "IHDR")) return Fail("IHDR chunk missing");
      Header header;
      if (const std::string_view err = ParseHeader(body, header); !err.empty()) return Fail(err);
      lines.emplace(header);
      continue;
    }
    if (IsChunkType(type, "IDAT")) {
      if (idat == Idat::After) return Fail("IDAT chunks are not consecutive");
      idat = Idat::Inside;
      if (const std::string_view err = stream.Feed(body, *lines); !err.empty()) return Fail(err);
      continue;
    }
    if (idat == Idat::Inside) idat = Idat::After;
    if (IsChunkType(type, "IEND")) break;
    if (IsChunkType(type, "IHDR")) return Fail("duplicate IHDR chunk");
    if (IsCritical(type) && !IsChunkType(type, "PLTE")) return Fail("unsupported critical chunk");
  }
  if (idat == Idat::Before) return Fail("no image data");
  if (!stream.Ended()) return Fail("compressed image data is truncated");
  return PngResult{lines->Take(), {}};
}

}  // namespace

PngResult DecodePng(std::span<const std::uint8_t> data) noexcept {
  try {
    return Decode(data);
  } catch (const std::bad_alloc&) {
    return Fail("out of memory");
  }
}

std::size_t DibStride(std::uint32_t width) noexcept {
  return (std::size_t{width} * 3 + 3) & ~std::size_t{3};
}

std::vector<std::uint8_t> ToDibRows(const RgbImage& image, bool bottomUp) noexcept {
  const std::size_t w = image.width;
  const std::size_t h = image.height;
  if (image.rgb.size() != w * h * 3) return {};
  const std::size_t stride = DibStride(image.width);
  try {
    std::vector<std::uint8_t> dib(stride * h, 0);
    for (std::size_t y = 0; y < h; ++y) {
      const std::uint8_t* src = image.rgb.data() + y * w * 3;
      std::uint8_t* dst = dib.data() + (bottomUp ? h - 1 - y : y) * stride;
      for (std::size_t x = 0; x < w; ++x) {
        dst[3 * x] = src[3 * x + 2];
        dst[3 * x + 1] = src[3 * x + 1];
        dst[3 * x + 2] = src[3 * x];
      }
    }
    return dib;
  } catch (const std::bad_alloc&) {
    return {};
  }
}

}  // namespace velmora::common
