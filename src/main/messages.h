// The two input warnings of the design, for programs without the window's
// string resources (the command-line designer and the tests).
#pragma once

#include <string_view>

namespace velmora::main {

inline constexpr std::u16string_view kR5TooLargeText = u"R5の値が大き過ぎます\r\n値を小さくしてください";
inline constexpr std::u16string_view kR3TooSmallText = u"R3の値が小さ過ぎます\r\n値を大きくしてください";

}  // namespace velmora::main
