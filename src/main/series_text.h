// The series selector's text as a whole number.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace velmora::main {

// Leading spaces, an optional sign, then decimal digits or a hexadecimal form
// ("$", "x", "X", "0x", "0X" prefix; 32-bit wrap-around). Returns 0 for any
// text that is not such a whole number, including trailing spaces and values
// out of the signed 32-bit range. Never throws.
std::int32_t StrToIntOrZero(std::u16string_view text) noexcept;

// The same syntax, telling a text that is no whole number (nullopt) apart
// from one that writes 0 ("0", "-0", "$0").
std::optional<std::int32_t> ReadWholeNumber(std::u16string_view text) noexcept;

}  // namespace velmora::main
