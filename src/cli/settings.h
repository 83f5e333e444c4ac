// The second of velmora-cli's three steps: every option text read into one
// typed value, before anything is calculated.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/frequency_settings.h"
#include "explore/table.h"
#include "explore/tolerance_settings.h"
#include "main/report.h"

namespace velmora::cli {

struct Settings {
  Mode mode = Mode::Report;
  std::string newline = "\n";  // "\r\n" with --crlf
  // The captions and the five input texts as given, which the report quotes.
  main::ReportSource texts = main::InitialWindowTexts();
  std::u16string seriesText = u"24";  // as given, which the netlist quotes
  // The five input values, none of them NaN, and the series (0: none).
  main::DesignInputs inputs{.ER = 24};
  std::vector<std::int32_t> seriesList;  // Mode::AllSeries: one row per entry
  explore::TableFormat format = explore::TableFormat::Text;
  explore::ToleranceSettings tolerance;  // Mode::Tolerance
  std::optional<std::u16string> plotFile;  // Mode::Tolerance: the histograms as SVG there
  // Mode::Netlist: the file for the netlist, the report going to standard
  // output; nullopt: the netlist alone on standard output.
  std::optional<std::u16string> netlistFile;
  FrequencyRun frequency;  // Mode::Frequency and the netlist's op-amp; --opamp list
};

// Reads `texts` (a Request::Run from ParseArguments) into `settings`, in
// this order: --format, --series, --tolerance's PCT, --samples, --seed,
// --dist, --accept-zo, --accept-gain, the frequency options (ReadFrequency),
// the five inputs, --series-list. Returns kOk, or the exit code of
// the first text that cannot be read, after its message: kBadValue for a
// format or tolerance setting, kNotANumber for the inputs (each one that is
// not a number is named). A series text that is not a whole number means no
// series, with a note on standard error unless it is "" or "∞".
int ReadSettings(const OptionTexts& texts, Settings& settings);

}  // namespace velmora::cli
