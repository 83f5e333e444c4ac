// Engineering numbers as text. Both directions are exact: parsing gives the
// double nearest to the decimal written, and the fixed-decimal conversion
// works from the exact value of the double. Two small exact-arithmetic paths
// (a fixed-size big integer) cover long inputs and extreme exponents; the
// everyday range runs on 64/128-bit integers.
//
// Nothing here throws or traps: infinities and NaN are produced only where
// the contract asks for them, and every intermediate stays finite.
#include "common/numtext.h"

#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <algorithm>
#include <cstring>
#include <limits>

namespace velmora::common {
namespace {

std::atomic<char16_t> g_separator{u'.'};

// A padding width beyond this is taken as this, so that a wild width cannot
// ask for gigabytes of spaces. The result display uses widths below 10.
constexpr std::int32_t kMaxWidth = 1024;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ---------------------------------------------------------------------------
// Big unsigned integers of fixed capacity.

// An unsigned integer of up to 4096 bits, little-endian 32-bit limbs. Every
// caller below states why its numbers fit; the operations do not check.
class BigUint {
 public:
  static constexpr int kLimbs = 128;

  BigUint() = default;
  explicit BigUint(std::uint64_t v) {
    while (v != 0) {
      limb_[static_cast<std::size_t>(size_++)] = static_cast<std::uint32_t>(v);
      v >>= 32;
    }
  }

  bool IsZero() const { return size_ == 0; }

  int BitLength() const {
    if (size_ == 0) return 0;
    return 32 * (size_ - 1) + static_cast<int>(std::bit_width(Limb(size_ - 1)));
  }

  // The low 64 bits.
  std::uint64_t Low64() const {
    std::uint64_t v = size_ > 0 ? Limb(0) : 0;
    if (size_ > 1) v |= std::uint64_t{Limb(1)} << 32;
    return v;
  }

  // *this = *this * factor + addend.
  void MulAdd(std::uint32_t factor, std::uint32_t addend) {
    std::uint64_t carry = addend;
    for (int i = 0; i < size_; ++i) {
      std::uint64_t t = std::uint64_t{Limb(i)} * factor + carry;
      SetLimb(i, static_cast<std::uint32_t>(t));
      carry = t >> 32;
    }
    if (carry != 0) SetLimb(size_++, static_cast<std::uint32_t>(carry));
  }

  void MulPow5(int exponent) {
    constexpr std::uint32_t kPow5To13 = 1220703125;  // 5^13, the largest below 2^32
    for (; exponent >= 13; exponent -= 13) MulAdd(kPow5To13, 0);
    std::uint32_t rest = 1;
    for (; exponent > 0; --exponent) rest *= 5;
    MulAdd(rest, 0);
  }

  void ShiftLeft(int bits) {
    if (size_ == 0 || bits <= 0) return;
    const int limbs = bits / 32;
    const int rest = bits % 32;
    SetLimb(size_ + limbs, 0);
    for (int i = size_ - 1; i >= 0; --i) {
      const std::uint64_t wide = std::uint64_t{Limb(i)} << rest;
      SetLimb(i + limbs + 1, Limb(i + limbs + 1) | static_cast<std::uint32_t>(wide >> 32));
      SetLimb(i + limbs, static_cast<std::uint32_t>(wide));
    }
    for (int i = 0; i < limbs; ++i) SetLimb(i, 0);
    size_ += limbs + 1;
    Trim();
  }

  // Shifts right by `bits`; returns whether a non-zero bit was shifted out.
  bool ShiftRight(int bits) {
    if (bits <= 0) return false;
    const int limbs = bits / 32;
    const int rest = bits % 32;
    if (limbs >= size_) {
      const bool lost = size_ != 0;
      size_ = 0;
      return lost;
    }
    bool lost = false;
    for (int i = 0; i < limbs; ++i) lost = lost || Limb(i) != 0;
    if (rest != 0) lost = lost || (Limb(limbs) & ((std::uint32_t{1} << rest) - 1)) != 0;
    for (int i = limbs; i < size_; ++i) {
      std::uint64_t wide = Limb(i);
      if (i + 1 < size_) wide |= std::uint64_t{Limb(i + 1)} << 32;
      SetLimb(i - limbs, static_cast<std::uint32_t>(wide >> rest));
    }
    size_ -= limbs;
    Trim();
    return lost;
  }

  // *this -= other; requires *this >= other.
  void Subtract(const BigUint& other) {
    std::int64_t borrow = 0;
    for (int i = 0; i < size_; ++i) {
      std::int64_t t = std::int64_t{Limb(i)} - borrow - (i < other.size_ ? std::int64_t{other.Limb(i)} : 0);
      borrow = t < 0 ? 1 : 0;
      if (t < 0) t += std::int64_t{1} << 32;
      SetLimb(i, static_cast<std::uint32_t>(t));
    }
    Trim();
  }

  friend int Compare(const BigUint& a, const BigUint& b) {
    if (a.size_ != b.size_) return a.size_ < b.size_ ? -1 : 1;
    for (int i = a.size_ - 1; i >= 0; --i) {
      if (a.Limb(i) != b.Limb(i)) return a.Limb(i) < b.Limb(i) ? -1 : 1;
    }
    return 0;
  }

 private:
  std::uint32_t Limb(int i) const { return limb_[static_cast<std::size_t>(i)]; }
  void SetLimb(int i, std::uint32_t v) { limb_[static_cast<std::size_t>(i)] = v; }
  void Trim() {
    while (size_ > 0 && Limb(size_ - 1) == 0) --size_;
  }

  std::array<std::uint32_t, kLimbs> limb_{};
  int size_ = 0;
};

// floor(num / den) for a quotient known to be below 2^qbits (qbits <= 64);
// num is left holding the remainder. Needs room for den * 2^(qbits-1).
std::uint64_t DivideSmallQuotient(BigUint& num, const BigUint& den, int qbits) {
  BigUint shifted = den;
  shifted.ShiftLeft(qbits - 1);
  std::uint64_t quotient = 0;
  for (int bit = qbits - 1; bit >= 0; --bit) {
    if (Compare(num, shifted) >= 0) {
      num.Subtract(shifted);
      quotient |= std::uint64_t{1} << bit;
    }
    shifted.ShiftRight(1);
  }
  return quotient;
}

// Powers of ten that doubles hold exactly.
constexpr std::array<double, 23> kExactPow10 = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// ---------------------------------------------------------------------------
// Decimal to double.

// Enough significant digits to decide the rounding of any decimal number:
// a point halfway between two doubles has at most 768 significant digits,
// so the first 800 digits plus one "something non-zero follows" digit
// compare with every halfway point exactly as the whole number does.
constexpr int kMaxDigits = 800;

// The digits of a decimal number as they are read, with the count of those
// written after the decimal separator.
class DecimalDigits {
 public:
  void Add(int digit, bool fraction) {
    any_ = true;
    if (fraction) ++fraction_digits_;
    if (count_ == 0 && digit == 0) return;  // leading zero
    if (count_ < kMaxDigits) {
      digits_[static_cast<std::size_t>(count_++)] = static_cast<std::uint8_t>(digit);
    } else {
      ++dropped_;
      if (digit != 0) sticky_ = true;
    }
  }

  bool any() const { return any_; }
  std::int64_t fraction_digits() const { return fraction_digits_; }

  // The significant digits and the power of ten that gives the number's
  // value (digits * 10^power) for a written exponent; digits past the
  // buffer are replaced by a final 1 when any of them is non-zero.
  int Finish(std::int64_t exponent, std::int64_t* power) {
    *power = exponent - fraction_digits_ + dropped_;
    int count = count_;
    if (sticky_) {
      digits_[static_cast<std::size_t>(count++)] = 1;
      --*power;
    }
    return count;
  }
  const std::uint8_t* digits() const { return digits_.data(); }

 private:
  std::array<std::uint8_t, kMaxDigits + 1> digits_{};
  int count_ = 0;
  std::int64_t fraction_digits_ = 0;
  std::int64_t dropped_ = 0;
  bool sticky_ = false;
  bool any_ = false;
};

// The double built from q * 2^e (q < 2^53, e >= -1074, q >= 2^52 unless
// e == -1074), or NaN when it reaches 2^1024.
double AssembleDouble(std::uint64_t q, int e) {
  constexpr std::uint64_t kHidden = std::uint64_t{1} << 52;
  if (q < kHidden) return std::bit_cast<double>(q);  // subnormal or zero
  const int biased = e + 52 + 1023;
  if (biased >= 2047) return kNaN;
  return std::bit_cast<double>((static_cast<std::uint64_t>(biased) << 52) | (q - kHidden));
}

// floor(log2(num / den)) for non-zero num and den.
int FloorLog2Ratio(const BigUint& num, const BigUint& den) {
  const int diff = num.BitLength() - den.BitLength();
  BigUint a = num;
  BigUint b = den;
  if (diff >= 0) {
    b.ShiftLeft(diff);
  } else {
    a.ShiftLeft(-diff);
  }
  return Compare(a, b) >= 0 ? diff : diff - 1;
}

// The double nearest to digits * 10^power (ties to even), positive; NaN when
// it rounds beyond the largest double. `digits` holds `count` decimal digits
// (0..9, count <= kMaxDigits + 1).
double NearestDouble(const std::uint8_t* digits, int count, std::int64_t power) {
  while (count > 0 && digits[count - 1] == 0) {
    --count;
    ++power;
  }
  if (count == 0) return 0.0;
  if (count + power > 310) return kNaN;  // at least 10^310
  if (count + power < -330) return 0.0;  // below 10^-330, under half the smallest subnormal
  const int p = static_cast<int>(power);

  if (count <= 15 && p >= -22 && p <= 22) {
    // Both operands exact, one rounding.
    std::uint64_t n = 0;
    for (int i = 0; i < count; ++i) n = n * 10 + digits[i];
    const double mantissa = static_cast<double>(n);
    return p >= 0 ? mantissa * kExactPow10[static_cast<std::size_t>(p)]
                  : mantissa / kExactPow10[static_cast<std::size_t>(-p)];
  }

  // value = num / den exactly. Sizes: num < 10^310 (~1030 bits) when p >= 0;
  // otherwise num < 10^801 and den = 10^-p with -p <= 1131 (~3760 bits).
  BigUint num;
  for (int i = 0; i < count; ++i) num.MulAdd(10, digits[i]);
  BigUint den(1);
  if (p >= 0) {
    num.MulPow5(p);
    num.ShiftLeft(p);
  } else {
    den.MulPow5(-p);
    den.ShiftLeft(-p);
  }
  const int log2 = FloorLog2Ratio(num, den);
  if (log2 >= 1024) return kNaN;
  // Scale so that the quotient holds 53 bits (fewer in the subnormal range).
  int e = log2 - 52;
  if (e < -1074) e = -1074;
  if (e < 0) {
    num.ShiftLeft(-e);  // at most 2661 + 1074 bits
  } else {
    den.ShiftLeft(e);
  }
  std::uint64_t q = DivideSmallQuotient(num, den, 54);  // q < 2^53
  num.ShiftLeft(1);
  const int half = Compare(num, den);
  if (half > 0 || (half == 0 && (q & 1) != 0)) ++q;
  if (q == std::uint64_t{1} << 53) {
    q >>= 1;
    ++e;
  }
  return AssembleDouble(q, e);
}

// The number as read by the number syntax (and the RKM digits, which count as
// fraction digits).
struct ReadNumber {
  bool negative = false;
  bool plain = true;  // sign and integer digits only
  std::int64_t exponent = 0;
  DecimalDigits digits;
};

constexpr bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

constexpr bool IsNumberChar(char16_t c) {
  return IsDigit(c) || c == u'+' || c == u'-' || c == u'.' || c == u'E' || c == u'e';
}

// Walks a text as if every comma and every space had been removed from it.
class CleanReader {
 public:
  explicit CleanReader(std::u16string_view text) : text_(text) { Skip(); }
  bool AtEnd() const { return pos_ >= text_.size(); }
  char16_t Peek() const { return AtEnd() ? char16_t{0} : text_[pos_]; }
  void Next() {
    ++pos_;
    Skip();
  }
  // Moves past characters with codes of U+0020 and below.
  void SkipControls() {
    while (!AtEnd() && text_[pos_] <= u' ') Next();
  }

 private:
  void Skip() {
    while (pos_ < text_.size() && (text_[pos_] == u',' || text_[pos_] == u' ')) ++pos_;
  }
  std::u16string_view text_;
  std::size_t pos_ = 0;
};

// Exponent digits are taken while the value stays at or below this.
constexpr std::int64_t kMaxExponentValue = 1024;

// Reads the exponent after "E"; false when it has no digit.
bool ReadExponent(CleanReader& in, std::int64_t* exponent) {
  bool negative = false;
  if (in.Peek() == u'+' || in.Peek() == u'-') {
    negative = in.Peek() == u'-';
    in.Next();
  }
  if (!IsDigit(in.Peek())) return false;
  std::int64_t value = 0;
  while (IsDigit(in.Peek())) {
    const std::int64_t next = value * 10 + (in.Peek() - u'0');
    if (next > kMaxExponentValue) break;  // not taken: the text fails below
    value = next;
    in.Next();
  }
  *exponent = negative ? -value : value;
  return true;
}

// Reads the number part: sign, digits, separator and digits, exponent. False
// when it does not follow the syntax or when a number character follows
// what the syntax took.
bool ReadNumberPart(CleanReader& in, char16_t separator, ReadNumber& number) {
  if (in.Peek() == u'+' || in.Peek() == u'-') {
    number.negative = in.Peek() == u'-';
    in.Next();
  }
  while (IsDigit(in.Peek())) {
    number.digits.Add(in.Peek() - u'0', false);
    in.Next();
  }
  if (!in.AtEnd() && in.Peek() == separator) {
    number.plain = false;
    in.Next();
    while (IsDigit(in.Peek())) {
      number.digits.Add(in.Peek() - u'0', true);
      in.Next();
    }
  }
  if (!number.digits.any()) return false;
  if (in.Peek() == u'E' || in.Peek() == u'e') {
    number.plain = false;
    in.Next();
    if (!ReadExponent(in, &number.exponent)) return false;
  }
  return in.AtEnd() || !IsNumberChar(in.Peek());
}

// Powers of ten at or beyond these make the number fail or vanish.
constexpr std::int64_t kPowerTooLarge = 632;

// The value of a number read, or NaN when it does not fit in a double.
double NumberValue(ReadNumber& number) {
  const std::int64_t written_power = number.exponent - number.digits.fraction_digits();
  if (written_power >= kPowerTooLarge) return kNaN;
  double value = 0.0;
  if (written_power > -kPowerTooLarge) {
    std::int64_t power = 0;
    const int count = number.digits.Finish(number.exponent, &power);
    value = NearestDouble(number.digits.digits(), count, power);
  }
  return number.negative ? -value : value;
}

// SI prefix letters, looked up in this order; position j (from 0) of either
// string selects column j % 8 of kPrefixScale. Later duplicates are never
// reached, so "m" is milli, "M" mega and "P" pico.
constexpr std::u16string_view kAsciiPrefixes = u"pnumkMgtPNUmKMGT";
constexpr std::u16string_view kWidePrefixes =
    u"\uFF50\uFF4E\uFF55\uFF4D\uFF4B\uFF2D\uFF47\uFF54"   // full-width p n u m k M g t
    u"\uFF30\uFF2E\uFF35\uFF4D\uFF2B\uFF2D\uFF27\uFF34"   // full-width P N U m K M G T
    u"\uFF30\uFF2E\u03BC\uFF4D\uFF2B\uFF2D\uFF27\uFF34";  // the same with Greek mu
// Columns 0-3 divide by the value, columns 4-7 multiply.
constexpr std::array<double, 8> kPrefixScale = {1e12, 1e9, 1e6, 1e3, 1e3, 1e6, 1e9, 1e12};
constexpr int kNoPrefix = -1;

// The column of a prefix letter, or kNoPrefix. All letters lie outside the
// surrogate range, so the first code unit of a surrogate pair never matches.
int PrefixColumn(char16_t c) {
  for (std::u16string_view letters : {kAsciiPrefixes, kWidePrefixes}) {
    const std::size_t j = letters.find(c);
    if (j != std::u16string_view::npos) return static_cast<int>(j % 8);
  }
  return kNoPrefix;
}

// value scaled by a prefix column; NaN when the product leaves the doubles.
double ApplyPrefix(double value, int column) {
  const double scale = kPrefixScale[static_cast<std::size_t>(column)];
  if (column < 4) return value / scale;  // shrinks: never overflows
  const double scaled = value * scale;
  return std::isinf(scaled) ? kNaN : scaled;
}

// Text without the characters of U+0020 and below at both ends.
std::u16string_view TrimControls(std::u16string_view text) {
  while (!text.empty() && text.front() <= u' ') text.remove_prefix(1);
  while (!text.empty() && text.back() <= u' ') text.remove_suffix(1);
  return text;
}

// ---------------------------------------------------------------------------
// Double to decimal digits.

// A finite non-zero |x| as m * 2^q with m below 2^53.
struct Binary {
  std::uint64_t m;
  int q;
};

Binary Decompose(double x) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  if (biased == 0) return {fraction, -1074};
  return {fraction | (std::uint64_t{1} << 52), biased - 1075};
}

// floor(m * 2^q * 10^s) and whether that floor is inexact; `large` instead
// when the product is at least 2^63 (then it is at least 10^18).
struct ScaledFloor {
  std::uint64_t floor = 0;
  bool inexact = false;
  bool large = false;
};

constexpr std::array<std::uint64_t, 28> MakePow5() {
  std::array<std::uint64_t, 28> p{};
  p[0] = 1;
  for (std::size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 5;
  return p;
}
constexpr std::array<std::uint64_t, 28> kPow5 = MakePow5();  // 5^27 < 2^63

using Uint128 = unsigned __int128;

// The everyday case, 0 <= s <= 27: m * 5^s < 2^116 fits in 128 bits.
ScaledFloor ScaleSmall(std::uint64_t m, int q, int s) {
  const Uint128 n = Uint128{m} * kPow5[static_cast<std::size_t>(s)];
  const int t = q + s;  // the product is n * 2^t
  ScaledFloor r;
  if (t >= 0) {
    if (t >= 63 || (n >> (63 - t)) != 0) {
      r.large = true;
    } else {
      r.floor = static_cast<std::uint64_t>(n << t);
    }
    return r;
  }
  const int shift = -t;
  if (shift >= 128) {
    r.inexact = n != 0;
    return r;
  }
  const Uint128 whole = n >> shift;
  r.inexact = (n & ((Uint128{1} << shift) - 1)) != 0;
  if ((whole >> 63) != 0) {
    r.large = true;
  } else {
    r.floor = static_cast<std::uint64_t>(whole);
  }
  return r;
}

// Any s from -292 to 342, with big integers: m * 5^s stays below 2^850 and
// m * 2^q below 2^1024; the divisor 5^-s below 2^680.
ScaledFloor ScaleBig(std::uint64_t m, int q, int s) {
  ScaledFloor r;
  BigUint n(m);
  if (s >= 0) {
    n.MulPow5(s);
    const int t = q + s;
    if (t >= 0) {
      if (n.BitLength() + t > 63) {
        r.large = true;
        return r;
      }
      n.ShiftLeft(t);
    } else {
      r.inexact = n.ShiftRight(-t);
    }
    if (n.BitLength() > 63) {
      r.large = true;
    } else {
      r.floor = n.Low64();
    }
    return r;
  }
  // m * 2^q / 10^k = (m * 2^(q-k)) / 5^k.
  const int k = -s;
  BigUint den(1);
  den.MulPow5(k);
  const int shift = q - k;
  if (shift >= 0) {
    n.ShiftLeft(shift);
  } else {
    den.ShiftLeft(-shift);
  }
  const int diff = n.BitLength() - den.BitLength();  // quotient in [2^(diff-1), 2^(diff+1))
  if (diff >= 64) {
    r.large = true;
    return r;
  }
  if (diff < -1) {
    r.inexact = true;  // 0 < quotient < 1
    return r;
  }
  const std::uint64_t quotient = DivideSmallQuotient(n, den, 64);
  if ((quotient >> 63) != 0) {
    r.large = true;
  } else {
    r.floor = quotient;
    r.inexact = !n.IsZero();
  }
  return r;
}

ScaledFloor ScaleByPow10(const Binary& b, int s) {
  return (s >= 0 && s <= 27) ? ScaleSmall(b.m, b.q, s) : ScaleBig(b.m, b.q, s);
}

// The double nearest to the integer `floor` plus a fraction that is non-zero
// when `inexact` (ties to even), for 2^56 <= floor < 2^60: the low 4 to 7
// bits go.
std::uint64_t RoundTo53Bits(std::uint64_t floor, bool inexact) {
  const int drop = static_cast<int>(std::bit_width(floor)) - 53;
  const std::uint64_t unit = std::uint64_t{1} << drop;
  const std::uint64_t low = floor & (unit - 1);
  const std::uint64_t half = unit >> 1;
  std::uint64_t kept = floor - low;
  const bool odd = (kept & unit) != 0;
  if (low > half || (low == half && (inexact || odd))) kept += unit;
  return kept;
}

constexpr std::uint64_t kPow10_17 = 100000000000000000ULL;
constexpr std::uint64_t kPow10_18 = 1000000000000000000ULL;

// floor(n * log10(2)) for |n| up to about 1600.
int FloorLog10Pow2(int n) { return (n * 78913) >> 18; }

// The 18-digit expansion |x| = 0.D * 10^exponent.
struct Expansion {
  std::uint64_t d;  // 10^17 <= d < 10^18
  int exponent;
};

// D is the exact product |x| * 10^(18 - exponent) rounded to a double (an
// integer of 18 digits); x finite and non-zero.
Expansion Expand(double x) {
  const Binary b = Decompose(x);
  // |x| lies in [2^(e2-1), 2^e2); the exponent sought is one of the two
  // next to the estimate, and the loop walks towards it (both tests are
  // monotone in the exponent, so it cannot come back).
  const int e2 = static_cast<int>(std::bit_width(b.m)) + b.q;
  int exponent = FloorLog10Pow2(e2 - 1) + 1;
  ScaledFloor sc;
  for (;;) {
    sc = ScaleByPow10(b, 18 - exponent);
    if (!sc.large && sc.floor >= kPow10_18 && sc.floor / 10 < kPow10_18) {
      // One digit too many: floor(P / 10) comes from floor(P) directly.
      sc.inexact = sc.inexact || sc.floor % 10 != 0;
      sc.floor /= 10;
      ++exponent;
    }
    if (sc.large || sc.floor >= kPow10_18) {
      ++exponent;
    } else if (sc.floor < kPow10_17) {
      --exponent;
    } else {
      break;
    }
  }
  std::uint64_t d = RoundTo53Bits(sc.floor, sc.inexact);
  if (d == kPow10_18) {  // rounded up to the next power of ten
    d = kPow10_17;
    ++exponent;
  }
  return {d, exponent};
}

constexpr std::array<std::uint64_t, 19> MakePow10() {
  std::array<std::uint64_t, 19> p{};
  p[0] = 1;
  for (std::size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
  return p;
}
constexpr std::array<std::uint64_t, 19> kPow10 = MakePow10();

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

void SetDecimalSeparator(char16_t separator) noexcept {
  g_separator.store(separator, std::memory_order_relaxed);
}

char16_t DecimalSeparator() noexcept { return g_separator.load(std::memory_order_relaxed); }

// Commas and spaces are dropped as the text is read; the number characters
// are fixed, so a separator other than "." (or ",", which is dropped) can
// never be typed. RKM notation ("4k7", "2R2") applies when the number part
// is a plain integer and a prefix letter or "R" is followed directly by
// digits: those digits are the fraction, as if written "4.7k".
double StrToValue(std::u16string_view text) noexcept {
  CleanReader in(TrimControls(text));
  ReadNumber number;
  if (!ReadNumberPart(in, DecimalSeparator(), number)) return kNaN;
  in.SkipControls();
  const char16_t letter = in.Peek();
  const int column = in.AtEnd() ? kNoPrefix : PrefixColumn(letter);
  if (number.plain && (column != kNoPrefix || letter == u'R')) {
    in.Next();
    while (IsDigit(in.Peek())) {
      number.digits.Add(in.Peek() - u'0', true);
      in.Next();
    }
  }
  const double value = NumberValue(number);
  if (std::isnan(value) || column == kNoPrefix) return value;
  return ApplyPrefix(value, column);
}

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
