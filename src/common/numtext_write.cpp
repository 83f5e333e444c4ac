// Engineering numbers written as text: the fixed-decimal conversion behind
// every number the program shows, and the SI prefix form. It works from the
// exact value of the double: the everyday magnitudes in 128-bit integers,
// the others from std::to_chars, both giving the same 18-digit expansion.
//
// Nothing here throws or traps: "INF" and "NAN" are written for the special
// values, and every intermediate stays finite.
#include "common/numtext.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>

namespace velmora::common {
namespace {

// A padding width beyond this is taken as this, so that a wild width cannot
// ask for gigabytes of spaces. The result display uses widths below 10.
constexpr std::int32_t kMaxWidth = 1024;

constexpr std::uint64_t kPow10_17 = 100000000000000000ULL;
constexpr std::uint64_t kPow10_18 = 1000000000000000000ULL;

// The value of `count` decimal digits.
std::uint64_t DigitValue(const char* digits, int count) {
  std::uint64_t v = 0;
  for (int i = 0; i < count; ++i) v = v * 10 + static_cast<std::uint64_t>(digits[i] - '0');
  return v;
}

// The most significant digits the exact decimal value of a double can have
// (767), with room to spare.
constexpr int kExactDigits = 780;

// The multiple of `spacing` nearest to the exact product P = |x| * 10^k of
// the expansion when P rounded to an integer is `halfway`, the midpoint of
// two such multiples: the exact digits of x tell whether P lies below it,
// above it or on it (then the even multiple).
std::uint64_t ResolveHalfway(double x, std::uint64_t halfway, std::uint64_t spacing) {
  std::array<char, kExactDigits + 16> text;  // "d." digits "e-324"
  const char* const end = std::to_chars(text.data(), text.data() + text.size(), std::fabs(x),
                                        std::chars_format::scientific, kExactDigits - 1).ptr;
  text[1] = text[0];  // the digits without the point, from text[1]
  const std::uint64_t floor = DigitValue(&text[1], 18);
  bool inexact = false;
  for (const char* p = &text[19]; p < end && *p != 'e'; ++p) inexact = inexact || *p != '0';
  const std::uint64_t below = halfway - spacing / 2;
  if (floor < halfway) return below;
  if (inexact) return below + spacing;
  return (below / spacing) % 2 == 0 ? below : below + spacing;
}

// The 18-digit expansion |x| = 0.D * 10^exponent.
struct Expansion {
  std::uint64_t d;  // 10^17 <= d < 10^18
  int exponent;
};

constexpr std::array<std::uint64_t, 20> MakePow10() {
  std::array<std::uint64_t, 20> p{};
  p[0] = 1;
  for (std::size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
  return p;
}
constexpr std::array<std::uint64_t, 20> kPow10 = MakePow10();  // up to 10^19

// The expansion of the everyday magnitudes, 0.01 <= |x| < 10^17 or so, in
// 128-bit integers: |x| = m 2^q, and with s = 18 - exponent <= 19 the
// product m 10^s fits in 128 bits, so P = |x| 10^s is known exactly (its
// integer part and whether a fraction follows) and rounds to the nearest
// double, ties to even, as Expand defines D. False outside that range.
bool ExpandInIntegers(double x, Expansion& out) {
  int binary_exponent = 0;
  const double fraction = std::frexp(std::fabs(x), &binary_exponent);  // |x| = fraction 2^e, fraction in [0.5, 1)
  if (binary_exponent < -6 || binary_exponent > 56) return false;
  const auto m = static_cast<std::uint64_t>(std::ldexp(fraction, 53));  // exact: 53 bits
  const int q = binary_exponent - 53;
  // 10^(exponent - 1) <= |x| < 10^exponent: a first guess from the binary
  // exponent (log10 2 < 78913 / 2^18), then one step either way on the exact product.
  int exponent = ((binary_exponent - 1) * 78913 >> 18) + 1;
  for (;;) {
    const int s = 18 - exponent;
    if (s < 0 || s > 19) return false;
    const unsigned __int128 product = static_cast<unsigned __int128>(m) * kPow10[static_cast<std::size_t>(s)];
    unsigned __int128 whole = product;
    bool inexact = false;
    if (q < 0) {
      whole = product >> -q;
      inexact = (product & ((static_cast<unsigned __int128>(1) << -q) - 1)) != 0;
    } else {
      whole = product << q;
    }
    if (whole < kPow10_17) {
      --exponent;
      continue;
    }
    if (whole >= kPow10_18) {
      ++exponent;
      continue;
    }
    auto d = static_cast<std::uint64_t>(whole);
    const std::uint64_t spacing = std::uint64_t{1} << (std::bit_width(d) - 53);
    const std::uint64_t low = d & (spacing - 1), half = spacing / 2;
    d -= low;
    if (low > half || (low == half && (inexact || (d / spacing) % 2 != 0))) d += spacing;
    if (d == kPow10_18) {  // rounded up to the next power of ten
      d = kPow10_17;
      ++exponent;
    }
    out = {d, exponent};
    return true;
  }
}

// D is the exact product |x| * 10^(18 - exponent) rounded to a double (an
// integer of 18 digits; the doubles there lie 16 to 128 apart); x finite and
// non-zero. The product rounded to an integer rounds to the same double
// unless it is itself a midpoint between two of them.
Expansion Expand(double x) {
  if (Expansion everyday; ExpandInIntegers(x, everyday)) return everyday;
  std::array<char, 32> text;  // "d." 17 digits "e-324"
  const char* const end = std::to_chars(text.data(), text.data() + text.size(), std::fabs(x),
                                        std::chars_format::scientific, 17).ptr;
  std::uint64_t d = DigitValue(text.data(), 1) * kPow10_17 + DigitValue(&text[2], 17);
  const char* p = &text[20];  // past "e"
  const bool negative = *p++ == '-';
  int exponent = static_cast<int>(DigitValue(p, static_cast<int>(end - p)));
  exponent = (negative ? -exponent : exponent) + 1;
  const std::uint64_t spacing = std::uint64_t{1} << (std::bit_width(d) - 53);
  const std::uint64_t low = d & (spacing - 1);
  if (low == spacing / 2) {
    d = ResolveHalfway(x, d, spacing);
  } else {
    d = d - low + (low > spacing / 2 ? spacing : 0);
  }
  if (d == kPow10_18) {  // rounded up to the next power of ten
    d = kPow10_17;
    ++exponent;
  }
  return {d, exponent};
}


// The digits kept after rounding, value 0.K * 10^exponent; none for a value
// that rounds to zero. At most 18 (17 and a carry).
struct Rounded {
  std::array<char, 18> digits;
  int count = 0;
  int exponent = 0;
};

// Keeps the digits of D before position exponent + decimals (at most 17);
// the digit there rounds them up from 5, halves away from zero, and a carry
// out of the first digit adds a 1 and raises the exponent (99.96 -> 100.0).
Rounded RoundExpansion(const Expansion& ex, int decimals) {
  Rounded r;
  r.exponent = ex.exponent;
  const int pos = std::min(ex.exponent + decimals, 17);
  if (pos < 0) return r;
  const std::uint64_t unit = kPow10[static_cast<std::size_t>(18 - pos)];
  std::uint64_t kept = ex.d / unit;  // exactly pos digits (none for pos 0)
  if (ex.d % unit >= unit / 2) ++kept;
  r.count = pos;
  if (kept == kPow10[static_cast<std::size_t>(pos)]) {
    ++r.count;
    ++r.exponent;
  }
  for (int i = r.count - 1; i >= 0; --i) {
    r.digits[static_cast<std::size_t>(i)] = static_cast<char>('0' + kept % 10);
    kept /= 10;
  }
  return r;
}

// Longest fixed-decimal text: sign, 17 integer digits, separator, 17 decimals.
constexpr int kMaxFixedChars = 40;
using FixedBuffer = std::array<char16_t, kMaxFixedChars>;

// Appends ASCII text; returns the new length.
int Put(FixedBuffer& out, int len, const char* text) {
  while (*text != '\0') out[static_cast<std::size_t>(len++)] = static_cast<char16_t>(*text++);
  return len;
}

int PutChar(FixedBuffer& out, int len, char16_t c) {
  out[static_cast<std::size_t>(len)] = c;
  return len + 1;
}

// Fixed form (exponent <= 17): integer digits or "0", then the separator and
// exactly `decimals` decimals.
int WriteFixedForm(const Rounded& r, int decimals, char16_t separator, FixedBuffer& out, int len) {
  auto digit_at = [&r](int j) -> char16_t {
    return (j >= 0 && j < r.count) ? static_cast<char16_t>(r.digits[static_cast<std::size_t>(j)]) : u'0';
  };
  if (r.exponent <= 0) {
    len = PutChar(out, len, u'0');
  } else {
    for (int j = 0; j < r.exponent; ++j) len = PutChar(out, len, digit_at(j));
  }
  if (decimals > 0) {
    len = PutChar(out, len, separator);
    for (int j = r.exponent; j < r.exponent + decimals; ++j) len = PutChar(out, len, digit_at(j));
  }
  return len;
}

// Exponent form (exponent > 17): significant digits without trailing zeros,
// "E", and exponent - 1 padded with zeros to `decimals` digits when
// decimals <= 4.
int WriteExponentForm(const Rounded& r, int decimals, char16_t separator, FixedBuffer& out, int len) {
  int count = r.count;
  while (count > 1 && r.digits[static_cast<std::size_t>(count - 1)] == '0') --count;
  len = PutChar(out, len, static_cast<char16_t>(r.digits[0]));
  if (count > 1) {
    len = PutChar(out, len, separator);
    for (int j = 1; j < count; ++j) len = PutChar(out, len, static_cast<char16_t>(r.digits[static_cast<std::size_t>(j)]));
  }
  len = PutChar(out, len, u'E');
  char exp_digits[8] = {};
  int n = 0;
  for (int e = r.exponent - 1; e > 0 || n == 0; e /= 10) exp_digits[n++] = static_cast<char>('0' + e % 10);
  for (int pad = decimals <= 4 ? decimals - n : 0; pad > 0; --pad) len = PutChar(out, len, u'0');
  while (n > 0) len = PutChar(out, len, static_cast<char16_t>(exp_digits[--n]));
  return len;
}

// Decimals as written: above 18 means 2, at most 17, below 0 means 0.
int EffectiveDecimals(std::int32_t decimals) {
  if (decimals > 18) return 2;
  if (decimals > 17) return 17;
  return decimals < 0 ? 0 : decimals;
}

// The fixed-decimal text of x into out; returns its length.
int WriteFixedDecimal(double x, std::int32_t decimals_in, FixedBuffer& out) {
  if (std::isnan(x)) return Put(out, 0, "NAN");
  if (std::isinf(x)) return Put(out, 0, x < 0 ? "-INF" : "INF");
  const int decimals = EffectiveDecimals(decimals_in);
  Rounded r;
  if (x != 0.0) r = RoundExpansion(Expand(x), decimals);
  if (r.count == 0) r.exponent = 0;  // zero, whatever its sign
  int len = 0;
  if (std::signbit(x) && r.count > 0) len = PutChar(out, len, u'-');
  const char16_t separator = DecimalSeparator();
  return r.exponent <= 17 ? WriteFixedForm(r, decimals, separator, out, len)
                          : WriteExponentForm(r, decimals, separator, out, len);
}

// `text` preceded by spaces up to min(width, kMaxWidth) characters, then `tail`.
std::u16string Padded(std::u16string_view text, std::int32_t width, std::u16string_view tail = {}) {
  const std::size_t target = static_cast<std::size_t>(width < 0 ? 0 : (width > kMaxWidth ? kMaxWidth : width));
  const std::size_t pad = target > text.size() ? target - text.size() : 0;
  std::u16string result;
  result.reserve(pad + text.size() + tail.size());
  result.append(pad, u' ');
  result.append(text);
  result.append(tail);
  return result;
}

// One space, width - 2 asterisks (none below width 3), one space.
std::u16string AsteriskPattern(std::int32_t width) {
  const std::int32_t w = width > kMaxWidth ? kMaxWidth : width;
  std::u16string result(u" ");
  if (w >= 3) result.append(static_cast<std::size_t>(w - 2), u'*');
  result.push_back(u' ');
  return result;
}

// SI prefix ranges: index i covers |x| from kSiDivisor[i] up to the next.
constexpr std::array<double, 9> kSiDivisor = {1e-12, 1e-9, 1e-6, 1e-3, 1.0, 1e3, 1e6, 1e9, 1e12};
constexpr std::array<std::u16string_view, 9> kSiPrefix = {u"p", u"n", u"u", u"m", u"", u"k", u"M", u"G", u"T"};
constexpr std::size_t kUnitIndex = 4;

// The prefix index of a non-NaN x: the unit range for zero, otherwise the
// highest range whose lower bound |x| reaches ("p" below 1e-9 too).
std::size_t SiIndex(double x) {
  if (x == 0.0) return kUnitIndex;
  const double magnitude = std::fabs(x);
  std::size_t index = 0;
  while (index < 8 && magnitude >= kSiDivisor[index + 1]) ++index;
  return index;
}

}  // namespace

// Negative decimals are taken as 0.
std::u16string FixedDecimal(double x, std::int32_t decimals) noexcept {
  FixedBuffer buffer;
  const int len = WriteFixedDecimal(x, decimals, buffer);
  return std::u16string(buffer.data(), static_cast<std::size_t>(len));
}

// Widths beyond 1024 pad to 1024 characters.
std::u16string FormatPadded(double x, std::int32_t width, std::int32_t decimals) noexcept {
  FixedBuffer buffer;
  const int len = WriteFixedDecimal(x, decimals, buffer);
  return Padded(std::u16string_view(buffer.data(), static_cast<std::size_t>(len)), width);
}

std::u16string FormatFixed(double x, std::int32_t width, std::int32_t decimals) noexcept {
  if (std::isnan(x)) return AsteriskPattern(width);
  return FormatPadded(x, width, decimals);
}

// A NaN shows the asterisk pattern at the full width, with no prefix.
std::u16string FormatSI(double x, std::int32_t width, std::int32_t decimals) noexcept {
  if (std::isnan(x)) return AsteriskPattern(width);
  const std::size_t index = SiIndex(x);
  FixedBuffer buffer;
  const int len = WriteFixedDecimal(x / kSiDivisor[index], decimals, buffer);
  const std::int32_t field = width > 0 ? width - 1 : 0;
  return Padded(std::u16string_view(buffer.data(), static_cast<std::size_t>(len)), field, kSiPrefix[index]);
}

}  // namespace velmora::common
