// The design explorer: the same inputs run through every series, the
// neighbour search laid open, and the tolerance analysis of the built
// circuit. explorer_tables.h lays the results out as tables.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/fp_error.h"
#include "main/design.h"
#include "explore/tolerance.h"

namespace velmora::explore {

using main::Candidate;
using main::DesignInputs;

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

// ---- Tolerance ----

struct ToleranceSettings {
  double pct = 1.0;  // each resistor within +-pct % (uniform) or pct % = 3 sigma (normal)
  Distribution distribution = Distribution::Uniform;
  std::uint64_t samples = 100000;
  std::uint64_t seed = 1;
  double acceptZoPct = 10.0;  // acceptance: Zo within +-acceptZoPct % of the wanted Zo
  double acceptGainDb = 1.0;  // and the gain within +-acceptGainDb dB of the wanted gain
  std::size_t bins = 40;      // of each histogram
};

struct ToleranceReport {
  std::int32_t ER = 0;
  ToleranceSettings settings;
  Circuit circuit;
  bool nominalGood = false;  // the nominal circuit itself has figures
  Figures nominal;
  BoxExtremes worst;
  MonteCarloResult monteCarlo;
  Sensitivity sensitivity;
  double wantedGainDb = 0;
  CountPlan plan;  // the acceptance windows and the bins the Monte Carlo counted
  // Some circuit within the tolerance has no positive, finite output impedance.
  bool unstable() const;
};

// The analysis of the circuit that `state` describes (R1 ... R5 and Zo);
// the acceptance windows lie around state.Zo and the gain in dB of
// state.Gain. With a `control`, the Monte Carlo run reports its progress and
// can be cancelled (then report.monteCarlo.cancelled and nothing else
// counts). Throws only common::FloatingPointError (see MonteCarlo).
ToleranceReport AnalyseTolerance(const DesignState& state, const ToleranceSettings& settings,
                                 RunControl* control = nullptr);

// A loud warning about circuits within the tolerance whose output impedance
// is not positive and finite, with their share of samples and corners;
// empty when there are none.
std::string UnstableWarning(const ToleranceReport& report);

}  // namespace velmora::explore
