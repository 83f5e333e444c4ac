#include "explore/explorer_tables.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>

#include "common/checked.h"
#include "common/fp_error.h"
#include "common/numtext.h"
#include "common/utf.h"
#include "explore/yield.h"

namespace velmora::explore {
namespace {

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

// One row per series: the design, its errors and its outcome.
Table SeriesTable(const std::vector<SeriesRow>& rows) {
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
  return t;
}

// Where the neighbour search started, where it ended, and how.
Table SearchSummaryTable(const SearchTrace& trace) {
  Table t;
  t.name = "search";
  t.title = "Neighbour search";
  t.record = true;
  t.columns = {{"er", "series"},
               {"searched", "searched"},
               {"complete", "complete"},
               {"rounded_r2", "rounded R2", Shown::SI},
               {"rounded_r4", "rounded R4", Shown::SI},
               {"chosen_r2", "chosen R2", Shown::SI},
               {"chosen_r4", "chosen R4", Shown::SI},
               {"outcome", "outcome"}};
  t.rows = {{SeriesCell(trace.ER), Cell::Bool(trace.searched), Cell::Bool(trace.complete),
             Cell::Number(trace.roundedR2), Cell::Number(trace.roundedR4), Cell::Number(trace.R2),
             Cell::Number(trace.R4), OutcomeCell(trace.result)}};
  return t;
}

// The pairs in search order, with a note when there was no complete search.
Table CandidatesTable(const SearchTrace& trace) {
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
  return t;
}

// The analysis's settings and the circuit it analysed.
Table ToleranceSettingsTable(const ToleranceReport& r) {
  Table t;
  t.name = "settings";
  t.title = "Tolerance";
  t.record = true;
  t.columns = {{"er", "series"},
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
  t.rows = {{SeriesCell(r.ER), Cell::Number(r.settings.pct), Cell::Text(DistributionName(r.settings.distribution)),
             Cell::Unsigned(r.settings.samples), Cell::Unsigned(r.settings.seed), Cell::Number(c.Zo),
             Cell::Number(c.R[0]), Cell::Number(c.R[1]), Cell::Number(c.R[2]), Cell::Number(c.R[3]),
             Cell::Number(c.R[4])}};
  return t;
}

// One statistic of every figure's Monte Carlo spread.
std::array<double, kFigures> Statistic(const MonteCarloResult& mc, double Spread::*member) {
  std::array<double, kFigures> v;
  for (std::size_t i = 0; i < kFigures; ++i) v[i] = mc.figures[i].*member;
  return v;
}

// The nominal figures, the worst case and the Monte Carlo statistics, one
// row each, with notes on what was evaluated.
Table FiguresTable(const ToleranceReport& r) {
  Table t;
  t.name = "figures";
  t.columns = {{"statistic", ""},
               {"zo", "Zo", Shown::SI},
               {"gain_db", "Gain dB", Shown::Fixed, 3},
               {"zio", "Zio", Shown::SI},
               {"eta", "η %", Shown::Percent, 2}};
  auto row = [&](const char* code, const char* label, const std::array<double, kFigures>& v) {
    t.rows.push_back({Cell::Text(code, label), Cell::Number(v[0]), Cell::Number(v[1]), Cell::Number(v[2]),
                      Cell::Number(v[3])});
  };
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  row("nominal", "nominal", r.nominalGood ? r.nominal.spread() : std::array<double, kFigures>{nan, nan, nan, nan});
  row("worst_min", "worst case min", r.worst.min);
  row("worst_max", "worst case max", r.worst.max);
  row("mean", "mean", Statistic(r.monteCarlo, &Spread::mean));
  row("sd", "standard deviation", Statistic(r.monteCarlo, &Spread::sd));
  row("p01", "1st percentile", Statistic(r.monteCarlo, &Spread::p01));
  row("p99", "99th percentile", Statistic(r.monteCarlo, &Spread::p99));
  t.notes.push_back("Monte Carlo: " + std::to_string(r.monteCarlo.samples - r.monteCarlo.bad) + " of " +
                    std::to_string(r.monteCarlo.samples) + " samples stable; worst case: " +
                    std::to_string(kCorners - r.worst.badCorners) + " of " + std::to_string(kCorners) +
                    " corners stable, " + std::to_string(r.worst.points) + " points evaluated.");
  if (r.worst.badPoints > 0) {
    t.notes.push_back(
        "Part of the tolerance box is unstable: towards it Zo and the gain grow without bound, and the worst "
        "case shows the extremes found among the stable circuits.");
  }
  return t;
}

// Per figure, whether the corners alone gave its worst case.
Table WorstCaseByTable(const BoxExtremes& worst) {
  Table t;
  t.name = "worst_case_by";
  t.title = "Worst case from";
  t.record = true;
  t.columns = {{"zo", "Zo"}, {"gain_db", "Gain"}, {"zio", "Zio"}, {"eta", "η"}};
  t.rows.emplace_back();
  for (bool corners : worst.cornersSuffice) {
    t.rows[0].push_back(Cell::Text(corners ? "corners" : "search", corners ? "the corners" : "an interior search"));
  }
  return t;
}

// How many circuits of each kind had no positive, finite output impedance.
Table StabilityTable(const ToleranceReport& r) {
  Table t;
  t.name = "stability";
  t.record = true;
  t.title = "Unstable (Zo not positive and finite)";
  t.columns = {{"nominal_stable", "nominal stable"},
               {"bad_samples", "samples"},
               {"bad_corners", "corners"},
               {"bad_points", "search points"}};
  t.rows = {{Cell::Bool(r.nominalGood, "yes", "NO"), Cell::Unsigned(r.monteCarlo.bad),
             Cell::Integer(r.worst.badCorners), Cell::Unsigned(r.worst.badPoints)}};
  return t;
}

Table SensitivityTable(const Sensitivity& sensitivity) {
  Table t;
  t.name = "sensitivity";
  t.title = "Sensitivity: change for +1 % on one resistor";
  t.columns = {{"resistor", ""}, {"zo_pct", "Zo %", Shown::Fixed, 4}, {"gain_pct", "Gain %", Shown::Fixed, 4}};
  const char* names[kResistors][2] = {{"r1", "R1"}, {"r2", "R2"}, {"r3", "R3"}, {"r4", "R4"}, {"r5", "R5"}};
  for (std::size_t i = 0; i < kResistors; ++i) {
    t.rows.push_back({Cell::Text(names[i][0], names[i][1]), Cell::Number(sensitivity.zoPct[i]),
                      Cell::Number(sensitivity.gainPct[i])});
  }
  return t;
}

// The acceptance windows and how many samples fell inside both.
Table AcceptanceTable(const ToleranceReport& r) {
  Table t;
  t.name = "acceptance";
  t.title = "Acceptance window";
  t.record = true;
  t.columns = {{"zo_min", "Zo from", Shown::SI},
               {"zo_max", "to", Shown::SI},
               {"gain_db_min", "gain dB from", Shown::Fixed, 3},
               {"gain_db_max", "to", Shown::Fixed, 3},
               {"inside", "samples inside both"},
               {"samples", "of"}};
  t.rows = {{Cell::Number(r.plan.zo.lo), Cell::Number(r.plan.zo.hi), Cell::Number(r.plan.gainDb.lo),
             Cell::Number(r.plan.gainDb.hi), Cell::Unsigned(r.monteCarlo.counts.accepted),
             Cell::Unsigned(r.monteCarlo.samples)}};
  return t;
}

Table YieldTable(const MonteCarloResult& mc) {
  Table t;
  t.name = "yield";
  t.title = "Yield, unstable circuits outside";
  t.record = true;
  t.columns = {{"share", "share %", Shown::Percent, 2},
               {"ci_low", "95 % Wilson score interval from", Shown::Percent, 2},
               {"ci_high", "to", Shown::Percent, 2}};
  const Proportion y = YieldOf(mc);
  t.rows = {{Cell::Number(y.share), Cell::Number(y.low), Cell::Number(y.high)}};
  return t;
}

}  // namespace

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
  return {InputsTable(in), SeriesTable(rows)};
}

std::vector<Table> SearchTables(const DesignInputs& in, const SearchTrace& trace) {
  return {InputsTable(in), SearchSummaryTable(trace), CandidatesTable(trace)};
}

std::vector<Table> ToleranceTables(const ToleranceReport& r) {
  return {ToleranceSettingsTable(r), FiguresTable(r),    WorstCaseByTable(r.worst), StabilityTable(r),
          SensitivityTable(r.sensitivity), AcceptanceTable(r), YieldTable(r.monteCarlo)};
}

}  // namespace velmora::explore
