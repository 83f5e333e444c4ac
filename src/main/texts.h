// The program's user texts as constants, from main/texts.def (their one
// home, which the window's resources are made from too).
#pragma once

#include <string_view>

namespace velmora::main::texts {

#define VELMORA_TEXT(name, id, text) inline constexpr std::u16string_view name = u"" text;
#define VELMORA_HINT(name, id, text) inline constexpr std::u16string_view name = u"" text;
#include "main/texts.def"
#undef VELMORA_TEXT
#undef VELMORA_HINT

}  // namespace velmora::main::texts
