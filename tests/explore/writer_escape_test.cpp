// Every kind of character that the writers replace or escape, through the
// writers themselves and with texts the command line would refuse before they
// got there: control characters, quotes, line breaks, non-ASCII, text that is
// not UTF-8. Each case is the exact text written.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/utf.h"
#include "designs.h"
#include "explore/histogram_picture.h"
#include "explore/netlist.h"
#include "explore/table.h"

namespace velmora::explore {
namespace {

using namespace std::string_literals;  // "\0"s keeps its NUL
using testing::Designed;
using testing::kDefault;

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
  const main::DesignState state = Designed(kDefault, 24);
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

// One table with one text cell, as JSON: `"t": [{"k": CELL}]`.
std::string JsonOf(const std::string& name, const std::string& key, const std::string& cell) {
  Table t;
  t.name = name;
  t.columns = {{key, "heading"}};
  t.rows = {{Cell::Text(cell, "shown")}};
  return RenderTables({t}, TableFormat::Json);
}

TEST(WriterEscapes, JsonStrings) {
  const Case cases[] = {
      {"quote",              "a\"b",              R"("a\"b")"},
      {"backslash",          "a\\b",              R"("a\\b")"},
      {"line feed, CR, tab", "\n\r\t",            R"("\u000a\u000d\u0009")"},
      {"NUL and U+001F",     "\0\x1f"s,           R"("\u0000\u001f")"},
      {"escape",             "\x1b[0m",           R"("\u001b[0m")"},
      {"space, / and ~ stay", " /~",              R"(" /~")"},
      {"DEL and C1 stay",    "\x7f\xC2\x85",      "\"\x7f\xC2\x85\""},  // JSON allows them as they are
      {"non-ASCII stays",    "Ω∞ １０ｋ",          "\"Ω∞ １０ｋ\""},
      {"U+2028 stays",       "\xE2\x80\xA8",      "\"\xE2\x80\xA8\""},
      {"beyond the BMP",     "😀",                "\"😀\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JsonOf("t", "k", c.in), "{\n  \"t\": [\n    {\"k\": " + c.out + "}\n  ]\n}\n") << c.what;
  }
  // Names and keys go through the same escapes.
  EXPECT_EQ(JsonOf("a\"\n", "\\\x01", "x"), "{\n  \"a\\\"\\u000a\": [\n    {\"\\\\\\u0001\": \"x\"}\n  ]\n}\n");
}

TEST(WriterEscapes, CsvFields) {
  const Case cases[] = {
      {"plain",                 "abc",      "abc"},
      {"comma",                 "a,b",      "\"a,b\""},
      {"quote: doubled",        "say \"hi\"", "\"say \"\"hi\"\"\""},
      {"line feed",             "a\nb",     "\"a\nb\""},
      {"carriage return",       "a\rb",     "\"a\rb\""},
      {"CR LF",                 "a\r\nb",   "\"a\r\nb\""},
      {"quote alone",           "\"",       "\"\"\"\""},
      {"tab stays bare",        "a\tb",     "a\tb"},
      {"other controls bare",   "\0\x1b\x7f"s, "\0\x1b\x7f"s},
      {"spaces and ; stay bare", " a; b ",  " a; b "},
      {"non-ASCII bare",        "Ω∞😀",     "Ω∞😀"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CellField(Cell::Text(c.in, "shown")), c.out) << c.what;
    Table t;
    t.columns = {{"k", "heading"}};
    t.rows = {{Cell::Text(c.in)}};
    EXPECT_EQ(RenderTables({t}, TableFormat::Csv, "\r\n"), "k\r\n" + c.out + "\r\n") << c.what;
  }
}

TEST(WriterEscapes, SvgText) {
  const Case cases[] = {
      {"markup",               "<a & b>",       "&lt;a &amp; b&gt;"},
      {"double quote",         "\"q\"",         "&quot;q&quot;"},
      {"single quote stays",   "it's",          "it's"},  // the attributes are in double quotes
      {"an entity is escaped again", "&amp;",   "&amp;amp;"},
      {"tab, LF, CR stay",     "\t\n\r",        "\t\n\r"},
      {"other C0: no XML",     "\0\x01\x1b\x1f"s, "????"},
      {"DEL and C1 stay",      "\x7f\xC2\x85",  "\x7f\xC2\x85"},
      {"non-ASCII stays",      "Ω ≤ ∞",         "Ω ≤ ∞"},
  };
  for (const Case& c : cases) EXPECT_EQ(explore::SvgText(c.in), c.out) << c.what;
}

}  // namespace
}  // namespace velmora::explore
