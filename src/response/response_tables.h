// The frequency analysis as tables (common::Table), for the command line to
// write as text, CSV or JSON and for the window to show and copy.
#pragma once

#include <vector>

#include "common/table.h"
#include "main/design.h"
#include "response/analysis.h"

namespace velmora::response {

// In this order: "design" (the wanted Zo and gain, R1 ... R5, the series),
// "opamp" (every parameter used, with CL and the temperature), "dc" (this
// op-amp) and "ideal" (Zo, gain, Zio, eta at DC), "bandwidth", "stability"
// (one row per load, with plain statements under it), "drive", "noise",
// "noise_sources" (one row per source) and "points" (the sweep). Numbers in
// base units; null where a figure does not exist, and for an infinite
// parameter of the op-amp (A0, GBW, f2, Vmax, Imax).
std::vector<common::Table> FrequencyTables(const main::DesignState& state, const FrequencyReport& report);

// The figures a reader looks at first, as short tables for the window: the
// DC figures with this op-amp and the ideal one, the bandwidths, the
// stability of each load, the drive and the noise beside the plain build's.
std::vector<common::Table> HeadlineTables(const FrequencyReport& report);

// The presets, one row each, for --opamp list.
std::vector<common::Table> PresetTables();

}  // namespace velmora::response
