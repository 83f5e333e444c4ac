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

using velmora::testing::Same;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
using testing::Designed;
using testing::kDefault;
using testing::kNegative;

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
  for (Table& t : SearchTables(kDefault, TraceSearch(kDefault.WithSeries(6)))) tables.push_back(std::move(t));
  for (Table& t : ToleranceTables(AnalyseTolerance(Designed(kDefault, 6), {20, Distribution::Normal, 3000, 9})))
    tables.push_back(std::move(t));
  Table odd;
  odd.name = "odd";
  odd.columns = {{"x", "x"}, {"s", "s"}};
  for (double x : {-0.0, 0.1, 5e-324, 2.2250738585072014e-308, 1.7976931348623157e308, -123456789012.5, 1e21}) {
    odd.rows.push_back({Cell::Number(x), Cell::Text("a,b \"quoted\"\nline", "shown")});
  }
  odd.rows.push_back({Cell::Null(), Cell::Text("tab\there \\ back")});
  std::string controls(1, '\0');  // JSON spells each as \u00XX
  for (char c = 1; c < 0x20; ++c) controls += c;
  odd.rows.push_back({Cell::Null(), Cell::Text(controls)});
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

// ---------------------------------------------------------------------------
// The explorer's tables as people read them

std::vector<std::string> TextLines(const std::vector<Table>& tables) {
  const std::string text = RenderTables(tables, TableFormat::Text);
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

std::vector<Table> Concat(std::vector<Table> a, const std::vector<Table>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<Table> Search(const DesignInputs& in, std::int32_t er) {
  return SearchTables(in, TraceSearch(in.WithSeries(er)));
}

std::vector<Table> Series(const DesignInputs& in, const std::vector<std::int32_t>& list) {
  return SeriesTables(in, ExploreSeries(in, list));
}

// The text form against the README's examples, and the designs it does not
// show: every outcome, each note under the search, an unstable tolerance box.
TEST(ExplorerText, ReadsAsDocumented) {
  const std::string inputs = "Inputs:  Zo 600.000  Gain dB 0.000  R1 10.000k  R3 10.000k  R5 68.000";
  const std::string series = "Series      R2      R4        Zo  Zo error %  Gain dB  Gain error dB     Zio   η %  Outcome";
  const std::string empty = "Series  R2  R4  Zo  Zo error %  Gain dB  Gain error dB  Zio  η %  Outcome";
  const DesignInputs faulting{0, 600, 10000, 1200, 200}, late{0, 600, 10000, 10000, 470}, small{0, 600, 10000, 900, 68};
  struct Case { const char* what; std::vector<Table> tables; std::vector<std::string> lines; };
  const auto Unstable = [&] {  // its stability and sensitivity tables
    const std::vector<Table> t = ToleranceTables(AnalyseTolerance(Designed(kNegative, 3), {5, Distribution::Uniform, 10, 1}));
    return std::vector<Table>{t[3], t[4]};
  };
  const Case cases[] = {
      {"every series", Series(kDefault, DefaultSeriesList()), {
          inputs, "", "Every series", series,
          "     ∞  2.267k  3.758k  600.000        0.000    0.000          0.000  4.075k  89.4  ok",
          "     3  1.000k  2.200k  654.259        9.043   -6.740         -6.740  5.591k  89.4  ok",
          "     6  3.300k  4.700k  680.926       13.488    3.795          3.795  3.079k  89.4  ok",
          "    12  1.800k  3.300k  576.786       -3.869   -2.175         -2.175  4.656k  89.4  ok",
          "    24  2.400k  3.900k  602.806        0.468    0.517          0.517  3.952k  89.4  ok",
          "    48  2.150k  3.650k  591.964       -1.339   -0.518         -0.518  4.217k  89.4  ok",
          "    96  2.260k  3.740k  603.566        0.594    0.000          0.000  4.065k  89.4  ok",
          "   192  2.290k  3.790k  598.036       -0.327    0.075          0.075  4.064k  89.4  ok"}},
      {"a fault", std::vector<Table>{Series(faulting, {3})[1]}, {
          "Every series",
          "Series       R2      R4  Zo  Zo error %  Gain dB  Gain error dB  Zio  η %  Outcome",
          "     3  10.000k  2.200k  -   -           -        -              -    -    Floating point division by zero."}},
      {"R5 too large, not a number", Concat(Series(late, {24}), Series({kNaN, 600, 10000, 10000, 68}, {24})), {
          "Inputs:  Zo 600.000  Gain dB 0.000  R1 10.000k  R3 10.000k  R5 470.000", "", "Every series", empty,
          "    24  -   -   -   -           -        -              -    -    R5 too large", "",
          "Inputs:  Zo 600.000  Gain dB -  R1 10.000k  R3 10.000k  R5 68.000", "", "Every series", empty,
          "    24  -   -   -   -           -        -              -    -    not a number"}},
      {"R3 too small", std::vector<Table>{Series(small, {24})[1]}, {
          "Every series",
          "Series      R2        R4        Zo  Zo error %  Gain dB  Gain error dB     Zio   η %  Outcome",
          "    24  2.000k  240.000   605.625        0.937   -1.047         -1.047  4.156k  85.3  R3 too small"}},
      {"a pair skipped", Search(kDefault, 6), {
          inputs, "",
          "Neighbour search:  series 6  searched yes  complete yes  rounded R2 2.200k  rounded R4 3.300k  "
          "chosen R2 3.300k  chosen R4 4.700k  outcome ok", "",
          "    r4      r2          t          m",
          "3.300k  2.200k   774.315    1.290525  beaten later",
          "3.300k  1.500k   484.154    1.239275  beaten later",
          "3.300k  3.300k    13.300k  22.166667",
          "2.200k  2.200k    12.200k  20.333333",
          "2.200k  1.500k     1.080k   1.800347",
          "2.200k  3.300k  -803.876           -  skipped: t ≤ 0",
          "4.700k  2.200k   389.252    1.541417",
          "4.700k  1.500k   305.875    1.961585",
          "4.700k  3.300k   680.926    1.134877  won"}},
      {"no series", std::vector<Table>{Search(kDefault, 0)[1], Search(kDefault, 0)[2]}, {
          "Neighbour search:  series ∞  searched no  complete no  rounded R2 -  rounded R4 -  "
          "chosen R2 2.267k  chosen R4 3.758k  outcome ok", "",
          "No series (∞): R2 and R4 keep their exact values; there is no neighbour search."}},
      {"ends before the search", std::vector<Table>{Search(late, 24)[1], Search(late, 24)[2]}, {
          "Neighbour search:  series 24  searched no  complete no  rounded R2 -  rounded R4 -  "
          "chosen R2 -  chosen R4 -  outcome R5 too large", "",
          "The calculation ended before the neighbour search."}},
      {"a fault in the search", std::vector<Table>{Search(faulting, 6)[1], Search(faulting, 6)[2]}, {
          "Neighbour search:  series 6  searched yes  complete no  rounded R2 6.800k  rounded R4 1.500k  "
          "chosen R2 6.800k  chosen R4 1.500k  outcome Floating point division by zero.", "",
          "    r4       r2         t         m",
          "1.500k   6.800k  610.860   1.018100  best so far",
          "1.500k   4.700k  475.352   1.262222",
          "1.500k  10.000k    1.080k  1.800000",
          "1.000k   6.800k    1.146k  1.909722",
          "1.000k   4.700k  691.824   1.153040",
          "A floating-point fault stopped the search after 5 of 9 pairs."}},
      {"no pair qualifies", std::vector<Table>{Search(kNegative, 3)[2]}, {
          "      r4         r2          t  m",
          "100.000k   -47.000k  -616.438   -  skipped: t ≤ 0",
          "100.000k   -22.000k  -743.802   -  skipped: t ≤ 0",
          "100.000k  -100.000k  -452.261   -  skipped: t ≤ 0",
          " 47.000k   -47.000k  -397.849   -  skipped: t ≤ 0",
          " 47.000k   -22.000k  -544.118   -  skipped: t ≤ 0",
          " 47.000k  -100.000k  -253.425   -  skipped: t ≤ 0",
          "220.000k   -47.000k  -789.474   -  skipped: t ≤ 0",
          "220.000k   -22.000k  -871.369   -  skipped: t ≤ 0",
          "220.000k  -100.000k  -658.307   -  skipped: t ≤ 0",
          "No pair has a positive output impedance: the rounded pair stays."}},
      {"tolerance", ToleranceTables(AnalyseTolerance(Designed(kDefault, 24), {5, Distribution::Uniform, 100000, 1})), {
          "Tolerance:  series 24  ±% 5  distribution uniform  samples 100000  seed 1  Zo 600.000  R1 10.000k  "
          "R2 2.400k  R3 10.000k  R4 3.900k  R5 68.000", "",
          "                          Zo  Gain dB       Zio    η %",
          "nominal             602.806     0.517    3.952k  89.43",
          "worst case min      418.858    -2.012    2.481k  88.94",
          "worst case max        1.023k    3.516    5.301k  89.92",
          "mean                610.312     0.530    3.949k  89.43",
          "standard deviation   71.698     0.754  417.540    0.27",
          "1st percentile      478.476    -1.088    3.005k  88.97",
          "99th percentile     806.487     2.280    4.858k  89.89",
          "Monte Carlo: 100000 of 100000 samples stable; worst case: 32 of 32 corners stable, 3677 points evaluated.", "",
          "Worst case from:  Zo the corners  Gain the corners  Zio the corners  η the corners", "",
          "Unstable (Zo not positive and finite):  nominal stable yes  samples 0  corners 0  search points 0", "",
          "Sensitivity: change for +1 % on one resistor",
          "       Zo %   Gain %",
          "R1  -1.4928  -1.7330",
          "R2   1.5544   1.7771",
          "R3   2.2850   1.1269",
          "R4  -2.1531  -1.0858",
          "R5   0.9562  -0.5201", "",
          "Acceptance window:  Zo from 540.000  to 660.000  gain dB from -1.000  to 1.000  "
          "samples inside both 51311  of 100000", "",
          "Yield, unstable circuits outside:  share % 51.31  95 % Wilson score interval from 51.00  to 51.62"}},
      {"an unstable design", Unstable(), {
          "Unstable (Zo not positive and finite):  nominal stable NO  samples 10  corners 32  search points 6802", "",
          "Sensitivity: change for +1 % on one resistor",  // none without a stable nominal circuit
          "    Zo %  Gain %",
          "R1  -     -",
          "R2  -     -",
          "R3  -     -",
          "R4  -     -",
          "R5  -     -"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(TextLines(c.tables), c.lines);
  }
  // Unstable within the tolerance: the notes and the way the worst case was found.
  const std::vector<Table> unstable =
      ToleranceTables(AnalyseTolerance(Designed(kDefault, 6), {20, Distribution::Normal, 2000, 1}));
  const std::vector<std::string> lines = TextLines({unstable[1], unstable[2], unstable[3]});
  const std::vector<std::string> tail(lines.begin() + 8, lines.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
      "Monte Carlo: 1996 of 2000 samples stable; worst case: 22 of 32 corners stable, 12387 points evaluated.",
      "Part of the tolerance box is unstable: towards it Zo and the gain grow without bound, and the worst case "
      "shows the extremes found among the stable circuits.", "",
      "Worst case from:  Zo an interior search  Gain an interior search  Zio an interior search  η an interior search", "",
      "Unstable (Zo not positive and finite):  nominal stable yes  samples 4  corners 10  search points 1578"}));
}

// What programs read: each table's name and keys, and the codes in its cells.
TEST(ExplorerText, NamesKeysAndCodesForPrograms) {
  std::vector<Table> tables = Concat(Search(kDefault, 6), Series(kDefault, {24}));
  tables = Concat(tables, ToleranceTables(AnalyseTolerance(Designed(kDefault, 6), {20, Distribution::Normal, 500, 1})));
  std::vector<std::string> got;
  for (const Table& t : tables) {
    std::string line = t.name + ":";
    for (const Column& c : t.columns) line += " " + c.key;
    got.push_back(line);
  }
  EXPECT_EQ(got, (std::vector<std::string>{
      "inputs: zo gain_db r1 r3 r5",
      "search: er searched complete rounded_r2 rounded_r4 chosen_r2 chosen_r4 outcome",
      "candidates: r4 r2 t m status",
      "inputs: zo gain_db r1 r3 r5",
      "series: er r2 r4 zo zo_error_pct gain_db gain_error_db zio eta outcome",
      "settings: er tolerance_pct distribution samples seed zo r1 r2 r3 r4 r5",
      "figures: statistic zo gain_db zio eta",
      "worst_case_by: zo gain_db zio eta",
      "stability: nominal_stable bad_samples bad_corners bad_points",
      "sensitivity: resistor zo_pct gain_pct",
      "acceptance: zo_min zo_max gain_db_min gain_db_max inside samples",
      "yield: share ci_low ci_high"}));
  auto codes = [](const Table& t, std::size_t column) {
    std::string s;
    for (const auto& row : t.rows) s += row[column].text + " ";
    return s;
  };
  struct Case { Table table; std::size_t column; const char* codes; };
  const Case cases[] = {
      {tables[2],                                         4, "best_so_far best_so_far worse worse worse skipped worse worse won "},
      {Search({0, 600, 10000, 1200, 200}, 6)[2],          4, "best_so_far worse worse worse worse "},
      {Series({0, 600, 10000, 1200, 200}, {3, 6})[1],     9, "division_by_zero division_by_zero "},
      {Series({0, 600, 10000, 10000, 470}, {24})[1],      9, "r5_too_large "},
      {Series({0, 600, 10000, 900, 68}, {24})[1],         9, "r3_too_small "},
      {Series({kNaN, 600, 10000, 10000, 68}, {24})[1],    9, "not_a_number "},
      {Series({0, 0, 10000, 10000, 0}, {24})[1],          9, "invalid_operation "},  // 0/0 in R2
      {Series({1e308, 600, 10000, 10000, 68}, {24})[1],   9, "overflow "},
      {tables[1],                                         7, "success "},
      {tables[5],                                         2, "normal "},
      {tables[6],                                         0, "nominal worst_min worst_max mean sd p01 p99 "},
      {tables[7],                                         0, "search "},
      {tables[9],                                         0, "r1 r2 r3 r4 r5 "},
  };
  for (const Case& c : cases) EXPECT_EQ(codes(c.table, c.column), c.codes) << c.table.name;
  // The first pair tried can win; the note is only for a search that nothing won.
  const Table firstWins = Search({-3, 600, 10000, 10000, 68}, 24)[2];
  EXPECT_EQ(codes(firstWins, 4).substr(0, 4), "won ");
  EXPECT_EQ(firstWins.notes, std::vector<std::string>{});
}

}  // namespace
}  // namespace velmora::explore
