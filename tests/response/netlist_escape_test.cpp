// Every kind of character the netlist writer replaces, through the writer
// itself and with texts the command line would refuse before they got there:
// control characters, line breaks, non-ASCII, text that is not UTF-8. Each
// case is the exact line written.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "common/utf.h"
#include "main/design.h"
#include "response/netlist.h"

namespace velmora::response {
namespace {

using namespace std::string_literals;  // "\0"s keeps its NUL

constexpr std::string_view kFffd = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

struct Case {
  const char* what;
  std::string in, out;
};

// The netlist quotes the texts as typed in its second line, a comment: no
// character may end that line, and the file stays UTF-8.
TEST(WriterEscapes, NetlistComment) {
  const std::string r = std::string(kFffd);
  const Case cases[] = {
      {"line feed",           "1\n0",              "1?0"},
      {"carriage return",     "1\r0",              "1?0"},
      {"tab",                 "\t600",             "?600"},
      {"NUL",                 "6\0"s "00",         "6?00"},
      {"escape, U+001F",      "\x1b[0m\x1f",       "?[0m?"},
      {"DEL",                 "60\x7f",            "60?"},
      {"C1: U+0080, NEL, U+009F", "\xC2\x80" "1\xC2\x85" "2\xC2\x9F", "?1?2?"},
      {"space and ~ stay",    " 6~0 ",             " 6~0 "},
      {"no-break space stays", "600\xC2\xA0",      "600\xC2\xA0"},  // U+00A0, just past the C1 block
      {"quote and backslash", "\"600\\",           "\"600\\"},
      {"non-ASCII",           "10kΩ µ ∞ １０ｋ",    "10kΩ µ ∞ １０ｋ"},
      {"line separator stays", "6\xE2\x80\xA8" "0", "6\xE2\x80\xA8" "0"},  // U+2028: no line end to SPICE
      {"beyond the BMP",      "600😀",             "600😀"},
      {"stray continuation",  "6\x80" "0",         "6" + r + "0"},
      {"truncated at the end", "600\xE2\x88",      "600" + r + r},
      {"encoded surrogate",   "\xED\xA0\x80",      r + r + r},
      {"overlong slash",      "\xC0\xAF",          r + r},
      {"beyond U+10FFFF",     "\xF4\x90\x80\x80",  r + r + r + r},
      {"lone surrogate of a box", common::Utf16ToUtf8(u"6\xD800" "0"), "6" + r + "0"},
  };
  main::DesignState state;
  ASSERT_EQ(main::SolveDesign(0.0, 600, 10e3, 10e3, 68, 24, state), main::DesignOutcome::Success);
  const std::string plain = MakeNetlist({"600", "0", "10k", "10k", "68", "24"}, state, "\r\n");
  for (const Case& c : cases) {
    for (const int field : {0, 5}) {  // Zo, the first text quoted, and the series, the last
      NetlistInputs in{"600", "0", "10k", "10k", "68", "24"};
      (field == 0 ? in.zo : in.series) = c.in;
      const std::string netlist = MakeNetlist(in, state, "\r\n");
      const std::string expected = field == 0
          ? "* Inputs: Zo \"" + c.out + "\", gain \"0\" dB, R1 \"10k\", R3 \"10k\", R5 \"68\", series \"24\"\r\n"
          : "* Inputs: Zo \"600\", gain \"0\" dB, R1 \"10k\", R3 \"10k\", R5 \"68\", series \"" + c.out + "\"\r\n";
      const std::size_t start = netlist.find("\r\n") + 2;
      EXPECT_EQ(netlist.substr(start, netlist.find("\r\n", start) + 2 - start), expected) << c.what;
      // Only that line differs from the netlist of plain texts.
      EXPECT_EQ(netlist.substr(start + expected.size()), plain.substr(plain.find("\r\n", start) + 2)) << c.what;
    }
  }
}

}  // namespace
}  // namespace velmora::response
