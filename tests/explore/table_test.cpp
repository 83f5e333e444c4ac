// The table forms (text, CSV, JSON) read back.
#include "explore/table.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "designs.h"
#include "explore/explorer_tables.h"
#include "fp_testing.h"

namespace velmora::explore {
namespace {

using common::FpFault;
using main::DesignState;
using main::GainDb;
using main::SolveDesign;
using velmora::testing::FaultOf;
using velmora::testing::Same;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
using testing::Designed;
using testing::kDefault;

// ---------------------------------------------------------------------------
// Table forms

std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows(1);
  std::string field;
  bool quoted = false, fieldStarted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += text[++i];
      else if (c == '"') quoted = false;
      else field += c;
    } else if (c == '"') {
      quoted = fieldStarted = true;
    } else if (c == ',') {
      rows.back().push_back(field);
      field.clear();
    } else if (c == '\n') {
      if (!field.empty() || fieldStarted || !rows.back().empty()) rows.back().push_back(field);
      field.clear();
      fieldStarted = false;
      rows.emplace_back();
    } else {
      field += c;
    }
  }
  rows.pop_back();
  return rows;
}

// A JSON value: its members or elements, or its text (numbers exactly as
// written, strings unescaped; "null", "true", "false" as such).
struct Json {
  std::string text;
  bool isString = false;
  std::vector<std::string> keys;  // of an object, one per element
  std::vector<Json> elements;     // of an array or an object
};

// A pointer into the text that remembers the last character the parser read.
struct TrackedChar {
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;
  const char* at;
  const char** lastRead;
  const char& operator*() const { return *(*lastRead = at); }
  TrackedChar& operator++() { ++at; return *this; }
  TrackedChar operator++(int) { TrackedChar old = *this; ++at; return old; }
  bool operator==(const TrackedChar& other) const { return at == other.at; }
};

// Builds Json from the strict parser's events. Objects keep every member in
// order, repeated names too. A float comes with its text; an integer's text
// (so "-0" stays apart from "0") is cut from the input: the parser has read
// one character past the number, the one that ended it.
class JsonBuilder {
 public:
  explicit JsonBuilder(const char** lastRead) : lastRead_(lastRead) {}
  Json root;

  bool null() { return Put(Scalar("null")); }
  bool boolean(bool b) { return Put(Scalar(b ? "true" : "false")); }
  bool number_integer(std::int64_t x) { return PutInteger(x); }
  bool number_unsigned(std::uint64_t x) { return PutInteger(x); }
  bool number_float(double, const std::string& text) { return Put(Scalar(text)); }
  bool string(std::string& s) { return Put(Scalar(s, true)); }
  bool binary(nlohmann::json::binary_t&) { return false; }
  bool start_object(std::size_t) { return Open(); }
  bool start_array(std::size_t) { return Open(); }
  bool key(std::string& k) {
    open_.back()->keys.push_back(k);
    return true;
  }
  bool end_object() { return Close(); }
  bool end_array() { return Close(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::json::exception& e) {
    error = e.what();
    return false;
  }
  std::string error;

 private:
  template <class Int>
  bool PutInteger(Int x) {
    const char* end = *lastRead_;
    const char* begin = end;
    while (std::string_view("-0123456789").find(begin[-1]) != std::string_view::npos) --begin;
    Int read{};
    const auto [stop, fault] = std::from_chars(begin, end, read);
    EXPECT_TRUE(fault == std::errc() && stop == end && read == x) << std::string(begin, end);
    return Put(Scalar(std::string(begin, end)));
  }
  static Json Scalar(std::string text, bool isString = false) {
    Json v;
    v.text = std::move(text);
    v.isString = isString;
    return v;
  }
  bool Put(Json value) {
    if (open_.empty()) root = std::move(value);
    else open_.back()->elements.push_back(std::move(value));
    return true;
  }
  bool Open() {
    Put(Json());
    open_.push_back(open_.empty() ? &root : &open_.back()->elements.back());
    return true;
  }
  bool Close() {
    open_.pop_back();
    return true;
  }
  const char** lastRead_;
  std::vector<Json*> open_;  // each inside the one before, which gets nothing while it is open
};

// The document, or nothing if it is not strict JSON (RFC 8259): then `error`
// says why.
std::optional<Json> ReadJson(const std::string& text, std::string& error) {
  const char* lastRead = nullptr;
  JsonBuilder builder(&lastRead);
  const TrackedChar begin{text.data(), &lastRead}, end{text.data() + text.size(), &lastRead};
  if (!nlohmann::json::sax_parse(begin, end, &builder)) {
    error = builder.error;
    return std::nullopt;
  }
  return std::move(builder.root);
}

double ReadDouble(const std::string& text) {
  double x = kNaN;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), x);
  EXPECT_TRUE(error == std::errc() && end == text.data() + text.size()) << text;
  return x;
}

// The cell as CSV or JSON must carry it: the same double, digits, text or flag.
void ExpectCellReadsBack(const Cell& cell, const std::string& text, bool jsonString, bool json) {
  switch (cell.kind) {
    case Cell::Kind::Null: EXPECT_EQ(text, json ? "null" : ""); break;
    case Cell::Kind::Number: EXPECT_TRUE(Same(ReadDouble(text), cell.number)) << text; break;
    case Cell::Kind::Integer: EXPECT_EQ(text, cell.text); break;
    case Cell::Kind::Bool: EXPECT_EQ(text, cell.flag ? "true" : "false"); break;
    case Cell::Kind::Text:
      EXPECT_EQ(text, cell.text);
      if (json) {
        EXPECT_TRUE(jsonString);
      }
      break;
  }
}

std::vector<Table> AllKindsOfTables() {
  std::vector<Table> tables = SeriesTables(kDefault, ExploreSeries({0, 600, 10000, 1200, 200}, DefaultSeriesList()));
  for (Table& t : SearchTables(kDefault, TraceSearch(kDefault, 6))) tables.push_back(std::move(t));
  for (Table& t : ToleranceTables(AnalyseTolerance(Designed(kDefault, 6), {20, Distribution::Normal, 3000, 9})))
    tables.push_back(std::move(t));
  Table odd;
  odd.name = "odd";
  odd.columns = {{"x", "x"}, {"s", "s"}};
  for (double x : {-0.0, 0.1, 5e-324, 2.2250738585072014e-308, 1.7976931348623157e308, -123456789012.5, 1e21}) {
    odd.rows.push_back({Cell::Number(x), Cell::Text("a,b \"quoted\"\nline", "shown")});
  }
  odd.rows.push_back({Cell::Null(), Cell::Text("tab\there \\ back")});
  tables.push_back(odd);
  return tables;
}

TEST(TableForms, CsvReadsBackToTheSameValues) {
  const std::vector<Table> tables = AllKindsOfTables();
  const auto rows = ParseCsv(RenderTables(tables, TableFormat::Csv));
  std::size_t line = 0;
  for (const Table& t : tables) {
    SCOPED_TRACE(t.name);
    if (line > 0) {
      EXPECT_TRUE(rows.at(line++).empty());  // the blank line between tables
    }
    std::vector<std::string> keys;
    for (const auto& c : t.columns) keys.push_back(c.key);
    EXPECT_EQ(rows.at(line++), keys);
    for (const auto& row : t.rows) {
      const auto& fields = rows.at(line++);
      ASSERT_EQ(fields.size(), row.size());
      for (std::size_t i = 0; i < row.size(); ++i) ExpectCellReadsBack(row[i], fields[i], false, false);
    }
  }
  EXPECT_EQ(line, rows.size());
}

TEST(TableForms, JsonReadsBackToTheSameValues) {
  const std::vector<Table> tables = AllKindsOfTables();
  const std::string text = RenderTables(tables, TableFormat::Json, "\r\n");
  std::string error;
  const std::optional<Json> read = ReadJson(text, error);
  ASSERT_TRUE(read) << error;
  const Json& doc = *read;
  ASSERT_EQ(doc.keys.size(), tables.size());  // in order; the two "inputs" records repeat a name
  for (std::size_t n = 0; n < tables.size(); ++n) {
    const Table& t = tables[n];
    SCOPED_TRACE(t.name);
    EXPECT_EQ(doc.keys[n], t.name);
    std::vector<const Json*> objects;
    if (t.record) {
      objects.push_back(&doc.elements[n]);
    } else {
      for (const Json& e : doc.elements[n].elements) objects.push_back(&e);
    }
    ASSERT_EQ(objects.size(), t.rows.size());
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
      ASSERT_EQ(objects[r]->keys.size(), t.columns.size());
      for (std::size_t i = 0; i < t.columns.size(); ++i) {
        EXPECT_EQ(objects[r]->keys[i], t.columns[i].key);
        const Json& value = objects[r]->elements[i];
        ExpectCellReadsBack(t.rows[r][i], value.text, value.isString, true);
      }
    }
  }
}

TEST(TableForms, JsonReaderRefusesAMissingOrTrailingComma) {
  const std::string good = RenderTables(AllKindsOfTables(), TableFormat::Json);
  std::string error;
  ASSERT_TRUE(ReadJson(good, error)) << error;
  struct Corruption {
    std::string_view from, to;
    bool last;  // the last occurrence instead of the first
  };
  const Corruption corruptions[] = {
      {", \"",       " \"",        false},  // between members
      {"},\n    {", "}\n    {",    false},  // between rows
      {"],\n  \"",  "]\n  \"",     false},  // between tables
      {"}",         ",}",         false},  // after a record's last member
      {"}\n  ]",    "},\n  ]",    false},  // after a table's last row
      {"]\n}",      "],\n}",      true},   // after the last table
  };
  for (const Corruption& c : corruptions) {
    std::string bad = good;
    const std::size_t at = c.last ? bad.rfind(c.from) : bad.find(c.from);
    ASSERT_NE(at, std::string::npos) << c.from;
    bad.replace(at, c.from.size(), c.to);
    EXPECT_FALSE(ReadJson(bad, error)) << c.to;
  }
}

TEST(TableForms, TextColumnsAlignByCodePoint) {
  const std::vector<Table> tables = SeriesTables(kDefault, ExploreSeries(kDefault, DefaultSeriesList()));
  const std::string text = RenderTables({tables[1]}, TableFormat::Text);
  auto codePoints = [](std::string_view s) {
    return std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
  };
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  ASSERT_EQ(lines.size(), 2 + DefaultSeriesList().size());  // title, header, rows
  // "η %" ends where each η value ends; the series column holds "∞".
  const auto headingEnd = codePoints(lines[1].substr(0, lines[1].find("η %") + std::string("η %").size()));
  for (std::size_t i = 2; i < lines.size(); ++i) {
    const std::size_t eta = lines[i].find("89.4");
    ASSERT_NE(eta, std::string::npos) << lines[i];
    EXPECT_EQ(codePoints(lines[i].substr(0, eta + 4)), headingEnd) << lines[i];
  }
  EXPECT_EQ(lines[2].find("∞"), lines[2].find_first_not_of(' '));
}

}  // namespace
}  // namespace velmora::explore
