// velmora-cli's frequency analysis, the op-amp list and the netlist's
// op-amp, run on the settings (the third step).
#pragma once

#include <string>
#include <string_view>

#include "cli/settings.h"
#include "common/checked_writer.h"
#include "main/design.h"

namespace velmora::cli {

// Writes `text` to the file at `path`; kOk or kWriteFailed after a message.
using FileWriter = int (*)(const std::u16string& path, std::string_view text);

// The tables of the frequency analysis of `state` (a Success of SolveDesign)
// in the settings' format, and the Bode picture to the settings' plot file
// first when one is given. kOk; kBadValue after the message when a resistor
// is not positive; kWriteFailed as `write` returns it. Throws only
// common::FloatingPointError, for the caller to report.
int RunFrequency(const Settings& s, const main::DesignState& state, common::CheckedWriter& out, FileWriter write);

// --opamp list: the presets in the settings' format; kOk.
int PrintPresets(const Settings& s, common::CheckedWriter& out);

// The netlist of `state` for --netlist, with the settings' line ends: the
// ideal op-amp's, or the op-amp model's when a frequency option was given.
std::string StageNetlist(const Settings& s, const main::DesignState& state);

}  // namespace velmora::cli
