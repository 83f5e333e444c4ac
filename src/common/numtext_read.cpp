// Engineering numbers read from text: the number syntax, RKM notation and
// SI prefix letters around one exact conversion. The digits are gathered as
// written and handed to std::from_chars, which gives the double nearest to
// the decimal number (ties to even), however many digits it has.
//
// Nothing here throws or traps: NaN is produced only where the contract asks
// for it, and every intermediate stays finite.
#include "common/numtext.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace velmora::common {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Enough significant digits to decide the rounding of any decimal number:
// a point halfway between two doubles has at most 768 significant digits,
// so the first 800 digits plus one "something non-zero follows" digit
// round exactly as the whole number does. The bound keeps the converter's
// text on the stack whatever the length of the input.
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
      text_[static_cast<std::size_t>(count_++)] = static_cast<char>('0' + digit);
    } else {
      ++dropped_;
      if (digit != 0) sticky_ = true;
    }
  }

  bool any() const { return any_; }
  std::int64_t fraction_digits() const { return fraction_digits_; }

  // The double nearest to the digits times 10^(exponent - fraction digits)
  // (ties to even), positive; NaN when it rounds beyond the largest double.
  // Digits past the buffer are replaced by a final 1 when any of them is
  // non-zero.
  double Value(std::int64_t exponent) {
    std::int64_t power = exponent - fraction_digits_ + dropped_;
    int count = count_;
    if (sticky_) {
      text_[static_cast<std::size_t>(count++)] = '1';
      --power;
    }
    if (count == 0) return 0.0;
    // The number lies in [10^(magnitude-1), 10^magnitude): beyond these
    // bounds it is out of range or under half the smallest subnormal, and
    // within them the power has at most four digits.
    const std::int64_t magnitude = count + power;
    if (magnitude > 310) return kNaN;
    if (magnitude < -330) return 0.0;
    char* const first = text_.data();
    char* last = first + count;
    *last++ = 'e';
    last = std::to_chars(last, first + text_.size(), power).ptr;
    double value = 0.0;
    const std::from_chars_result read = std::from_chars(first, last, value);
    if (read.ec == std::errc::result_out_of_range) return magnitude > 0 ? kNaN : 0.0;
    return read.ec != std::errc{} || std::isinf(value) ? kNaN : value;
  }

 private:
  std::array<char, kMaxDigits + 8> text_;  // digits, a sticky 1, "e-1131"
  int count_ = 0;
  std::int64_t fraction_digits_ = 0;
  std::int64_t dropped_ = 0;
  bool sticky_ = false;
  bool any_ = false;
};

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

// A power of ten as written (exponent less fraction digits) at or above this
// makes the number fail, even with a zero mantissa ("0e700").
constexpr std::int64_t kPowerTooLarge = 632;

// The value of a number read: its exact decimal value rounded to the nearest
// double, ties to even, 0 below half the smallest subnormal, however many
// digits it has and however small its written power ("600." and 632 zeros is
// 600). NaN beyond the largest double or for a written power of 632 or more.
double NumberValue(ReadNumber& number) {
  const std::int64_t written_power = number.exponent - number.digits.fraction_digits();
  if (written_power >= kPowerTooLarge) return kNaN;
  const double value = number.digits.Value(number.exponent);
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

}  // namespace

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

}  // namespace velmora::common
