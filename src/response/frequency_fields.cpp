#include "response/frequency_fields.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "common/numtext.h"

namespace velmora::response {
namespace {

constexpr double kHighestFrequency = 1e12, kLowestSweepFrequency = 1e-3;

// clang-format off
constexpr std::array<FieldRule, kFrequencyFields> kRules{{
  //  infinite  lo                      hi                 closed whole
  {true,   -600,                    600,               true,  false},  // A0, dB
  {true,   0,                       kHighestFrequency, false, false},  // GBW, Hz
  {true,   0,                       kHighestFrequency, false, false},  // f2, Hz
  {false,  0,                       1e12,              true,  false},  // Ro, ohm
  {false,  0,                       1,                 true,  false},  // en, V/sqrt(Hz)
  {false,  0,                       1,                 true,  false},  // in, A/sqrt(Hz)
  {true,   0,                       1e6,               false, false},  // Vmax, V peak
  {true,   0,                       1e6,               false, false},  // Imax, A
  {false,  0,                       1,                 true,  false},  // CL, F
  {false,  -273.15,                 1000,              false, false},  // temperature, degC
  {false,  kLowestSweepFrequency,   kHighestFrequency, true,  false},  // fmin, Hz
  {false,  kLowestSweepFrequency,   kHighestFrequency, true,  false},  // fmax, Hz
  {false,  1,                       1000,              true,  true},   // points per decade
}};
// clang-format on

char16_t LowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

// The prefix letters FieldText writes, for the powers -12, -9, ... 12.
constexpr std::u16string_view kPrefixes = u"pnum kMGT";

}  // namespace

bool FieldRule::Admits(double x) const {
  if (std::isnan(x)) return false;
  if (std::isinf(x)) return infinite && x > 0;
  if (!(closed ? x >= lo : x > lo) || x > hi) return false;
  return !whole || x == std::floor(x);
}

FieldRule RuleOf(FrequencyField field) { return kRules[static_cast<std::size_t>(field)]; }

bool IsInfinityText(std::u16string_view text) noexcept {
  if (text == u"∞" || text == u"+∞") return true;
  if (text.size() > 9) return false;
  std::u16string lower;
  for (char16_t c : text) lower.push_back(LowerAscii(c));
  return lower == u"inf" || lower == u"+inf" || lower == u"infinity" || lower == u"+infinity";
}

std::optional<double> ReadFrequencyField(FrequencyField field, std::u16string_view text) noexcept {
  const FieldRule rule = RuleOf(field);
  const double x = rule.infinite && IsInfinityText(text) ? kInfinity : common::StrToValue(text);
  if (!rule.Admits(x)) return std::nullopt;
  return x;
}

double FieldValue(FrequencyField field, const OpAmp& op, const FrequencySettings& s) {
  switch (field) {
    case FrequencyField::A0: return op.a0Db;
    case FrequencyField::Gbw: return op.gbw;
    case FrequencyField::F2: return op.f2;
    case FrequencyField::Ro: return op.ro;
    case FrequencyField::En: return op.en;
    case FrequencyField::In: return op.in;
    case FrequencyField::Vmax: return op.vmax;
    case FrequencyField::Imax: return op.imax;
    case FrequencyField::Cload: return s.cload;
    case FrequencyField::Temp: return s.tempC;
    case FrequencyField::Fmin: return s.fmin;
    case FrequencyField::Fmax: return s.fmax;
    case FrequencyField::PerDecade: return s.perDecade;
  }
  return 0;
}

void SetField(FrequencyField field, double value, OpAmp& op, FrequencySettings& s) {
  switch (field) {
    case FrequencyField::A0: op.a0Db = value; break;
    case FrequencyField::Gbw: op.gbw = value; break;
    case FrequencyField::F2: op.f2 = value; break;
    case FrequencyField::Ro: op.ro = value; break;
    case FrequencyField::En: op.en = value; break;
    case FrequencyField::In: op.in = value; break;
    case FrequencyField::Vmax: op.vmax = value; break;
    case FrequencyField::Imax: op.imax = value; break;
    case FrequencyField::Cload: s.cload = value; break;
    case FrequencyField::Temp: s.tempC = value; break;
    case FrequencyField::Fmin: s.fmin = value; break;
    case FrequencyField::Fmax: s.fmax = value; break;
    case FrequencyField::PerDecade: s.perDecade = static_cast<std::int32_t>(value); break;
  }
}

std::u16string FieldText(double value) {
  if (std::isinf(value)) return value > 0 ? u"∞" : u"-∞";
  char buffer[40];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  if (ec != std::errc{}) return u"0";
  // "-d.ddde+XX": the sign, the digits and the power of ten of the first one.
  const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
  const std::size_t e = text.find('e');
  const bool negative = text.front() == '-';
  std::string digits;
  for (char c : text.substr(negative ? 1 : 0, e - (negative ? 1 : 0))) {
    if (c != '.') digits.push_back(c);
  }
  const int power = std::atoi(std::string(text.substr(e + 1)).c_str());
  if (value == 0.0) return u"0";

  // The digits with the decimal point after `whole` of them (zeros added
  // on either side as needed) and the prefix letter.
  const auto written = [&](int whole, char16_t prefix) {
    std::u16string s = negative ? u"-" : u"";
    std::string d = digits;
    if (whole <= 0) {
      d.insert(0, static_cast<std::size_t>(1 - whole), '0');
      whole = 1;
    }
    if (static_cast<std::size_t>(whole) > d.size()) d.append(static_cast<std::size_t>(whole) - d.size(), '0');
    for (std::size_t i = 0; i < d.size(); ++i) {
      if (i == static_cast<std::size_t>(whole)) s.push_back(common::DecimalSeparator());
      s.push_back(static_cast<char16_t>(d[i]));
    }
    if (prefix != u' ') s.push_back(prefix);
    return s;
  };
  // The prefix that leaves 1 to 999 before the point, then the next larger
  // and smaller ones; the first text that reads back exactly is taken (a
  // prefix scales the rounded number, which may round once more).
  const int home = power >= 0 ? power / 3 : -((-power + 2) / 3);
  for (const int step : {home, home + 1, home - 1}) {
    if (step < -4 || step > 4) continue;
    const std::u16string s = written(power - 3 * step + 1, kPrefixes[static_cast<std::size_t>(step + 4)]);
    if (common::StrToValue(s) == value) return s;
  }
  // The digits as a whole number and a power of ten: no decimal separator,
  // so it reads back whatever the separator is (a comma cannot be typed
  // as one).
  std::string exact = (negative ? "-" : "") + digits;
  const int scale = power - static_cast<int>(digits.size()) + 1;
  if (scale != 0) exact += "e" + std::to_string(scale);
  return std::u16string(exact.begin(), exact.end());
}

}  // namespace velmora::response
