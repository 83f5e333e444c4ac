// The window's string resources against the constants the core and the
// command line use: both are made from main/texts.def, by the resource
// compiler and by the C++ compiler, which must read it alike (code page,
// escapes, the hint offset).
#include "main/texts.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "common/win/win_text.h"
#include "main/win/resource.h"

namespace velmora::main {
namespace {

TEST(Texts, TheResourcesHoldWhatTheCoreUses) {
  struct Case {
    const char* name;
    UINT id;
    std::u16string_view text;
  };
  const Case cases[] = {
#define VELMORA_TEXT(name, id, text) {#name, id, texts::name},
#define VELMORA_HINT(name, id, text) {#name, (id) + HINT_OFFSET, texts::name},
#include "main/texts.def"
#undef VELMORA_TEXT
#undef VELMORA_HINT
  };
  const HINSTANCE self = GetModuleHandleW(nullptr);
  for (const Case& c : cases) {
    EXPECT_FALSE(c.text.empty()) << c.name;
    EXPECT_EQ(common::FromWide(common::LoadResourceText(self, c.id)), c.text) << c.name;
  }
  // The traps: a line break and characters beyond ASCII.
  EXPECT_EQ(texts::R5TooLarge.find(u"\r\n"), 11u);
  EXPECT_EQ(texts::LabelDecr, u"\u03B7");
}

}  // namespace
}  // namespace velmora::main
