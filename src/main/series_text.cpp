#include "main/series_text.h"

namespace velmora::main {

namespace {

int HexDigit(char16_t c) noexcept {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::int32_t> ReadWholeNumber(std::u16string_view text) noexcept {
  std::size_t i = 0;
  while (i < text.size() && text[i] == u' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
    negative = text[i] == u'-';
    ++i;
  }
  if (i == text.size()) return std::nullopt;

  const bool hex = text[i] == u'$' || text[i] == u'x' || text[i] == u'X' ||
                   (text[i] == u'0' && i + 1 < text.size() &&
                    (text[i + 1] == u'x' || text[i + 1] == u'X'));
  if (hex) {
    i += text[i] == u'0' ? 2 : 1;
    const std::size_t first = i;
    std::uint32_t value = 0;
    for (; i < text.size(); ++i) {
      const int d = HexDigit(text[i]);
      if (d < 0 || value > 0x0FFFFFFFu) break;  // a digit past 32 bits stops the number
      value = value * 16u + static_cast<std::uint32_t>(d);
    }
    if (i == first || i != text.size()) return std::nullopt;
    if (negative) value = 0u - value;  // wraps like the 32-bit register it models
    return static_cast<std::int32_t>(value);
  }

  const std::size_t first = i;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
    if (value > 2147483648LL) return std::nullopt;
  }
  if (i == first) return std::nullopt;
  if (negative) value = -value;
  if (value > 2147483647LL) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::int32_t StrToIntOrZero(std::u16string_view text) noexcept { return ReadWholeNumber(text).value_or(0); }

}  // namespace velmora::main
