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

void CompareTexts(double x, std::int32_t decimals, std::int32_t width) {
  if (now::FixedDecimal(x, decimals) != before::FixedDecimal(x, decimals)) Fail("FixedDecimal", x, decimals, 0);
  if (now::FormatSI(x, width, decimals) != before::FormatSI(x, width, decimals)) Fail("FormatSI", x, width, decimals);
  if (now::FormatPadded(x, width, decimals) != before::FormatPadded(x, width, decimals)) {
    Fail("FormatPadded", x, width, decimals);
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

  // The last byte picks the decimals (-2 to 21) and the width (0 to 12).
  const std::uint8_t last = size > 0 ? data[size - 1] : 0;
  const std::int32_t decimals = last % 24 - 2;
  const std::int32_t width = last / 24 + 2 * (last % 2);
  CompareTexts(now::StrToValue(wide), decimals, width);
  CompareTexts(now::StrToValue(narrow), decimals, width);
  for (std::size_t i = 0; i + 8 <= size && i < 16; i += 8) {
    double x;
    std::memcpy(&x, data + i, sizeof x);
    CompareTexts(x, decimals, width);
  }
  now::SetDecimalSeparator(u'.');
  return 0;
}
