#include "common/svg.h"

#include <cmath>

#include "common/table.h"

namespace velmora::common {

std::string SvgStart(double width, double height) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + SvgNumber(width) + "\" height=\"" +
         SvgNumber(height) + "\" viewBox=\"0 0 " + SvgNumber(width) + " " + SvgNumber(height) +
         "\" font-family=\"sans-serif\" font-size=\"12\">\n"
         "<rect x=\"0\" y=\"0\" width=\"" + SvgNumber(width) + "\" height=\"" + SvgNumber(height) +
         "\" fill=\"white\"/>\n";
}

std::string SvgNumber(double x) { return ShortestText(std::round(x * 10.0) / 10.0); }

std::string SvgEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '"') out += "&quot;";
    else if (u < 0x20 && c != '\t' && c != '\n' && c != '\r') out += '?';
    else out += c;
  }
  return out;
}

}  // namespace velmora::common
