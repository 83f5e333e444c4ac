// The user texts as the program holds them against the list the test scripts
// read: one reader makes both from src/main/texts.txt, and they must agree
// (code page, the \r\n escapes, nothing left out).
#include "main/texts.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>

#include "common/utf.h"

namespace velmora::main {
namespace {

// name -> text of generated/velmora_texts.tsv, its escapes turned into the
// characters they stand for.
std::map<std::string, std::u16string> ScriptsTexts() {
  std::ifstream in(VELMORA_BINARY_DIR "/generated/velmora_texts.tsv", std::ios::binary);
  EXPECT_TRUE(in.good());
  std::map<std::string, std::u16string> texts;
  for (std::string line; std::getline(in, line);) {
    const std::size_t tab = line.find('\t');
    std::string text = line.substr(tab + 1);
    for (std::size_t at = 0; (at = text.find('\\', at)) != std::string::npos; ++at)
      text.replace(at, 2, text[at + 1] == 'r' ? "\r" : "\n");
    texts[line.substr(0, tab)] = common::Utf8ToUtf16(text);
  }
  return texts;
}

TEST(Texts, TheConstantsHoldWhatTheScriptsRead) {
  const std::map<std::string, std::u16string> scripts = ScriptsTexts();
  ASSERT_EQ(scripts.size(), texts::kEveryText.size());
  for (const texts::NamedText& t : texts::kEveryText) {
    EXPECT_FALSE(t.text.empty()) << t.name;
    const auto it = scripts.find(std::string(t.name));
    ASSERT_NE(it, scripts.end()) << t.name;
    EXPECT_EQ(it->second, t.text) << t.name;
  }
  // The traps: a line break and characters beyond ASCII.
  EXPECT_EQ(texts::R5TooLarge.find(u"\r\n"), 11u);
  EXPECT_EQ(texts::LabelDecr, u"\u03B7");
}

}  // namespace
}  // namespace velmora::main
