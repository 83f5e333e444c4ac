// The number text conversions on <charconv> against the earlier hand-written
// ones (numtext_reference.inc): the same parsed bits (both NaN counts as the
// same) and the same texts, for any input, separator, double, width and count
// of decimals.
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/numtext.h"
#include "numtext_reference.inc"

namespace {

namespace now = velmora::common;
namespace before = velmora::numtext_reference;

void Fail(const char* what, double x, std::int32_t a, std::int32_t b) {
  std::fprintf(stderr, "%s differs: %a (%d, %d)\n", what, x, a, b);
  std::abort();
}

void CompareParse(const std::u16string& text) {
  const double a = now::StrToValue(text);
  const double b = before::StrToValue(text);
  const bool same = std::isnan(a) ? std::isnan(b)
                                  : std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
  if (!same) Fail("StrToValue", b, 0, 0);
}

void CompareTexts(double x, std::int32_t extra) {
  for (const std::int32_t d : {3, 17, extra}) {
    if (now::FixedDecimal(x, d) != before::FixedDecimal(x, d)) Fail("FixedDecimal", x, d, 0);
  }
  const std::int32_t shapes[][2] = {{8, 3}, {extra % 12, extra}};
  for (const auto& [w, d] : shapes) {
    if (now::FormatSI(x, w, d) != before::FormatSI(x, w, d)) Fail("FormatSI", x, w, d);
    if (now::FormatPadded(x, w, d) != before::FormatPadded(x, w, d)) Fail("FormatPadded", x, w, d);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  now::SetDecimalSeparator(size > 0 && data[0] % 4 == 0 ? u',' : u'.');
  std::u16string wide;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    wide.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  const std::u16string narrow(data, data + size);
  CompareParse(wide);
  CompareParse(narrow);

  const std::int32_t extra = size > 0 ? data[size - 1] % 24 - 2 : 0;  // -2 to 21
  CompareTexts(now::StrToValue(wide), extra);
  CompareTexts(now::StrToValue(narrow), extra);
  for (std::size_t i = 0; i + 8 <= size && i < 32; i += 8) {
    double x;
    std::memcpy(&x, data + i, sizeof x);
    CompareTexts(x, extra);
  }
  now::SetDecimalSeparator(u'.');
  return 0;
}
