// Every kind of character that the writers replace or escape, through the
// writers themselves and with texts the command line would refuse before they
// got there: control characters, quotes, line breaks, non-ASCII, text that is
// not UTF-8. Each case is the exact text written. (The netlist's:
// tests/response/netlist_escape_test.cpp.)
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/svg.h"
#include "common/utf.h"
#include "designs.h"
#include "explore/histogram_picture.h"
#include "explore/table.h"

namespace velmora::explore {
namespace {

using namespace std::string_literals;  // "\0"s keeps its NUL
using testing::Designed;
using testing::kDefault;

struct Case {
  const char* what;
  std::string in, out;
};

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

// Every SVG the program writes escapes its texts with common::SvgEscaped.
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
  for (const Case& c : cases) EXPECT_EQ(common::SvgEscaped(c.in), c.out) << c.what;
}

}  // namespace
}  // namespace velmora::explore
