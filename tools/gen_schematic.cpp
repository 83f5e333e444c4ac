// Draws the circuit schematic shown in the main window and writes it as a
// 230 x 114 pixel, 24-bit RGB PNG: black line art on white.
//
//   gen_schematic <output.png>
//
// The drawing is fully determined by the constants below, so the output is
// byte-for-byte reproducible. The bottom row stays blank: the window shows
// only the top 113 rows.
#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kWidth = 230;
constexpr int kHeight = 114;

constexpr int kTopRail = 21;
constexpr int kMidRail = 56;
constexpr int kBottomRail = 101;

// ---- Canvas ---------------------------------------------------------------

class Canvas {
 public:
  Canvas() : ink_(static_cast<std::size_t>(kWidth * kHeight), false) {}

  // Blackens (x, y); points outside the picture or on its last row are ignored.
  void Plot(int x, int y) {
    if (x < 0 || x >= kWidth || y < 0 || y >= kHeight - 1) return;
    ink_[static_cast<std::size_t>(y * kWidth + x)] = true;
  }
  bool Ink(int x, int y) const { return ink_[static_cast<std::size_t>(y * kWidth + x)]; }

  // Straight 1-pixel line between two points, both ends included (Bresenham).
  void Line(int x0, int y0, int x1, int y1) {
    const int dx = std::abs(x1 - x0);
    const int dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
      Plot(x0, y0);
      if (x0 == x1 && y0 == y1) return;
      const int e2 = 2 * err;
      if (e2 >= dy) { err += dy; x0 += sx; }
      if (e2 <= dx) { err += dx; y0 += sy; }
    }
  }
  void HLine(int x0, int x1, int y) { Line(x0, y, x1, y); }
  void VLine(int x, int y0, int y1) { Line(x, y0, x, y1); }

 private:
  std::vector<bool> ink_;
};

// ---- Pixel font -----------------------------------------------------------
// A small sans-serif face: capitals and digits 8 rows tall, lower case
// x-height 6. Every glyph is 8 rows; '#' is ink.

struct Glyph {
  char ch;
  std::array<std::string_view, 8> rows;
};

constexpr Glyph kFont[] = {
    {'R', {"####.", "#...#", "#...#", "#...#", "####.", "#..#.", "#...#", "#...#"}},
    {'1', {"..#..", ".##..", "#.#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#....", "#####"}},
    {'3', {".###.", "#...#", "....#", "..##.", "....#", "....#", "#...#", ".###."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"#####", "#....", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'I', {"#", "#", "#", "#", "#", "#", "#", "#"}},
    {'n', {".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#", "#...#"}},
    {'O', {"..###..", ".#...#.", "#.....#", "#.....#", "#.....#", "#.....#", ".#...#.", "..###.."}},
    {'u', {".....", ".....", "#...#", "#...#", "#...#", "#...#", "#..##", ".##.#"}},
    {'t', {".#..", ".#..", "###.", ".#..", ".#..", ".#..", ".#..", "..##"}},
    {'+', {".....", ".....", "..#..", "..#..", "#####", "..#..", "..#..", "....."}},
    {'-', {".....", ".....", ".....", ".....", "#####", ".....", ".....", "....."}},
};
constexpr int kGlyphHeight = 8;
constexpr int kLetterGap = 1;

const Glyph& FindGlyph(char ch) {
  for (const Glyph& g : kFont) {
    if (g.ch == ch) return g;
  }
  std::fprintf(stderr, "gen_schematic: no glyph for '%c'\n", ch);
  std::exit(2);
}

int GlyphWidth(char ch) { return static_cast<int>(FindGlyph(ch).rows[0].size()); }

// Width in pixels of a text set with kLetterGap between glyphs.
int TextWidth(std::string_view text) {
  int w = 0;
  for (char ch : text) w += GlyphWidth(ch) + kLetterGap;
  return text.empty() ? 0 : w - kLetterGap;
}

// Draws text with its top-left corner at (left, top).
void DrawText(Canvas& c, int left, int top, std::string_view text) {
  int x = left;
  for (char ch : text) {
    const Glyph& g = FindGlyph(ch);
    for (int row = 0; row < kGlyphHeight; ++row) {
      const std::string_view bits = g.rows[static_cast<std::size_t>(row)];
      for (std::size_t col = 0; col < bits.size(); ++col) {
        if (bits[col] == '#') c.Plot(x + static_cast<int>(col), top + row);
      }
    }
    x += GlyphWidth(ch) + kLetterGap;
  }
}

// ---- Symbols --------------------------------------------------------------

// Filled diamond 7 pixels across, centred on a wire junction.
void Junction(Canvas& c, int cx, int cy) {
  for (int dy = -3; dy <= 3; ++dy) {
    const int half = 3 - std::abs(dy);
    c.HLine(cx - half, cx + half, cy + dy);
  }
}

// Horizontal zigzag resistor from x0 to x0 + 22 on rail y, five peaks 5 px
// above and below the rail, with its name centred just above it.
void Resistor(Canvas& c, int x0, int y, std::string_view name) {
  constexpr int kPeaks = 5;
  constexpr int kPitch = 4;    // horizontal distance between peaks
  constexpr int kSwing = 5;    // peak height above or below the rail
  c.HLine(x0, x0 + 1, y);      // 1-px lead on each side
  int px = x0 + 1;
  int py = y;
  for (int k = 0; k < kPeaks; ++k) {
    const int nx = x0 + 3 + k * kPitch;
    const int ny = (k % 2 == 0) ? y - kSwing : y + kSwing;
    c.Line(px, py, nx, ny);
    px = nx;
    py = ny;
  }
  const int end = x0 + 3 + (kPeaks - 1) * kPitch + 2;
  c.Line(px, py, end, y);
  c.HLine(end, x0 + 22, y);
  const int centre = x0 + 11;
  DrawText(c, centre - TextWidth(name) / 2, y - kSwing - 3 - kGlyphHeight, name);
}

// Earth at the left end of a horizontal wire: three vertical strokes, the
// tallest touching the wire at x = right.
void Earth(Canvas& c, int right, int y) {
  c.VLine(right, y - 8, y + 8);       // 17 px
  c.VLine(right - 3, y - 5, y + 4);   // 10 px
  c.VLine(right - 7, y - 2, y + 2);   // 5 px
}

// Amplifier: right-pointing triangle with a 2-px outline. Its left side is
// at x = left from top to bottom; the tip is at (tipX, the middle height).
void Amplifier(Canvas& c, int left, int top, int bottom, int tipX) {
  const int mid = (top + bottom) / 2;
  const int run = tipX - left;
  const int rise = mid - top;
  for (int y = top; y <= bottom; ++y) {
    c.Plot(left, y);
    c.Plot(left + 1, y);
  }
  for (int x = left; x <= tipX; ++x) {
    const int drop = ((x - left) * rise * 2 + run) / (2 * run);  // rounded
    c.Plot(x, top + drop);
    c.Plot(x, top + drop + 1);
    c.Plot(x, bottom - drop);
    c.Plot(x, bottom - drop - 1);
  }
}

// A glyph centred vertically on y, its left edge at x.
void SignAt(Canvas& c, int x, int y, char sign) {
  DrawText(c, x, y - kGlyphHeight / 2, std::string_view(&sign, 1));
}

Canvas DrawSchematic() {
  Canvas c;
  // Top rail: In - R1 - junction - R2 - down to the output node.
  DrawText(c, 6, kTopRail - 3 - kGlyphHeight, "I");
  DrawText(c, 9, kTopRail - 3 - kGlyphHeight, "n");
  c.HLine(0, 40, kTopRail);
  Resistor(c, 40, kTopRail, "R1");
  c.HLine(62, 104, kTopRail);
  Resistor(c, 104, kTopRail, "R2");
  c.HLine(126, 143, kTopRail);
  c.VLine(143, kTopRail, kMidRail);
  Junction(c, 80, kTopRail);

  // Amplifier with its two inputs.
  constexpr int kAmpLeft = 88;
  constexpr int kInvInput = 47;
  constexpr int kNonInvInput = 65;
  Amplifier(c, kAmpLeft, 38, 74, 123);
  SignAt(c, kAmpLeft + 4, kInvInput, '-');
  SignAt(c, kAmpLeft + 4, kNonInvInput, '+');
  c.VLine(80, kTopRail, kInvInput);
  c.HLine(80, kAmpLeft, kInvInput);
  c.VLine(80, kNonInvInput, kBottomRail);
  c.HLine(80, kAmpLeft, kNonInvInput);

  // Middle rail: amplifier output - junction - R5 - Out junction - right edge.
  c.HLine(123, 160, kMidRail);
  Resistor(c, 160, kMidRail, "R5");
  c.HLine(182, kWidth - 1, kMidRail);
  Junction(c, 143, kMidRail);
  Junction(c, 199, kMidRail);
  DrawText(c, 207, kMidRail - 4 - kGlyphHeight, "Out");
  c.VLine(199, kMidRail, kBottomRail);

  // Bottom rail: earth - R3 - junction - R4 - up to the Out junction.
  Earth(c, 19, kBottomRail);
  c.HLine(19, 40, kBottomRail);
  Resistor(c, 40, kBottomRail, "R3");
  c.HLine(62, 104, kBottomRail);
  Resistor(c, 104, kBottomRail, "R4");
  c.HLine(126, 199, kBottomRail);
  Junction(c, 80, kBottomRail);
  return c;
}

// ---- PNG writer -----------------------------------------------------------

void PutBE32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void PutChunk(std::vector<std::uint8_t>& out, const char (&type)[5], const std::vector<std::uint8_t>& data) {
  PutBE32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  const uLong crc = crc32(0L, out.data() + start, static_cast<uInt>(out.size() - start));
  PutBE32(out, static_cast<std::uint32_t>(crc));
}

// Encodes the canvas as an 8-bit RGB PNG, every row unfiltered.
std::vector<std::uint8_t> EncodePng(const Canvas& c) {
  std::vector<std::uint8_t> raw;
  raw.reserve(static_cast<std::size_t>(kHeight * (1 + 3 * kWidth)));
  for (int y = 0; y < kHeight; ++y) {
    raw.push_back(0);  // filter: none
    for (int x = 0; x < kWidth; ++x) {
      const std::uint8_t v = c.Ink(x, y) ? 0 : 255;
      raw.insert(raw.end(), {v, v, v});
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<std::uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK) {
    std::fprintf(stderr, "gen_schematic: compression failed\n");
    std::exit(1);
  }
  packed.resize(packedSize);

  std::vector<std::uint8_t> ihdr;
  PutBE32(ihdr, kWidth);
  PutBE32(ihdr, kHeight);
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // depth 8, RGB, deflate, adaptive filters, no interlace

  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  PutChunk(png, "IHDR", ihdr);
  PutChunk(png, "IDAT", packed);
  PutChunk(png, "IEND", {});
  return png;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen_schematic <output.png>\n");
    return 2;
  }
  const std::vector<std::uint8_t> png = EncodePng(DrawSchematic());
  std::FILE* f = std::fopen(argv[1], "wb");
  if (f == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  if (std::fclose(f) != 0 || !ok) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
