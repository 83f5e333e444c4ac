// StrToValue on arbitrary UTF-16 text: never an infinity, never a crash. Input
// made of digits and at most one point must also read as strtod reads it,
// however long (a power of ten far below -632 included).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/numtext.h"

namespace {

using velmora::common::StrToValue;

void CheckAgainstStrtod(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  std::string text(reinterpret_cast<const char*>(data), size);
  int points = 0;
  bool digit = false;
  for (char c : text) {
    if (c == '.') {
      ++points;
    } else if (c >= '0' && c <= '9') {
      digit = true;
    } else {
      return;
    }
  }
  if (points > 1 || !digit) return;
  const double expected = std::strtod(text.c_str(), nullptr);
  const double actual = StrToValue(std::u16string(text.begin(), text.end()));
  if (std::isinf(expected) ? !std::isnan(actual) : actual != expected) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  if (std::isinf(StrToValue(text))) std::abort();
  // The same bytes as one ASCII-range character each (prefix letters, digits,
  // separators all reachable by mutation).
  if (std::isinf(StrToValue(std::u16string(data, data + size)))) std::abort();
  CheckAgainstStrtod(data, size);
  return 0;
}
