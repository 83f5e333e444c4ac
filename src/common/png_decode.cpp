#include "common/png_decode.h"

#include <zlib.h>

#include <cstring>
#include <iterator>
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

struct Header {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

// Validates an IHDR body; returns an error text, empty when header is set.
std::string_view ParseHeader(std::span<const std::uint8_t> body, Header& header) noexcept {
  if (body.size() != 13) return "IHDR chunk has the wrong length";
  const std::uint32_t width = ReadBE32(body.data());
  const std::uint32_t height = ReadBE32(body.data() + 4);
  if (width == 0 || height == 0) return "image has no pixels";
  if (width > kMaxPngDimension || height > kMaxPngDimension) return "image too large";
  if (body[8] != 8 || body[9] != 2) return "only 8-bit RGB images are supported";
  if (body[10] != 0 || body[11] != 0 || body[12] != 0) return "unsupported method or interlacing";
  header = Header{width, height};
  return {};
}

// Collects decompressed scanlines (filter byte + samples) and appends each
// complete row to the image. The image grows row by row, so memory follows
// the data actually delivered.
class Scanlines {
 public:
  explicit Scanlines(const Header& header)  // may throw std::bad_alloc
      : height_(header.height), current_(std::size_t{header.width} * 3 + 1) {
    image_.width = header.width;
    image_.height = header.height;
  }

  bool Complete() const noexcept { return rows_ == height_; }

  // Where the decompressor writes next: the unfilled rest of the current row.
  std::span<std::uint8_t> Pending() noexcept { return std::span(current_).subspan(filled_); }

  // Accepts n bytes just written into Pending(); may throw std::bad_alloc.
  // Returns an error text, empty on success.
  std::string_view Advance(std::size_t n) {
    filled_ += n;
    if (filled_ < current_.size()) return {};
    filled_ = 0;
    if (current_[0] != 0) return "only unfiltered rows are supported";
    image_.rgb.insert(image_.rgb.end(), current_.begin() + 1, current_.end());
    ++rows_;
    return {};
  }

  RgbImage Take() noexcept { return std::move(image_); }

 private:
  std::uint32_t height_;
  std::vector<std::uint8_t> current_;  // filter type byte, then the samples
  std::size_t filled_ = 0;
  std::uint32_t rows_ = 0;
  RgbImage image_;
};

// Inflates the zlib stream of the one IDAT chunk into lines. Returns an error
// text, empty on success. May throw std::bad_alloc (from lines).
std::string_view Inflate(std::span<const std::uint8_t> body, Scanlines& lines) {
  struct Stream {
    z_stream zs{};
    bool ready = inflateInit(&zs) == Z_OK;
    ~Stream() {
      if (ready) inflateEnd(&zs);
    }
  } stream;
  z_stream& zs = stream.zs;
  if (!stream.ready) return "out of memory";
  zs.next_in = const_cast<Bytef*>(body.data());
  zs.avail_in = static_cast<uInt>(body.size());
  for (;;) {
    // Once every row is in, a one-byte probe catches surplus output.
    std::uint8_t probe = 0;
    const std::span<std::uint8_t> out = lines.Complete() ? std::span(&probe, 1) : lines.Pending();
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    const int ret = inflate(&zs, Z_NO_FLUSH);
    const std::size_t produced = out.size() - zs.avail_out;
    if (ret == Z_NEED_DICT || ret == Z_DATA_ERROR || ret == Z_STREAM_ERROR) return "corrupt compressed data";
    if (ret == Z_MEM_ERROR) return "out of memory";
    if (produced > 0) {
      if (lines.Complete()) return "too much image data";
      if (const std::string_view err = lines.Advance(produced); !err.empty()) return err;
    }
    if (ret == Z_STREAM_END) {
      if (zs.avail_in != 0) return "data after the end of the compressed image";
      if (!lines.Complete()) return "too little image data";
      return {};
    }
    // Z_BUF_ERROR: no progress possible without more input.
    if (ret == Z_BUF_ERROR || (zs.avail_in == 0 && zs.avail_out != 0)) return "compressed image data is truncated";
  }
}

PngResult Fail(std::string_view why) noexcept { return PngResult{std::nullopt, why}; }

PngResult Decode(std::span<const std::uint8_t> data) {
  if (data.size() < sizeof kSignature || std::memcmp(data.data(), kSignature, sizeof kSignature) != 0) {
    return Fail("not a PNG file");
  }
  // The chunks in their one accepted order, and the complaint when another stands there.
  constexpr struct {
    char type[5];
    std::string_view missing;
  } kChunks[] = {{"IHDR", "IHDR chunk missing"},
                 {"IDAT", "one IDAT chunk must follow IHDR"},
                 {"IEND", "IEND must follow the IDAT chunk"}};
  std::optional<Scanlines> lines;
  std::size_t pos = sizeof kSignature;
  for (std::size_t n = 0; n < std::size(kChunks); ++n) {
    if (data.size() - pos < kChunkOverhead) return Fail("file is truncated");
    const std::uint8_t* chunk = data.data() + pos;
    const std::uint32_t length = ReadBE32(chunk);
    if (length > kMaxChunkLength) return Fail("chunk length out of range");
    if (data.size() - pos - kChunkOverhead < length) return Fail("file is truncated");
    const std::uint8_t* type = chunk + 4;
    const std::span<const std::uint8_t> body(chunk + 8, length);
    if (crc32(0L, type, static_cast<uInt>(length + 4)) != ReadBE32(chunk + 8 + length)) {
      return Fail("chunk CRC mismatch");
    }
    pos += kChunkOverhead + length;
    if (std::memcmp(type, kChunks[n].type, 4) != 0) return Fail(kChunks[n].missing);

    std::string_view err;
    if (n == 0) {
      Header header;
      err = ParseHeader(body, header);
      if (err.empty()) lines.emplace(header);
    } else if (n == 1) {
      err = Inflate(body, *lines);
    }
    if (!err.empty()) return Fail(err);
  }
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
