#include "cli/diagnostics.h"

#include <cstdio>

#include "common/utf.h"

namespace velmora::cli {

void WriteErr(const std::string& s) { std::fwrite(s.data(), 1, s.size(), stderr); }

bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

std::string Quoted(std::u16string_view text) {
  std::u16string out = u"\"";
  auto append = [&out](const char* ascii) {
    while (*ascii != 0) out.push_back(static_cast<char16_t>(*ascii++));
  };
  for (const char16_t c : text) {
    if (c == u'\n') {
      append("\\n");
    } else if (c == u'\r') {
      append("\\r");
    } else if (c == u'\t') {
      append("\\t");
    } else if (c == u'\\' || c == u'"') {
      out.push_back(u'\\');
      out.push_back(c);
    } else if (IsControl(c)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, c < 0x80 ? "\\x%02x" : "\\u%04x", static_cast<unsigned>(c));
      append(escape);
    } else {
      out.push_back(c);
    }
  }
  out.push_back(u'"');
  return common::Utf16ToUtf8(out);
}

int Usage(const std::string& message) {
  WriteErr("velmora-cli: " + message + " (see --help)\n");
  return kUsage;
}

int BadValue(const char* option, std::u16string_view text, const char* expected) {
  WriteErr("velmora-cli: " + std::string(option) + ": " + Quoted(text) + " is not " + expected + "\n");
  return kBadValue;
}

}  // namespace velmora::cli
