#include "cli/settings.h"

#include <cmath>
#include <tuple>
#include <utility>

#include "cli/diagnostics.h"
#include "common/numtext.h"
#include "common/utf.h"
#include "explore/explorer.h"
#include "explore/tolerance_settings.h"
#include "main/series_text.h"

namespace velmora::cli {
namespace {

using common::Utf16ToUtf8;
namespace ve = explore;

// --format: text when not given; kBadValue for another name.
int ReadFormat(const std::optional<std::u16string>& text, ve::TableFormat& format) {
  const std::string f = text ? Utf16ToUtf8(*text) : "text";
  if (f == "text") format = ve::TableFormat::Text;
  else if (f == "csv") format = ve::TableFormat::Csv;
  else if (f == "json") format = ve::TableFormat::Json;
  else return BadValue("--format", *text, "text, csv or json");
  return kOk;
}

// The options of the tolerance settings in the order they are read, each
// with the setting it gives (none: --dist, read by name) and what a text
// must be for it.
struct SettingOption {
  const char* name;
  std::optional<std::u16string> OptionTexts::*text;
  std::optional<ve::ToleranceField> field;
  const char* expected;
};
const SettingOption kSettingOptions[] = {
    {"--tolerance", &OptionTexts::tolerance, ve::ToleranceField::Pct, "a percentage from 0 to below 100"},
    {"--samples", &OptionTexts::samples, ve::ToleranceField::Samples, "a whole number from 1 to 10000000"},
    {"--seed", &OptionTexts::seed, ve::ToleranceField::Seed, "a whole number from 0 to 18446744073709551615"},
    {"--dist", &OptionTexts::dist, std::nullopt, "uniform or normal"},
    {"--accept-zo", &OptionTexts::acceptZo, ve::ToleranceField::AcceptZo, "a percentage above 0 and below 100"},
    {"--accept-gain", &OptionTexts::acceptGain, ve::ToleranceField::AcceptGain, "a number of dB above 0"},
};

// --dist's name into `settings`; false for a name of no distribution.
bool ReadDistribution(const std::u16string& text, ve::ToleranceSettings& settings) {
  const std::optional<ve::Distribution> d = ve::DistributionNamed(Utf16ToUtf8(text));
  if (d) settings.distribution = *d;
  return d.has_value();
}

// The tolerance settings, PCT defaulting to the customary one of series
// `er`; kBadValue for the first setting that cannot be read.
int ReadTolerance(const OptionTexts& t, std::int32_t er, ve::ToleranceSettings& s) {
  s.pct = ve::CustomaryTolerancePct(er);
  for (const SettingOption& o : kSettingOptions) {
    const std::optional<std::u16string>& text = t.*o.text;
    if (!text) continue;
    const bool read = o.field ? ve::ReadSetting(ve::SettingSyntax::CommandLine, *o.field, *text, s)
                              : ReadDistribution(*text, s);
    if (!read) return BadValue(o.name, *text, o.expected);
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
  if (t.netlist && *t.netlist != u"-") s.netlistFile = *t.netlist;
  s.plotFile = t.plot;
  return kOk;
}

}  // namespace velmora::cli
