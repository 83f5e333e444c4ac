#include "explore/explorer.h"

#include <cmath>
#include <limits>

#include "common/checked.h"
#include "common/series.h"
#include "main/series_text.h"

namespace velmora::explore {

using common::Checked;
using common::FloatingPointError;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A state whose computed numbers read NaN until a calculation stores them.
DesignState BlankState() {
  DesignState s;
  s.Gain = s.Gainr = s.Zor = s.Decr = s.Zio = s.R2 = s.R4 = kNaN;
  return s;
}

RunResult Solve(const DesignInputs& in, DesignState& state) {
  RunResult r;
  try {
    r.outcome = main::SolveDesign(in, state);
  } catch (const FloatingPointError& e) {
    r.fault = e.fault();
  }
  return r;
}

}  // namespace

std::vector<std::int32_t> DefaultSeriesList() { return {0, 3, 6, 12, 24, 48, 96, 192}; }

std::vector<std::u16string_view> SeriesListEntries(std::u16string_view text) {
  std::vector<std::u16string_view> entries;
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(u',', start);
    entries.push_back(text.substr(start, comma - start));
    if (comma == std::u16string_view::npos) return entries;
    start = comma + 1;
  }
}

std::vector<std::int32_t> ParseSeriesList(std::u16string_view text) {
  std::vector<std::int32_t> list;
  for (const std::u16string_view entry : SeriesListEntries(text)) list.push_back(main::StrToIntOrZero(entry));
  return list;
}

SeriesRow RunSeries(const DesignInputs& in) {
  SeriesRow row;
  row.ER = in.ER;
  row.state = BlankState();
  row.result = Solve(in, row.state);
  row.zoErrorPct = row.gainDb = row.gainErrorDb = kNaN;
  const DesignState& s = row.state;
  try {
    if (!std::isnan(s.Zor)) row.zoErrorPct = ((Checked(s.Zor) / s.Zo - 1.0) * 100.0).value();
  } catch (const FloatingPointError&) {
  }
  if (std::isnan(s.Gainr)) return row;
  try {
    row.gainDb = main::GainDb(s.Gainr);
    row.gainErrorDb = (Checked(row.gainDb) - in.gainDb).value();
  } catch (const FloatingPointError& e) {
    if (row.result.succeeded()) row.result.fault = e.fault();  // the window's display faults here
  }
  return row;
}

std::vector<SeriesRow> ExploreSeries(const DesignInputs& in, const std::vector<std::int32_t>& list) {
  std::vector<SeriesRow> rows;
  rows.reserve(list.size());
  for (std::int32_t er : list) rows.push_back(RunSeries(in.WithSeries(er)));
  return rows;
}

SearchTrace TraceSearch(const DesignInputs& in) {
  const std::int32_t ER = in.ER;
  SearchTrace trace;
  trace.ER = ER;
  DesignState final = BlankState();
  trace.result = Solve(in, final);
  trace.R2 = final.R2;
  trace.R4 = final.R4;
  trace.roundedR2 = trace.roundedR4 = kNaN;
  if (ER == 0) return trace;
  if (!trace.result.fault && (trace.result.outcome == DesignOutcome::NotANumber ||
                              trace.result.outcome == DesignOutcome::R5TooLarge))
    return trace;
  DesignState exact = BlankState();
  Solve(in.WithSeries(0), exact);  // R2 and R4 before rounding, stored ahead of any later fault
  if (std::isnan(exact.R2) || std::isnan(exact.R4)) return trace;
  try {
    double r2 = common::RoundToSeries(exact.R2, ER);
    double r4 = common::RoundToSeries(exact.R4, ER);
    trace.roundedR2 = r2;
    trace.roundedR4 = r4;
    trace.searched = true;
    main::RefinePair(in.Zo, in.R1, in.R3, in.R5, r2, r4, ER, &trace.steps);
    trace.complete = true;
  } catch (const FloatingPointError&) {
    return trace;  // the steps before the fault stay; trace.result carries the fault
  }
  for (std::size_t i = 0; i < trace.steps.size(); ++i) {
    if (trace.steps[i].chosen) trace.winner = static_cast<std::ptrdiff_t>(i);
  }
  return trace;
}

}  // namespace velmora::explore
