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

// The zlib data split into IDAT chunks of at most `piece` bytes.
Bytes Idats(const Bytes& z, std::size_t piece) {
  Bytes out;
  for (std::size_t at = 0; at < z.size(); at += piece) {
    const auto end = z.begin() + static_cast<std::ptrdiff_t>(std::min(z.size(), at + piece));
    const Bytes c = Chunk("IDAT", Bytes(z.begin() + static_cast<std::ptrdiff_t>(at), end));
    out.insert(out.end(), c.begin(), c.end());
  }
  return out;
}

Bytes Png(std::initializer_list<Bytes> chunks) {
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (const Bytes& c : chunks) out.insert(out.end(), c.begin(), c.end());
  return out;
}

const Bytes kIend = Chunk("IEND", {});

// Applies the PNG predictor `type` to one row of samples (forward direction).
Bytes FilterRow(std::uint8_t type, const Bytes& row, const Bytes& prior, std::size_t bpp) {
  Bytes out = {type};
  for (std::size_t i = 0; i < row.size(); ++i) {
    const int a = i >= bpp ? row[i - bpp] : 0;
    const int b = prior[i];
    const int c = i >= bpp ? prior[i - bpp] : 0;
    const int p = a + b - c;
    const int paeth = (std::abs(p - a) <= std::abs(p - b) && std::abs(p - a) <= std::abs(p - c)) ? a
                      : std::abs(p - b) <= std::abs(p - c)                                       ? b
                                                                                                 : c;
    const int predictor[5] = {0, a, b, (a + b) / 2, paeth};
    out.push_back(static_cast<std::uint8_t>(row[i] - predictor[type]));
  }
  return out;
}

// Filter stream for `samples` (rows of rowBytes), row y using filter (first + y) % 5.
Bytes FilterAll(const Bytes& samples, std::size_t rowBytes, std::size_t bpp, std::size_t first = 0) {
  Bytes out;
  Bytes prior(rowBytes, 0);
  for (std::size_t at = 0; at < samples.size(); at += rowBytes) {
    const Bytes row(samples.begin() + static_cast<std::ptrdiff_t>(at),
                    samples.begin() + static_cast<std::ptrdiff_t>(at + rowBytes));
    const Bytes f = FilterRow(static_cast<std::uint8_t>((first + at / rowBytes) % 5), row, prior, bpp);
    out.insert(out.end(), f.begin(), f.end());
    prior = row;
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

// A valid 7 x 10 RGB file of noise with every filter type, IDAT in 5-byte pieces.
constexpr std::uint32_t kW = 7, kH = 10;
const Bytes kNoise = Noise(kW * kH * 3, 42);
const Bytes kZ = Zlib(FilterAll(kNoise, kW * 3, 3));
const Bytes kGood = Png({Ihdr(kW, kH), Idats(kZ, 5), kIend});

TEST(PngDecode, RoundTripsEveryFilterAndColourType) {
  struct Case { std::uint8_t colour; std::size_t bpp; };
  for (const Case c : {Case{0, 1}, Case{2, 3}, Case{6, 4}}) {
    Bytes samples = Noise(kW * kH * c.bpp, 7u + c.colour);
    if (c.bpp == 4) {
      for (std::size_t i = 3; i < samples.size(); i += 4) samples[i] = 255;  // opaque: exact colours
    }
    Bytes expected;
    for (std::size_t i = 0; i < samples.size(); i += c.bpp) {
      for (std::size_t k = 0; k < 3; ++k) expected.push_back(samples[i + (c.bpp == 1 ? 0 : k)]);
    }
    const Bytes png = Png({Ihdr(kW, kH, c.colour), Idats(Zlib(FilterAll(samples, kW * c.bpp, c.bpp)), 3), kIend});
    const PngResult r = Decode(png);
    ASSERT_TRUE(r.image) << int{c.colour} << ": " << r.error;
    EXPECT_EQ(r.image->width, kW);
    EXPECT_EQ(r.image->height, kH);
    EXPECT_EQ(r.image->rgb, expected) << "colour type " << int{c.colour};
  }
}

TEST(PngDecode, BlendsAlphaOverWhite) {
  const Bytes pixels = {10, 20, 30, 0,  10, 20, 30, 255,  0, 0, 0, 128,  200, 100, 0, 51,  200, 200, 200, 10};
  const Bytes raw = FilterAll(pixels, pixels.size(), 4);
  const PngResult r = Decode(Png({Ihdr(5, 1, 6), Idats(Zlib(raw), 100), kIend}));
  ASSERT_TRUE(r.image) << r.error;
  // 200*0.2 + 255*0.8 = 244; 100*0.2 + 204 = 224; 200*10/255 + 255*245/255 = 253.34 rounds to 253.
  EXPECT_EQ(r.image->rgb, (Bytes{255, 255, 255,  10, 20, 30,  127, 127, 127,  244, 224, 204,  253, 253, 253}));
}

TEST(PngDecode, PaethBreaksTiesLeftThenAbove) {
  // Row 1 is Paeth-filtered. Its pixel 1 (left 0, above 30, upper-left 20) ties
  // left with upper-left; pixel 3 (left 30, above 0, upper-left 20) ties above
  // with upper-left. In the second picture pixel 0 has above 1 and neither
  // left nor upper-left (both 0): above wins.
  for (const Bytes& grey : {Bytes{20, 30, 20, 0,  0, 50, 30, 70}, Bytes{1, 9, 9, 9,  7, 7, 7, 7}}) {
    const PngResult r = Decode(Png({Ihdr(4, 2, 0), Idats(Zlib(FilterAll(grey, 4, 1, 3)), 100), kIend}));
    ASSERT_TRUE(r.image) << r.error;
    Bytes expected;
    for (const std::uint8_t g : grey) expected.insert(expected.end(), {g, g, g});
    EXPECT_EQ(r.image->rgb, expected);
  }
}

TEST(PngDecode, AcceptsHarmlessVariations) {
  const Bytes text = Chunk("tEXt", {'a', 0, 'b'});
  const Bytes plte = Chunk("PLTE", {0, 0, 0});
  const Bytes empty = Chunk("IDAT", {});
  const Bytes cases[] = {
      Png({Ihdr(kW, kH), text, plte, Idats(kZ, 1000), Chunk("zZzZ", {}), kIend}),
      Png({Ihdr(kW, kH), Idats(kZ, 1), kIend}),
      Png({Ihdr(kW, kH), empty, Idats(kZ, 9), empty, kIend}),
      Png({Ihdr(kW, kH), Idats(kZ, 1000), text, kIend, {1, 2, 3}}),  // bytes after IEND
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const PngResult r = Decode(cases[i]);
    ASSERT_TRUE(r.image) << "case " << i << ": " << r.error;
    EXPECT_EQ(r.image->rgb, kNoise) << "case " << i;
  }
}

TEST(PngDecode, AcceptsLargestDimensions) {
  for (const auto& [w, h] : {std::pair<std::uint32_t, std::uint32_t>{4096, 1}, {1, 4096}}) {
    const Bytes raw((w + 1) * h, 0);  // filter 0, black
    const PngResult r = Decode(Png({Ihdr(w, h, 0), Idats(Zlib(raw), 1 << 16), kIend}));
    ASSERT_TRUE(r.image) << w << "x" << h << ": " << r.error;
    EXPECT_EQ(r.image->rgb.size(), std::size_t{w} * h * 3);
  }
}

TEST(PngDecode, RejectsMalformedFiles) {
  Bytes extraByte = FilterAll(kNoise, kW * 3, 3);
  extraByte.push_back(0);
  Bytes missingRow = FilterAll(kNoise, kW * 3, 3);
  missingRow.erase(missingRow.end() - (kW * 3 + 1), missingRow.end());
  Bytes badFilter = FilterAll(kNoise, kW * 3, 3);
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
  hugeLength[8 + 25] = 0x80;  // first IDAT length >= 2^31
  const Bytes text = Chunk("tEXt", {'a', 0, 'b'});
  const Bytes idats = Idats(kZ, 1000);
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
      {"16-bit samples",         "only 8-bit samples are supported",           Png({Ihdr(kW, kH, 2, 16), idats, kIend})},
      {"palette colour",         "unsupported colour type",                    Png({Ihdr(kW, kH, 3), idats, kIend})},
      {"grey + alpha",           "unsupported colour type",                    Png({Ihdr(kW, kH, 4), idats, kIend})},
      {"interlaced",             "interlaced images are not supported",        Png({Ihdr(kW, kH, 2, 8, 1), idats, kIend})},
      {"interlace method 2",     "unknown interlace method",                   Png({Ihdr(kW, kH, 2, 8, 2), idats, kIend})},
      {"IDAT before IHDR",       "IHDR chunk missing",                         Png({idats, Ihdr(kW, kH), kIend})},
      {"two IHDRs",              "duplicate IHDR chunk",                       Png({Ihdr(kW, kH), Ihdr(kW, kH), idats, kIend})},
      {"no IDAT",                "no image data",                              Png({Ihdr(kW, kH), kIend})},
      {"no IEND",                "file is truncated",                          Png({Ihdr(kW, kH), idats})},
      {"chunk cut short",        "file is truncated",                          cutShort},
      {"IDATs not consecutive",  "IDAT chunks are not consecutive",            Png({Ihdr(kW, kH), Idats(zHead, 100), text, Idats(zTail, 100), kIend})},
      {"unknown critical chunk", "unsupported critical chunk",                 Png({Ihdr(kW, kH), Chunk("ABCD", {}), idats, kIend})},
      {"non-letter chunk type",  "invalid chunk type",                         Png({Ihdr(kW, kH), Chunk("ab1d", {}), idats, kIend})},
      {"extra decoded byte",     "too much image data",                        Png({Ihdr(kW, kH), Idats(Zlib(extraByte), 1000), kIend})},
      {"missing row",            "too little image data",                      Png({Ihdr(kW, kH), Idats(Zlib(missingRow), 1000), kIend})},
      {"filter type 5",          "unknown row filter",                         Png({Ihdr(kW, kH), Idats(Zlib(badFilter), 1000), kIend})},
      {"byte after zlib stream", "data after the end of the compressed image", Png({Ihdr(kW, kH), Idats(zTrailing, 1000), kIend})},
      {"zlib checksum missing",  "compressed image data is truncated",         Png({Ihdr(kW, kH), Idats(zNoChecksum, 1000), kIend})},
      {"zlib checksum wrong",    "corrupt compressed data",                    Png({Ihdr(kW, kH), Idats(zBadChecksum, 1000), kIend})},
      {"not zlib at all",        "corrupt compressed data",                    Png({Ihdr(kW, kH), Chunk("IDAT", Bytes(64, 0xAB)), kIend})},
      {"IDAT after the end",     "data after the end of the compressed image", Png({Ihdr(kW, kH), idats, Chunk("IDAT", {0}), kIend})},
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
