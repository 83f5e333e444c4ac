#include "cli/settings.h"

#include <charconv>
#include <cmath>
#include <tuple>
#include <utility>

#include "cli/diagnostics.h"
#include "common/numtext.h"
#include "common/utf.h"
#include "explore/tolerance.h"
#include "main/series_text.h"

namespace velmora::cli {
namespace {

using common::Utf16ToUtf8;
namespace ve = explore;

constexpr std::uint64_t kMaxSamples = 10000000;

// The decimal whole number in `text`, nothing else around it.
std::optional<std::uint64_t> ParseCount(const std::u16string& text) {
  const std::string s = Utf16ToUtf8(text);
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || error != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

// A plain decimal number with an optional "%" after it, 0 <= PCT < 100.
std::optional<double> ParsePercent(const std::u16string& text) {
  std::string s = Utf16ToUtf8(text);
  if (!s.empty() && s.back() == '%') s.pop_back();
  double value = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || error != std::errc() || end != s.data() + s.size()) return std::nullopt;
  if (!(value >= 0.0 && value < 100.0)) return std::nullopt;
  return value;
}

// A plain decimal number above 0 and finite: the half-width of an
// acceptance window (an empty window accepts nothing worth asking about).
std::optional<double> ParseHalfWidth(const std::u16string& text) {
  const std::string s = Utf16ToUtf8(text);
  double value = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || error != std::errc() || end != s.data() + s.size()) return std::nullopt;
  if (!(value > 0.0 && std::isfinite(value))) return std::nullopt;
  return value;
}

// --format: text when not given; kBadValue for another name.
int ReadFormat(const std::optional<std::u16string>& text, ve::TableFormat& format) {
  const std::string f = text ? Utf16ToUtf8(*text) : "text";
  if (f == "text") format = ve::TableFormat::Text;
  else if (f == "csv") format = ve::TableFormat::Csv;
  else if (f == "json") format = ve::TableFormat::Json;
  else return BadValue("--format", *text, "text, csv or json");
  return kOk;
}

// The tolerance settings, PCT defaulting to the customary one of series
// `er`; kBadValue for the first setting out of its range.
int ReadTolerance(const OptionTexts& t, std::int32_t er, ve::ToleranceSettings& s) {
  s.pct = ve::CustomaryTolerancePct(er);
  if (t.tolerance) {
    const std::optional<double> pct = ParsePercent(*t.tolerance);
    if (!pct) return BadValue("--tolerance", *t.tolerance, "a percentage from 0 to below 100");
    s.pct = *pct;
  }
  if (t.samples) {
    const std::optional<std::uint64_t> n = ParseCount(*t.samples);
    if (!n || *n == 0 || *n > kMaxSamples) return BadValue("--samples", *t.samples, "a whole number from 1 to 10000000");
    s.samples = *n;
  }
  if (t.seed) {
    const std::optional<std::uint64_t> seed = ParseCount(*t.seed);
    if (!seed) return BadValue("--seed", *t.seed, "a whole number from 0 to 18446744073709551615");
    s.seed = *seed;
  }
  if (t.dist) {
    const std::string d = Utf16ToUtf8(*t.dist);
    if (d == "uniform") s.distribution = ve::Distribution::Uniform;
    else if (d == "normal") s.distribution = ve::Distribution::Normal;
    else return BadValue("--dist", *t.dist, "uniform or normal");
  }
  if (t.acceptZo) {
    const std::optional<double> pct = ParseHalfWidth(*t.acceptZo);
    if (!pct || *pct >= 100.0) return BadValue("--accept-zo", *t.acceptZo, "a percentage above 0 and below 100");
    s.acceptZoPct = *pct;
  }
  if (t.acceptGain) {
    const std::optional<double> db = ParseHalfWidth(*t.acceptGain);
    if (!db) return BadValue("--accept-gain", *t.acceptGain, "a number of dB above 0");
    s.acceptGainDb = *db;
  }
  return kOk;
}

// The series number of a selector text, as the window reads it. A text that
// is not a whole number means no series there too, but silently; here it is
// noted, except for the texts that say "no series" on purpose.
std::int32_t ReadSeries(const char* option, std::u16string_view text, const char* consequence) {
  const std::optional<std::int32_t> er = main::ReadWholeNumber(text);
  if (!er && !text.empty() && text != u"∞")
    WriteErr("velmora-cli: " + std::string(option) + ": " + Quoted(text) + " is not a whole number; " +
             consequence + "\n");
  return er.value_or(0);
}

std::vector<std::int32_t> ReadSeriesList(const std::optional<std::u16string>& text) {
  if (!text) return ve::DefaultSeriesList();
  std::vector<std::int32_t> list;
  for (const std::u16string_view entry : ve::SeriesListEntries(*text))
    list.push_back(ReadSeries("--series-list", entry, "its row uses no series"));
  return list;
}

// The five input texts (the window's initial ones where not given) into
// `report` and their values into `in`; kNotANumber after naming each input
// that is not a number.
int ReadInputs(const OptionTexts& t, main::ReportSource& report, main::DesignInputs& in) {
  const std::pair<const std::optional<std::u16string>*, std::u16string*> texts[] = {
      {&t.zo, &report.EditZo}, {&t.gain, &report.EditGain}, {&t.r1, &report.EditR1},
      {&t.r3, &report.EditR3}, {&t.r5, &report.EditR5}};
  for (const auto& [given, text] : texts) {
    if (*given) *text = **given;
  }
  const std::tuple<const char*, const std::u16string*, double*> inputs[] = {
      {"--gain", &report.EditGain, &in.gainDb}, {"--zo", &report.EditZo, &in.Zo},
      {"--r1", &report.EditR1, &in.R1},         {"--r3", &report.EditR3, &in.R3},
      {"--r5", &report.EditR5, &in.R5}};
  int code = kOk;
  for (const auto& [name, text, value] : inputs) {
    *value = common::StrToValue(*text);
    if (std::isnan(*value)) {
      WriteErr("velmora-cli: " + std::string(name) + ": " + Quoted(*text) + " is not a number\n");
      code = kNotANumber;
    }
  }
  return code;
}

}  // namespace

int ReadSettings(const OptionTexts& t, Settings& s) {
  s.mode = t.mode;
  s.newline = t.crlf ? "\r\n" : "\n";
  if (const int code = ReadFormat(t.format, s.format); code != kOk) return code;
  if (t.series) s.seriesText = *t.series;
  s.inputs.ER = ReadSeries("--series", s.seriesText, "no series is used");
  if (s.mode == Mode::Tolerance) {
    if (const int code = ReadTolerance(t, s.inputs.ER, s.tolerance); code != kOk) return code;
  }
  if (const int code = ReadFrequency(t.frequency, s.frequency); code != kOk) return code;
  if (const int code = ReadInputs(t, s.texts, s.inputs); code != kOk) return code;
  if (s.mode == Mode::AllSeries) s.seriesList = ReadSeriesList(t.seriesList);
  if (t.netlist && !t.netlist->empty() && *t.netlist != u"-") s.netlistFile = *t.netlist;
  s.plotFile = t.plot;
  return kOk;
}

}  // namespace velmora::cli
