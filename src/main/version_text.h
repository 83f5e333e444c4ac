// The version shown in the main window's title.
#pragma once

#include <cstdint>
#include <string>

namespace velmora::main {

// Major and minor numbers of a fixed file version's most significant 32 bits
// (major in the high 16 bits): "1.01" for 1.1, "1.123" for 1.123, "12.00" for
// 12.0. The minor number gets a leading zero below 10; the major none.
std::u16string VersionTextFrom(std::uint32_t fileVersionMS);

// Used when the executable has no readable version resource.
inline constexpr std::uint32_t kNoVersion = 0xFFFFFFFFu;

}  // namespace velmora::main
