// UTF-8 <-> UTF-16 conversion for the command line and tests.
#pragma once

#include <string>
#include <string_view>

namespace velmora::common {

// Malformed input (bad or overlong sequences, lone surrogates) becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace velmora::common
