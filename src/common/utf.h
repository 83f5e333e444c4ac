// UTF-8 <-> UTF-16 conversion for the command line and tests, and texts
// with placeholders.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace velmora::common {

// Malformed input (bad or overlong sequences, lone surrogates) becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// `pattern` with each "{N}" (N a digit 1 to 9) replaced by values[N - 1];
// a placeholder without a value, and any other text, stays as it is.
std::u16string FillIn(std::u16string_view pattern, std::initializer_list<std::u16string_view> values);

}  // namespace velmora::common
