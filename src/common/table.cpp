#include "common/table.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "common/numtext.h"
#include "common/utf.h"

namespace velmora::common {

namespace {

// Code points in UTF-8 text: every byte that does not continue a sequence.
std::size_t Width(std::string_view s) {
  return static_cast<std::size_t>(
      std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string NumberText(double x, const Column& column) {
  switch (column.shown) {
    case Shown::SI: {
      std::string s = Utf16ToUtf8(FormatSI(x, 0, column.decimals));
      if (!s.empty() && s.back() >= '0' && s.back() <= '9') s += ' ';  // keeps decimals aligned
      return s;
    }
    case Shown::Fixed:
      return Utf16ToUtf8(FormatPadded(x, 0, column.decimals));
    case Shown::Percent:
      return Utf16ToUtf8(FormatPadded(100.0 * x, 0, column.decimals));
    case Shown::Shortest:
      break;
  }
  return ShortestText(x);
}

bool RightAligned(const Cell& cell) {
  return cell.kind == Cell::Kind::Number || cell.kind == Cell::Kind::Integer;
}

}  // namespace

std::string CellText(const Cell& cell, const Column& column) {
  switch (cell.kind) {
    case Cell::Kind::Null: return cell.label.empty() ? "-" : cell.label;
    case Cell::Kind::Number: return NumberText(cell.number, column);
    case Cell::Kind::Integer:
    case Cell::Kind::Text: return cell.label.empty() ? cell.text : cell.label;
    case Cell::Kind::Bool: return cell.label;
  }
  return {};
}

namespace {

std::string Padded(const std::string& s, std::size_t width, bool right) {
  const std::string pad(width > Width(s) ? width - Width(s) : 0, ' ');
  return right ? pad + s : s + pad;
}

void TrimRight(std::string& s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
}

void RenderText(const Table& table, std::string_view nl, std::string& out) {
  const std::size_t n = table.columns.size();
  if (table.record && table.rows.size() == 1) {
    std::string line = table.title.empty() ? std::string() : table.title + ":";
    for (std::size_t i = 0; i < n; ++i) {
      std::string value = CellText(table.rows[0][i], table.columns[i]);
      while (!value.empty() && value.back() == ' ') value.pop_back();
      while (!value.empty() && value.front() == ' ') value.erase(0, 1);
      line += (line.empty() ? "" : "  ") + table.columns[i].heading + " " + value;
    }
    out.append(line).append(nl);
  } else if (table.rows.empty()) {
    if (!table.title.empty()) out.append(table.title).append(nl);
  } else {
    if (!table.title.empty()) out.append(table.title).append(nl);
    std::vector<std::vector<std::string>> texts;
    std::vector<std::size_t> widths(n);
    std::vector<bool> right(n, false);
    for (std::size_t i = 0; i < n; ++i) widths[i] = Width(table.columns[i].heading);
    for (const auto& row : table.rows) {
      std::vector<std::string>& t = texts.emplace_back();
      for (std::size_t i = 0; i < n; ++i) {
        t.push_back(CellText(row[i], table.columns[i]));
        widths[i] = std::max(widths[i], Width(t.back()));
        if (RightAligned(row[i])) right[i] = true;
      }
    }
    auto emit = [&](auto&& textAt) {
      std::string line;
      for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) line += "  ";
        line += Padded(textAt(i), widths[i], right[i]);
      }
      TrimRight(line);
      out.append(line).append(nl);
    };
    emit([&](std::size_t i) { return table.columns[i].heading; });
    for (const auto& t : texts) emit([&](std::size_t i) { return t[i]; });
  }
  for (const std::string& note : table.notes) out.append(note).append(nl);
}

}  // namespace

std::string CellField(const Cell& cell) {
  switch (cell.kind) {
    case Cell::Kind::Null: return {};
    case Cell::Kind::Number: return ShortestText(cell.number);
    case Cell::Kind::Integer: return cell.text;
    case Cell::Kind::Bool: return cell.flag ? "true" : "false";
    case Cell::Kind::Text: break;
  }
  if (cell.text.find_first_of(",\"\r\n") == std::string::npos) return cell.text;
  std::string quoted = "\"";
  for (char c : cell.text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

namespace {

// CSV, or with `tabs` the same fields separated by tabs, text cells unquoted.
void RenderCsv(const Table& table, std::string_view nl, bool tabs, std::string& out) {
  auto emit = [&](auto&& fieldAt) {
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
      if (i > 0) out += tabs ? '\t' : ',';
      out += fieldAt(i);
    }
    out.append(nl);
  };
  emit([&](std::size_t i) { return table.columns[i].key; });
  for (const auto& row : table.rows) {
    emit([&](std::size_t i) { return tabs && row[i].kind == Cell::Kind::Text ? row[i].text : CellField(row[i]); });
  }
}

std::string JsonString(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      constexpr char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  return out + '"';
}

std::string JsonValue(const Cell& cell) {
  switch (cell.kind) {
    case Cell::Kind::Null: return "null";
    case Cell::Kind::Number: return std::isfinite(cell.number) ? ShortestText(cell.number) : "null";
    case Cell::Kind::Integer: return cell.text;
    case Cell::Kind::Bool: return cell.flag ? "true" : "false";
    case Cell::Kind::Text: break;
  }
  return JsonString(cell.text);
}

std::string JsonObject(const Table& table, const std::vector<Cell>& row) {
  std::string out = "{";
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    if (i > 0) out += ", ";
    out += JsonString(table.columns[i].key) + ": " + JsonValue(row[i]);
  }
  return out + "}";
}

void RenderJson(const Table& table, std::string_view nl, std::string& out) {
  out += "  " + JsonString(table.name) + ": ";
  if (table.record && table.rows.size() == 1) {
    out += JsonObject(table, table.rows[0]);
    return;
  }
  out += "[";
  for (std::size_t r = 0; r < table.rows.size(); ++r) {
    out += r > 0 ? "," : "";
    out.append(nl).append("    ").append(JsonObject(table, table.rows[r]));
  }
  if (!table.rows.empty()) out.append(nl).append("  ");
  out += "]";
}

}  // namespace

Cell Cell::Number(double x) {
  if (std::isnan(x)) return Null();
  Cell c;
  c.kind = Kind::Number;
  c.number = x;
  return c;
}

Cell Cell::Missing(std::string shown) {
  Cell c;
  c.label = std::move(shown);
  return c;
}

Cell Cell::Integer(std::int64_t x) {
  Cell c;
  c.kind = Kind::Integer;
  c.text = std::to_string(x);
  return c;
}

Cell Cell::Unsigned(std::uint64_t x) {
  Cell c;
  c.kind = Kind::Integer;
  c.text = std::to_string(x);
  return c;
}

Cell Cell::Text(std::string code, std::string shown) {
  Cell c;
  c.kind = Kind::Text;
  c.text = std::move(code);
  c.label = std::move(shown);
  return c;
}

Cell Cell::Bool(bool value, std::string shownTrue, std::string shownFalse) {
  Cell c;
  c.kind = Kind::Bool;
  c.flag = value;
  c.label = value ? std::move(shownTrue) : std::move(shownFalse);
  return c;
}

std::string ShortestText(double x) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, x);
  return std::string(buffer, result.ptr);
}

std::string RenderTables(const std::vector<Table>& tables, TableFormat format,
                         std::string_view newline) {
  std::string out;
  if (format == TableFormat::Json) out.append("{").append(newline);
  for (std::size_t t = 0; t < tables.size(); ++t) {
    switch (format) {
      case TableFormat::Text:
        if (t > 0) out.append(newline);
        RenderText(tables[t], newline, out);
        break;
      case TableFormat::Csv:
      case TableFormat::Tabs:
        if (t > 0) out.append(newline);
        RenderCsv(tables[t], newline, format == TableFormat::Tabs, out);
        break;
      case TableFormat::Json:
        RenderJson(tables[t], newline, out);
        out.append(t + 1 < tables.size() ? "," : "").append(newline);
        break;
    }
  }
  if (format == TableFormat::Json) out.append("}").append(newline);
  return out;
}

}  // namespace velmora::common
