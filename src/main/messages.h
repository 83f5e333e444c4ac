// The two input warnings of the design, for programs without the window's
// string resources (the command-line designer and the tests).
#pragma once

#include <string_view>

#include "main/texts.h"

namespace velmora::main {

inline constexpr std::u16string_view kR5TooLargeText = texts::R5TooLarge;
inline constexpr std::u16string_view kR3TooSmallText = texts::R3TooSmall;

}  // namespace velmora::main
