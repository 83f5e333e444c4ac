// The design explorer: the same inputs run through every series and the
// neighbour search laid open (the tolerance analysis of the built circuit is
// in tolerance_analysis.h). explorer_tables.h lays the results out as
// tables.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/fp_error.h"
#include "main/design.h"

namespace velmora::explore {

using main::Candidate;
using main::DesignInputs;
using main::DesignOutcome;
using main::DesignState;

// How one run of SolveDesign ended: an outcome, or a floating-point fault
// (then `outcome` is not meaningful).
struct RunResult {
  DesignOutcome outcome = DesignOutcome::NotANumber;
  std::optional<common::FpFault> fault;
  bool succeeded() const { return !fault && outcome == DesignOutcome::Success; }
};

// ---- Every series ----

// No series, 3, 6, 12, 24, 48, 96, 192.
std::vector<std::int32_t> DefaultSeriesList();

// Comma-separated entries, each read as the series selector reads its text
// (StrToIntOrZero: "∞", "0", an empty entry or anything that is not a whole
// number gives 0, no series). Never empty: "" is one entry.
std::vector<std::int32_t> ParseSeriesList(std::u16string_view text);
// The entries' texts, split at the commas as ParseSeriesList splits them.
std::vector<std::u16string_view> SeriesListEntries(std::u16string_view text);

struct SeriesRow {
  std::int32_t ER = 0;
  RunResult result;
  // As SolveDesign left it; NaN in each computed number it did not reach.
  DesignState state;
  // From the achieved values, NaN where they are missing or fault:
  double zoErrorPct = 0;   // (Zor / Zo - 1) 100
  double gainDb = 0;       // 20 log10 Gainr
  double gainErrorDb = 0;  // gainDb - the wanted gain in dB
};

// One run as the window's Calculate command makes it, with the inputs'
// series. A Success whose gain cannot be shown in dB (Gainr <= 0) ends, as in
// the window, in the fault that showing it raises.
SeriesRow RunSeries(const DesignInputs& in);

// RunSeries of the inputs with each series of `list` in place of theirs, in
// order; a fault ends only its row.
std::vector<SeriesRow> ExploreSeries(const DesignInputs& in, const std::vector<std::int32_t>& list);

// ---- The neighbour search ----

struct SearchTrace {
  std::int32_t ER = 0;
  RunResult result;       // SolveDesign with ER
  bool searched = false;  // the calculation reached the search (ER != 0)
  double roundedR2 = 0, roundedR4 = 0;  // the pair the search started from
  std::vector<Candidate> steps;         // in search order; up to the fault, if one
  bool complete = false;                // the search tried every pair
  // Index of the step that won a complete search; -1 when no pair
  // qualified (the rounded pair stayed) or the search faulted.
  std::ptrdiff_t winner = -1;
  double R2 = 0, R4 = 0;  // as the calculation left them
};

// The search that SolveDesign makes for the inputs' series, step by step:
// the rounded pair from the unrounded R2 and R4 (SolveDesign with no
// series), then RefinePair with a trace.
SearchTrace TraceSearch(const DesignInputs& in);

}  // namespace velmora::explore
