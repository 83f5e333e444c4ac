// StrToIntOrZero on arbitrary UTF-16 text: returns, and agrees with a plain
// reading of decimal text that fits in 32 bits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "main/series_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string text(size / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  const std::int32_t value = velmora::main::StrToIntOrZero(text);

  // Plain decimal digits (at most 9, so no range question): the number itself.
  if (!text.empty() && text.size() <= 9) {
    std::int64_t expected = 0;
    for (char16_t c : text) {
      if (c < u'0' || c > u'9') return 0;
      expected = expected * 10 + (c - u'0');
    }
    if (value != expected) std::abort();
  }
  return 0;
}
