// The pieces of an SVG document that every picture the program writes
// shares: the document's frame, coordinates and escaped text.
#pragma once

#include <string>
#include <string_view>

namespace velmora::common {

// The XML declaration, an <svg> element of width x height user units (its
// viewBox the same, sans-serif 12) and a white background rectangle, each
// ending with "\n". The document ends with kSvgEnd.
std::string SvgStart(double width, double height);
inline constexpr const char* kSvgEnd = "</svg>\n";

// A coordinate rounded to a tenth of a unit, in its shortest text ("12.5", "40").
std::string SvgNumber(double x);

// `text` with &, <, > and " as entities, fit for an attribute or an element;
// a control character that XML 1.0 does not allow (below U+0020 but for tab,
// LF and CR) becomes "?".
std::string SvgEscaped(std::string_view text);

}  // namespace velmora::common
