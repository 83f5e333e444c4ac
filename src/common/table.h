// Tables as data, and their three written forms: aligned text for people,
// CSV and JSON for programs. Text shows numbers the way the window does (SI
// prefixes, fixed decimals); CSV and JSON carry plain numbers in base units
// at full precision (the shortest text that reads back to the same double).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::common {

// How the text form shows a number cell; CSV and JSON ignore it.
enum class Shown {
  SI,        // FormatSI with `decimals`; a value without prefix gets a blank in its place
  Fixed,     // FormatPadded with `decimals`
  Percent,   // a fraction shown as a percentage: 100 x with `decimals`
  Shortest,  // the same shortest round-trip text as CSV
};

struct Column {
  std::string key;      // CSV header and JSON member name
  std::string heading;  // text heading (UTF-8)
  Shown shown = Shown::Shortest;
  int decimals = 3;
};

struct Cell {
  enum class Kind { Null, Number, Integer, Text, Bool };
  Kind kind = Kind::Null;
  double number = 0.0;  // Number
  std::string text;     // Integer: its decimal digits; Text: the CSV/JSON text
  std::string label;    // what the text form shows instead, if not empty
  bool flag = false;    // Bool

  static Cell Null() { return {}; }
  // No value (empty in CSV, null in JSON) that the text form shows as
  // `shown` ("∞", "none") instead of "-".
  static Cell Missing(std::string shown);
  // A NaN becomes Null: no value.
  static Cell Number(double x);
  static Cell Integer(std::int64_t x);
  static Cell Unsigned(std::uint64_t x);
  // `code` in CSV and JSON; `shown` (default: `code`) in text.
  static Cell Text(std::string code, std::string shown = {});
  // true/false in CSV and JSON; `shownTrue` or `shownFalse` in text.
  static Cell Bool(bool value, std::string shownTrue = "yes", std::string shownFalse = "no");
};

struct Table {
  std::string name;   // JSON member holding the table
  std::string title;  // text only: a line above the table, if not empty
  bool record = false;  // exactly one row: text shows one line of "heading value" pairs, JSON an object
  std::vector<Column> columns;
  std::vector<std::vector<Cell>> rows;  // each row has one cell per column
  std::vector<std::string> notes;       // text only: lines under the table
};

enum class TableFormat { Text, Csv, Json, Tabs };

// The shortest decimal text that reads back to exactly x (std::to_chars);
// "nan", "inf", "-inf" for the special values.
std::string ShortestText(double x);

// One cell as the text form shows it in `column` (untrimmed), and as CSV
// writes it (quoted where it must be).
std::string CellText(const Cell& cell, const Column& column);
std::string CellField(const Cell& cell);

// Text: each table's title, its header and rows in columns aligned by code
// point (numbers to the right, text to the left; a table without rows shows
// no header), its notes; a blank line between tables. A record is one line:
// the title, a colon, then each heading with its value.
// CSV (RFC 4180 quoting): each table as a header line and its rows; a blank
// line between tables. Null is an empty field; a non-finite number is written
// as ShortestText gives it.
// Tabs: as CSV, the fields separated by tabs and text cells unquoted, for a
// spreadsheet to take from the clipboard.
// JSON: one object with a member per table: an array of row objects, or one
// object for a record. Null and non-finite numbers are null.
// Every line ends with `newline`.
std::string RenderTables(const std::vector<Table>& tables, TableFormat format,
                         std::string_view newline = "\n");

}  // namespace velmora::common
