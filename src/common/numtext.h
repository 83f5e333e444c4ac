// Engineering numbers as text: parsing with SI prefix letters, and the one
// fixed-decimal conversion behind every number the program shows.
//
// Strings are UTF-16 (char16_t). None of these functions throws.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora::common {

// The decimal separator accepted by StrToValue and written by the formatters.
// Default '.'; the Windows program feeds it from the user's regional settings.
void SetDecimalSeparator(char16_t separator) noexcept;
char16_t DecimalSeparator() noexcept;

// Text with an optional SI prefix letter (and RKM notation such as "4k7") to
// a double in base units: the decimal number as written, every digit counted,
// rounded to nearest (ties to even), 0 below the smallest subnormal, then
// scaled by the prefix. Returns NaN when the text holds no number, when its
// exponent passes 1024, when its power of ten as written (exponent less
// fraction digits) is 632 or more, or when the value, scaled or not, passes
// the largest double; never an infinity; never throws.
double StrToValue(std::u16string_view text) noexcept;

// The fixed-decimal conversion: x with `decimals` decimals (a value above 18
// is taken as 2; at most 17 are written), halves away from zero on the 18-digit
// expansion, no sign on a value that rounds to zero, exponent form from 1e17.
// "INF", "-INF", "NAN" for the special values. No padding.
std::u16string FixedDecimal(double x, std::int32_t decimals) noexcept;

// FixedDecimal padded on the left with spaces to at least `width` characters;
// never cut. This is the result display's "%7.3f" / "%3.1f".
std::u16string FormatPadded(double x, std::int32_t width, std::int32_t decimals) noexcept;

// As FormatPadded, but a NaN shows as one space, width-2 asterisks, one space.
std::u16string FormatFixed(double x, std::int32_t width, std::int32_t decimals) noexcept;

// x scaled to its SI prefix range (p n u m - k M G T), written by FormatFixed
// with width-1, followed by the prefix letter. Infinities take "T"; a NaN
// (which no caller passes) shows FormatFixed's asterisk pattern at full width.
std::u16string FormatSI(double x, std::int32_t width, std::int32_t decimals) noexcept;

}  // namespace velmora::common
