#include "main/explorer.h"

#include <cmath>
#include <limits>

#include "common/checked.h"
#include "common/numtext.h"
#include "common/series.h"
#include "common/utf.h"
#include "main/series_text.h"

namespace velmora::main {

using common::Cell;
using common::Checked;
using common::Column;
using common::FloatingPointError;
using common::Shown;
using common::Table;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A state whose computed numbers read NaN until a calculation stores them.
DesignState BlankState() {
  DesignState s;
  s.Gain = s.Gainr = s.Zor = s.Decr = s.Zio = s.R2 = s.R4 = kNaN;
  return s;
}

RunResult Solve(const DesignInputs& in, std::int32_t ER, DesignState& state) {
  RunResult r;
  try {
    r.outcome = SolveDesign(in.gainDb, in.Zo, in.R1, in.R3, in.R5, ER, state);
  } catch (const FloatingPointError& e) {
    r.fault = e.fault();
  }
  return r;
}

Cell SeriesCell(std::int32_t ER) {
  Cell c = Cell::Integer(ER);
  if (ER == 0) c.label = "∞";  // still the number 0 in CSV and JSON
  return c;
}

Table InputsTable(const DesignInputs& in) {
  Table t;
  t.name = "inputs";
  t.title = "Inputs";
  t.record = true;
  t.columns = {{"zo", "Zo", Shown::SI},        {"gain_db", "Gain dB", Shown::Fixed},
               {"r1", "R1", Shown::SI},        {"r3", "R3", Shown::SI},
               {"r5", "R5", Shown::SI}};
  t.rows = {{Cell::Number(in.Zo), Cell::Number(in.gainDb), Cell::Number(in.R1), Cell::Number(in.R3),
             Cell::Number(in.R5)}};
  return t;
}

// What became of step i of the search: its code and what the text form shows.
Cell SearchStatus(const SearchTrace& trace, std::size_t i) {
  const Candidate& c = trace.steps[i];
  if (c.skipped) return Cell::Text("skipped", "skipped: t ≤ 0");
  if (static_cast<std::ptrdiff_t>(i) == trace.winner) return Cell::Text("won", "won");
  if (c.chosen) return Cell::Text("best_so_far", trace.complete ? "beaten later" : "best so far");
  return Cell::Text("worse", " ");
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
  for (const std::u16string_view entry : SeriesListEntries(text)) list.push_back(StrToIntOrZero(entry));
  return list;
}

SeriesRow RunSeries(const DesignInputs& in, std::int32_t ER) {
  SeriesRow row;
  row.ER = ER;
  row.state = BlankState();
  row.result = Solve(in, ER, row.state);
  row.zoErrorPct = row.gainDb = row.gainErrorDb = kNaN;
  const DesignState& s = row.state;
  try {
    if (!std::isnan(s.Zor)) row.zoErrorPct = ((Checked(s.Zor) / s.Zo - 1.0) * 100.0).value();
  } catch (const FloatingPointError&) {
  }
  if (std::isnan(s.Gainr)) return row;
  try {
    row.gainDb = GainDb(s.Gainr);
    row.gainErrorDb = (Checked(row.gainDb) - in.gainDb).value();
  } catch (const FloatingPointError& e) {
    if (row.result.succeeded()) row.result.fault = e.fault();  // the window's display faults here
  }
  return row;
}

std::vector<SeriesRow> ExploreSeries(const DesignInputs& in, const std::vector<std::int32_t>& list) {
  std::vector<SeriesRow> rows;
  rows.reserve(list.size());
  for (std::int32_t er : list) rows.push_back(RunSeries(in, er));
  return rows;
}

SearchTrace TraceSearch(const DesignInputs& in, std::int32_t ER) {
  SearchTrace trace;
  trace.ER = ER;
  DesignState final = BlankState();
  trace.result = Solve(in, ER, final);
  trace.R2 = final.R2;
  trace.R4 = final.R4;
  trace.roundedR2 = trace.roundedR4 = kNaN;
  if (ER == 0) return trace;
  if (!trace.result.fault && (trace.result.outcome == DesignOutcome::NotANumber ||
                              trace.result.outcome == DesignOutcome::R5TooLarge))
    return trace;
  DesignState exact = BlankState();
  Solve(in, 0, exact);  // R2 and R4 before rounding, stored ahead of any later fault
  if (std::isnan(exact.R2) || std::isnan(exact.R4)) return trace;
  try {
    double r2 = common::RoundToSeries(exact.R2, ER);
    double r4 = common::RoundToSeries(exact.R4, ER);
    trace.roundedR2 = r2;
    trace.roundedR4 = r4;
    trace.searched = true;
    RefinePair(in.Zo, in.R1, in.R3, in.R5, r2, r4, ER, &trace.steps);
    trace.complete = true;
  } catch (const FloatingPointError&) {
    return trace;  // the steps before the fault stay; trace.result carries the fault
  }
  for (std::size_t i = 0; i < trace.steps.size(); ++i) {
    if (trace.steps[i].chosen) trace.winner = static_cast<std::ptrdiff_t>(i);
  }
  return trace;
}

bool ToleranceReport::unstable() const {
  return !nominalGood || worst.badPoints > 0 || monteCarlo.bad > 0;
}

ToleranceReport AnalyseTolerance(const DesignState& state, const ToleranceSettings& settings) {
  ToleranceReport r;
  r.ER = state.ER;
  r.settings = settings;
  r.circuit = CircuitOf(state);
  r.nominalGood = EvaluateCircuit(r.circuit, {1.0, 1.0, 1.0, 1.0, 1.0}, r.nominal);
  r.worst = WorstCase(r.circuit, settings.pct);
  r.monteCarlo = MonteCarlo(r.circuit, settings.pct, settings.distribution, settings.samples, settings.seed);
  r.sensitivity = SensitivityOf(r.circuit);
  return r;
}

std::string UnstableWarning(const ToleranceReport& r) {
  if (!r.unstable()) return {};
  auto count = [](std::uint64_t part, std::uint64_t whole) {
    const double share = whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole);
    return std::to_string(part) + " of " + std::to_string(whole) + " (" +
           common::Utf16ToUtf8(common::FormatPadded(share, 0, 3)) + " %)";
  };
  std::string w = "WARNING: UNSTABLE WITHIN THE TOLERANCE. The output impedance is not positive and finite";
  if (!r.nominalGood) w += " for the nominal circuit itself,";
  w += " in " + count(r.monteCarlo.bad, r.monteCarlo.samples) + " Monte Carlo samples, " +
       count(static_cast<std::uint64_t>(r.worst.badCorners), 32) + " corners and " +
       count(r.worst.badPoints, r.worst.points) +
       " points of the worst-case search: there the positive feedback makes the stage unstable "
       "or latch. Those circuits are counted, not averaged; the figures describe the others only.";
  return w;
}

Cell OutcomeCell(const RunResult& result) {
  if (result.fault) {
    const char* code = *result.fault == common::FpFault::DivideByZero ? "division_by_zero"
                       : *result.fault == common::FpFault::Invalid    ? "invalid_operation"
                                                                       : "overflow";
    return Cell::Text(code, std::string(common::FaultMessage(*result.fault)) + ".");
  }
  switch (result.outcome) {
    case DesignOutcome::NotANumber: return Cell::Text("not_a_number", "not a number");
    case DesignOutcome::R5TooLarge: return Cell::Text("r5_too_large", "R5 too large");
    case DesignOutcome::R3TooSmall: return Cell::Text("r3_too_small", "R3 too small");
    case DesignOutcome::Success: break;
  }
  return Cell::Text("success", "ok");
}

std::vector<Table> SeriesTables(const DesignInputs& in, const std::vector<SeriesRow>& rows) {
  Table t;
  t.name = "series";
  t.title = "Every series";
  t.columns = {{"er", "Series"},
               {"r2", "R2", Shown::SI},
               {"r4", "R4", Shown::SI},
               {"zo", "Zo", Shown::SI},
               {"zo_error_pct", "Zo error %", Shown::Fixed, 3},
               {"gain_db", "Gain dB", Shown::Fixed, 3},
               {"gain_error_db", "Gain error dB", Shown::Fixed, 3},
               {"zio", "Zio", Shown::SI},
               {"eta", "η %", Shown::Percent, 1},
               {"outcome", "Outcome"}};
  for (const SeriesRow& r : rows) {
    t.rows.push_back({SeriesCell(r.ER), Cell::Number(r.state.R2), Cell::Number(r.state.R4),
                      Cell::Number(r.state.Zor), Cell::Number(r.zoErrorPct), Cell::Number(r.gainDb),
                      Cell::Number(r.gainErrorDb), Cell::Number(r.state.Zio), Cell::Number(r.state.Decr),
                      OutcomeCell(r.result)});
  }
  return {InputsTable(in), t};
}

std::vector<Table> SearchTables(const DesignInputs& in, const SearchTrace& trace) {
  Table summary;
  summary.name = "search";
  summary.title = "Neighbour search";
  summary.record = true;
  summary.columns = {{"er", "series"},
                     {"searched", "searched"},
                     {"complete", "complete"},
                     {"rounded_r2", "rounded R2", Shown::SI},
                     {"rounded_r4", "rounded R4", Shown::SI},
                     {"chosen_r2", "chosen R2", Shown::SI},
                     {"chosen_r4", "chosen R4", Shown::SI},
                     {"outcome", "outcome"}};
  summary.rows = {{SeriesCell(trace.ER), Cell::Bool(trace.searched), Cell::Bool(trace.complete),
                   Cell::Number(trace.roundedR2),
                   Cell::Number(trace.roundedR4), Cell::Number(trace.R2), Cell::Number(trace.R4),
                   OutcomeCell(trace.result)}};

  Table t;
  t.name = "candidates";
  t.columns = {{"r4", "r4", Shown::SI},
               {"r2", "r2", Shown::SI},
               {"t", "t", Shown::SI},
               {"m", "m", Shown::Fixed, 6},
               {"status", ""}};
  for (std::size_t i = 0; i < trace.steps.size(); ++i) {
    const Candidate& c = trace.steps[i];
    t.rows.push_back({Cell::Number(c.r4), Cell::Number(c.r2), Cell::Number(c.t),
                      c.skipped ? Cell::Null() : Cell::Number(c.m), SearchStatus(trace, i)});
  }
  if (trace.ER == 0) {
    t.notes.push_back("No series (∞): R2 and R4 keep their exact values; there is no neighbour search.");
  } else if (!trace.searched) {
    t.notes.push_back("The calculation ended before the neighbour search.");
  } else if (!trace.complete) {
    t.notes.push_back("A floating-point fault stopped the search after " + std::to_string(trace.steps.size()) +
                      " of 9 pairs.");
  } else if (trace.winner < 0) {
    t.notes.push_back("No pair has a positive output impedance: the rounded pair stays.");
  }
  return {InputsTable(in), summary, t};
}

std::vector<Table> ToleranceTables(const ToleranceReport& r) {
  Table settings;
  settings.name = "settings";
  settings.title = "Tolerance";
  settings.record = true;
  settings.columns = {{"er", "series"},
                      {"tolerance_pct", "±%", Shown::Shortest},
                      {"distribution", "distribution"},
                      {"samples", "samples"},
                      {"seed", "seed"},
                      {"zo", "Zo", Shown::SI},
                      {"r1", "R1", Shown::SI},
                      {"r2", "R2", Shown::SI},
                      {"r3", "R3", Shown::SI},
                      {"r4", "R4", Shown::SI},
                      {"r5", "R5", Shown::SI}};
  const Circuit& c = r.circuit;
  settings.rows = {{SeriesCell(r.ER), Cell::Number(r.settings.pct),
                    Cell::Text(r.settings.distribution == Distribution::Uniform ? "uniform" : "normal"),
                    Cell::Unsigned(r.settings.samples), Cell::Unsigned(r.settings.seed), Cell::Number(c.Zo),
                    Cell::Number(c.R[0]), Cell::Number(c.R[1]), Cell::Number(c.R[2]), Cell::Number(c.R[3]),
                    Cell::Number(c.R[4])}};

  Table figures;
  figures.name = "figures";
  figures.columns = {{"statistic", ""},
                     {"zo", "Zo", Shown::SI},
                     {"gain_db", "Gain dB", Shown::Fixed, 3},
                     {"zio", "Zio", Shown::SI},
                     {"eta", "η %", Shown::Percent, 2}};
  auto row = [&](const char* code, const char* label, const std::array<double, kFigures>& v) {
    figures.rows.push_back({Cell::Text(code, label), Cell::Number(v[0]), Cell::Number(v[1]),
                            Cell::Number(v[2]), Cell::Number(v[3])});
  };
  auto stat = [&](double Spread::*member) {
    std::array<double, kFigures> v;
    for (std::size_t i = 0; i < kFigures; ++i) v[i] = r.monteCarlo.figures[i].*member;
    return v;
  };
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  row("nominal", "nominal", r.nominalGood ? r.nominal.spread() : std::array<double, kFigures>{nan, nan, nan, nan});
  row("worst_min", "worst case min", r.worst.min);
  row("worst_max", "worst case max", r.worst.max);
  row("mean", "mean", stat(&Spread::mean));
  row("sd", "standard deviation", stat(&Spread::sd));
  row("p01", "1st percentile", stat(&Spread::p01));
  row("p99", "99th percentile", stat(&Spread::p99));
  figures.notes.push_back(
      "Monte Carlo: " + std::to_string(r.monteCarlo.samples - r.monteCarlo.bad) + " of " +
      std::to_string(r.monteCarlo.samples) + " samples stable; worst case: " +
      std::to_string(32 - r.worst.badCorners) + " of 32 corners stable, " + std::to_string(r.worst.points) +
      " points evaluated.");

  if (r.worst.badPoints > 0) {
    figures.notes.push_back(
        "Part of the tolerance box is unstable: towards it Zo and the gain grow without bound, and the worst "
        "case shows the extremes found among the stable circuits.");
  }

  Table method;
  method.name = "worst_case_by";
  method.title = "Worst case from";
  method.record = true;
  method.columns = {{"zo", "Zo"}, {"gain_db", "Gain"}, {"zio", "Zio"}, {"eta", "η"}};
  method.rows.emplace_back();
  for (bool corners : r.worst.cornersSuffice) {
    method.rows[0].push_back(Cell::Text(corners ? "corners" : "search", corners ? "the corners" : "an interior search"));
  }

  Table stability;
  stability.name = "stability";
  stability.record = true;
  stability.title = "Unstable (Zo not positive and finite)";
  stability.columns = {{"nominal_stable", "nominal stable"},
                       {"bad_samples", "samples"},
                       {"bad_corners", "corners"},
                       {"bad_points", "search points"}};
  stability.rows = {{Cell::Bool(r.nominalGood, "yes", "NO"), Cell::Unsigned(r.monteCarlo.bad),
                     Cell::Integer(r.worst.badCorners), Cell::Unsigned(r.worst.badPoints)}};

  Table sensitivity;
  sensitivity.name = "sensitivity";
  sensitivity.title = "Sensitivity: change for +1 % on one resistor";
  sensitivity.columns = {{"resistor", ""}, {"zo_pct", "Zo %", Shown::Fixed, 4}, {"gain_pct", "Gain %", Shown::Fixed, 4}};
  const char* names[kResistors][2] = {{"r1", "R1"}, {"r2", "R2"}, {"r3", "R3"}, {"r4", "R4"}, {"r5", "R5"}};
  for (std::size_t i = 0; i < kResistors; ++i) {
    sensitivity.rows.push_back({Cell::Text(names[i][0], names[i][1]), Cell::Number(r.sensitivity.zoPct[i]),
                                Cell::Number(r.sensitivity.gainPct[i])});
  }
  return {settings, figures, method, stability, sensitivity};
}

}  // namespace velmora::main
