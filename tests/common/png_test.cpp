#include "common/png_decode.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>

namespace velmora::common {
namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- A minimal PNG writer for building test files ----

void PutBE32(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

Bytes Chunk(const char* type, const Bytes& body) {
  Bytes out;
  PutBE32(out, static_cast<std::uint32_t>(body.size()));
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), body.begin(), body.end());
  PutBE32(out, static_cast<std::uint32_t>(crc32(0L, out.data() + 4, static_cast<uInt>(body.size() + 4))));
  return out;
}

Bytes Ihdr(std::uint32_t w, std::uint32_t h, std::uint8_t colour = 2, std::uint8_t depth = 8,
           std::uint8_t interlace = 0) {
  Bytes body;
  PutBE32(body, w);
  PutBE32(body, h);
  body.insert(body.end(), {depth, colour, 0, 0, interlace});
  return Chunk("IHDR", body);
}

Bytes Zlib(const Bytes& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  Bytes out(size);
  EXPECT_EQ(compress(out.data(), &size, raw.data(), static_cast<uLong>(raw.size())), Z_OK);
  out.resize(size);
  return out;
}

Bytes Idat(const Bytes& z) { return Chunk("IDAT", z); }

Bytes Png(std::initializer_list<Bytes> chunks) {
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (const Bytes& c : chunks) out.insert(out.end(), c.begin(), c.end());
  return out;
}

const Bytes kIend = Chunk("IEND", {});

// Rows of `rowBytes` samples, each behind filter byte 0 (none).
Bytes Unfiltered(const Bytes& samples, std::size_t rowBytes) {
  Bytes out;
  for (std::size_t at = 0; at < samples.size(); at += rowBytes) {
    out.push_back(0);
    out.insert(out.end(), samples.begin() + static_cast<std::ptrdiff_t>(at),
               samples.begin() + static_cast<std::ptrdiff_t>(at + rowBytes));
  }
  return out;
}

Bytes Noise(std::size_t n, std::uint32_t seed) {
  Bytes out(n);
  for (auto& b : out) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(seed >> 24);
  }
  return out;
}

PngResult Decode(const Bytes& png) { return DecodePng(png); }

// A valid 7 x 10 RGB file of noise.
constexpr std::uint32_t kW = 7, kH = 10;
const Bytes kNoise = Noise(kW * kH * 3, 42);
const Bytes kRaw = Unfiltered(kNoise, kW * 3);
const Bytes kZ = Zlib(kRaw);
const Bytes kGood = Png({Ihdr(kW, kH), Idat(kZ), kIend});

TEST(PngDecode, ReadsRgbAndRefusesOtherColourTypes) {
  const PngResult good = Decode(Png({Ihdr(kW, kH), Idat(kZ), kIend, {1, 2, 3}}));  // bytes after IEND ignored
  ASSERT_TRUE(good.image) << good.error;
  EXPECT_EQ(good.image->width, kW);
  EXPECT_EQ(good.image->height, kH);
  EXPECT_EQ(good.image->rgb, kNoise);
  // Grey and RGBA files, complete and consistent in themselves.
  struct Case { std::uint8_t colour; std::size_t bpp; };
  for (const Case c : {Case{0, 1}, Case{6, 4}}) {
    const Bytes samples = Noise(kW * kH * c.bpp, 7u + c.colour);
    const PngResult r = Decode(Png({Ihdr(kW, kH, c.colour), Idat(Zlib(Unfiltered(samples, kW * c.bpp))), kIend}));
    EXPECT_FALSE(r.image) << "colour type " << int{c.colour};
    EXPECT_EQ(r.error, "only 8-bit RGB images are supported") << "colour type " << int{c.colour};
  }
}

TEST(PngDecode, RefusesEveryRowFilter) {
  for (std::uint8_t type = 1; type <= 4; ++type) {
    for (const std::size_t row : {std::size_t{0}, std::size_t{kH - 1}}) {
      Bytes raw = kRaw;
      raw[row * (kW * 3 + 1)] = type;
      const PngResult r = Decode(Png({Ihdr(kW, kH), Idat(Zlib(raw)), kIend}));
      EXPECT_FALSE(r.image) << "filter " << int{type} << ", row " << row;
      EXPECT_EQ(r.error, "only unfiltered rows are supported") << "filter " << int{type} << ", row " << row;
    }
  }
}

TEST(PngDecode, AcceptsLargestDimensions) {
  for (const auto& [w, h] : {std::pair<std::uint32_t, std::uint32_t>{4096, 1}, {1, 4096}}) {
    const Bytes raw((w * 3 + 1) * h, 0);  // filter 0, black
    const PngResult r = Decode(Png({Ihdr(w, h), Idat(Zlib(raw)), kIend}));
    ASSERT_TRUE(r.image) << w << "x" << h << ": " << r.error;
    EXPECT_EQ(r.image->rgb.size(), std::size_t{w} * h * 3);
  }
}

TEST(PngDecode, RejectsMalformedFiles) {
  Bytes extraByte = kRaw;
  extraByte.push_back(0);
  Bytes missingRow = kRaw;
  missingRow.erase(missingRow.end() - (kW * 3 + 1), missingRow.end());
  Bytes badFilter = kRaw;
  badFilter[(kW * 3 + 1) * 4] = 5;
  Bytes zTrailing = kZ;
  zTrailing.push_back(0);
  Bytes zNoChecksum = kZ;
  zNoChecksum.erase(zNoChecksum.end() - 4, zNoChecksum.end());
  Bytes zBadChecksum = kZ;
  zBadChecksum.back() ^= 1;
  Bytes badCrc = kGood;
  badCrc[8 + 8 + 13] ^= 0x40;  // first byte of the IHDR CRC
  Bytes hugeLength = kGood;
  hugeLength[8 + 25] = 0x80;  // IDAT length >= 2^31
  const Bytes text = Chunk("tEXt", {'a', 0, 'b'});
  const Bytes idats = Idat(kZ);
  const Bytes zHead(kZ.begin(), kZ.begin() + 10), zTail(kZ.begin() + 10, kZ.end());
  Bytes cutShort = Png({Ihdr(kW, kH), idats, text});
  cutShort.pop_back();  // the last chunk's frame is there, its body and CRC not all

  const struct { const char* what; std::string_view error; Bytes png; } cases[] = {
      {"empty input",            "not a PNG file",                             {}},
      {"signature only",         "file is truncated",                          Png({})},
      {"bad signature",          "not a PNG file",                             Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, 0}},
      {"bad CRC",                "chunk CRC mismatch",                         badCrc},
      {"IHDR length 14",         "IHDR chunk has the wrong length",            Png({Chunk("IHDR", Bytes(14, 1)), idats, kIend})},
      {"chunk length >= 2^31",   "chunk length out of range",                  hugeLength},
      {"zero width",             "image has no pixels",                        Png({Ihdr(0, kH), idats, kIend})},
      {"zero height",            "image has no pixels",                        Png({Ihdr(kW, 0), idats, kIend})},
      {"width 4097",             "image too large",                            Png({Ihdr(4097, 1), idats, kIend})},
      {"height 2^31",            "image too large",                            Png({Ihdr(1, 0x80000000u), idats, kIend})},
      {"huge, tiny data",        "too little image data",                      Png({Ihdr(4096, 4096), idats, kIend})},
      {"16-bit samples",         "only 8-bit RGB images are supported",        Png({Ihdr(kW, kH, 2, 16), idats, kIend})},
      {"palette colour",         "only 8-bit RGB images are supported",        Png({Ihdr(kW, kH, 3), idats, kIend})},
      {"grey + alpha",           "only 8-bit RGB images are supported",        Png({Ihdr(kW, kH, 4), idats, kIend})},
      {"interlaced",             "unsupported method or interlacing",          Png({Ihdr(kW, kH, 2, 8, 1), idats, kIend})},
      {"interlace method 2",     "unsupported method or interlacing",          Png({Ihdr(kW, kH, 2, 8, 2), idats, kIend})},
      {"IDAT before IHDR",       "IHDR chunk missing",                         Png({idats, Ihdr(kW, kH), kIend})},
      {"two IHDRs",              "one IDAT chunk must follow IHDR",            Png({Ihdr(kW, kH), Ihdr(kW, kH), idats, kIend})},
      {"no IDAT",                "one IDAT chunk must follow IHDR",                              Png({Ihdr(kW, kH), kIend})},
      {"no IEND",                "file is truncated",                          Png({Ihdr(kW, kH), idats})},
      {"chunk cut short",        "file is truncated",                          cutShort},
      {"IDAT split in two",      "compressed image data is truncated",         Png({Ihdr(kW, kH), Idat(zHead), Idat(zTail), kIend})},
      {"empty IDAT first",       "compressed image data is truncated",         Png({Ihdr(kW, kH), Idat({}), idats, kIend})},
      {"IDAT, empty IDAT",       "IEND must follow the IDAT chunk",            Png({Ihdr(kW, kH), idats, Idat({}), kIend})},
      {"text before IDAT",       "one IDAT chunk must follow IHDR",            Png({Ihdr(kW, kH), text, idats, kIend})},
      {"text after IDAT",        "IEND must follow the IDAT chunk",            Png({Ihdr(kW, kH), idats, text, kIend})},
      {"palette for RGB",        "one IDAT chunk must follow IHDR",            Png({Ihdr(kW, kH), Chunk("PLTE", {0, 0, 0}), idats, kIend})},
      {"unknown ancillary",      "IEND must follow the IDAT chunk",            Png({Ihdr(kW, kH), idats, Chunk("zZzZ", {}), kIend})},
      {"unknown critical chunk", "one IDAT chunk must follow IHDR",            Png({Ihdr(kW, kH), Chunk("ABCD", {}), idats, kIend})},
      {"non-letter chunk type",  "one IDAT chunk must follow IHDR",            Png({Ihdr(kW, kH), Chunk("ab1d", {}), idats, kIend})},
      {"extra decoded byte",     "too much image data",                        Png({Ihdr(kW, kH), Idat(Zlib(extraByte)), kIend})},
      {"missing row",            "too little image data",                      Png({Ihdr(kW, kH), Idat(Zlib(missingRow)), kIend})},
      {"filter type 5",          "only unfiltered rows are supported",         Png({Ihdr(kW, kH), Idat(Zlib(badFilter)), kIend})},
      {"byte after zlib stream", "data after the end of the compressed image", Png({Ihdr(kW, kH), Idat(zTrailing), kIend})},
      {"zlib checksum missing",  "compressed image data is truncated",         Png({Ihdr(kW, kH), Idat(zNoChecksum), kIend})},
      {"zlib checksum wrong",    "corrupt compressed data",                    Png({Ihdr(kW, kH), Idat(zBadChecksum), kIend})},
      {"not zlib at all",        "corrupt compressed data",                    Png({Ihdr(kW, kH), Chunk("IDAT", Bytes(64, 0xAB)), kIend})},
      {"IDAT after the end",     "IEND must follow the IDAT chunk",            Png({Ihdr(kW, kH), idats, Idat({0}), kIend})},
  };
  ASSERT_TRUE(Decode(kGood).image);
  for (const auto& c : cases) {
    const PngResult r = Decode(c.png);
    EXPECT_FALSE(r.image) << c.what;
    EXPECT_EQ(r.error, c.error) << c.what;
  }
}

TEST(PngDecode, RejectsEveryTruncationAndEveryCorruptedByte) {
  for (std::size_t n = 0; n < kGood.size(); ++n) {
    EXPECT_FALSE(Decode(Bytes(kGood.begin(), kGood.begin() + static_cast<std::ptrdiff_t>(n))).image)
        << "truncated to " << n;
  }
  // Every byte after the signature is covered by a length, a CRC or both.
  for (std::size_t i = 0; i < kGood.size(); ++i) {
    for (const int flip : {0x01, 0x80}) {
      Bytes bad = kGood;
      bad[i] = static_cast<std::uint8_t>(bad[i] ^ flip);
      EXPECT_FALSE(Decode(bad).image) << "byte " << i << " ^ " << flip;
    }
  }
}

TEST(PngDecode, DibRowsAreBgrPaddedAndOrdered) {
  const RgbImage img{3, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9,  11, 12, 13, 14, 15, 16, 17, 18, 19}};
  const Bytes top = {3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0};
  const Bytes bottom = {13, 12, 11, 16, 15, 14, 19, 18, 17, 0, 0, 0};
  EXPECT_EQ(DibStride(3), 12u);
  EXPECT_EQ(DibStride(4), 12u);
  EXPECT_EQ(DibStride(1), 4u);
  Bytes topDown = top, bottomUp = bottom;
  topDown.insert(topDown.end(), bottom.begin(), bottom.end());
  bottomUp.insert(bottomUp.end(), top.begin(), top.end());
  EXPECT_EQ(ToDibRows(img, false), topDown);
  EXPECT_EQ(ToDibRows(img, true), bottomUp);
  EXPECT_TRUE(ToDibRows(RgbImage{3, 2, {1, 2, 3}}, true).empty());  // inconsistent size
}

// The picture shipped in res/. Under Wine the Unix source path is reached
// through drive Z:, which maps the Unix root.
TEST(PngDecode, ShippedSchematic) {
  std::string path = VELMORA_SOURCE_DIR "/res/schematic.png";
#ifdef _WIN32
  if (path.front() == '/') path = "Z:" + path;
#endif
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << path;
  const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const PngResult r = Decode(file);
  ASSERT_TRUE(r.image) << r.error;
  const RgbImage& img = *r.image;
  ASSERT_EQ(img.width, 230u);
  ASSERT_EQ(img.height, 114u);
  auto pixel = [&](std::uint32_t x, std::uint32_t y) {
    const std::size_t at = (std::size_t{y} * img.width + x) * 3;
    return (std::uint32_t{img.rgb[at]} << 16) | (std::uint32_t{img.rgb[at + 1]} << 8) | img.rgb[at + 2];
  };
  for (std::uint32_t x = 0; x < img.width; ++x) EXPECT_EQ(pixel(x, 113), 0xFFFFFFu) << "bottom row, x " << x;
  // Plain wire stretches of the three rails, and white space between them.
  for (const auto& [x, y] : {std::pair<std::uint32_t, std::uint32_t>{2, 21}, {30, 21}, {135, 21},
                             {150, 56}, {225, 56}, {30, 101}, {150, 101}}) {
    EXPECT_EQ(pixel(x, y), 0x000000u) << x << "," << y;
  }
  for (const auto& [x, y] : {std::pair<std::uint32_t, std::uint32_t>{2, 40}, {60, 80}, {200, 30}}) {
    EXPECT_EQ(pixel(x, y), 0xFFFFFFu) << x << "," << y;
  }
}

}  // namespace
}  // namespace velmora::common
