// The frequency analysis's option texts read into the op-amp model and the
// sweep (the second of velmora-cli's steps, for --frequency and --netlist).
#pragma once

#include "cli/frequency_options.h"
#include "response/analysis.h"
#include "response/opamp.h"

namespace velmora::cli {

struct FrequencyRun {
  bool listPresets = false;  // --opamp list
  bool modelGiven = false;   // any of these options: the netlist gets the model
  response::OpAmp opamp;     // the preset of --opamp (ideal when none), each value given on its own over it
  response::FrequencySettings settings;
};

// Reads `texts` into `run` in this order: --opamp, --a0, --gbw, --f2, --ro,
// --en, --in, --vmax, --imax, --cload, --temp, --fmin, --fmax, --per-decade.
// Values are read as the window's boxes read theirs ("10M", "4n7", "0.7p");
// "∞", "inf" or "infinity" (any case) is infinite where the option allows it.
// Returns kOk, or kBadValue after naming the first option whose text cannot
// be used.
int ReadFrequency(const FrequencyTexts& texts, FrequencyRun& run);

// The --help section of these options, ending with a blank line; it goes
// before the exit statuses.
extern const char* const kFrequencyHelp;

}  // namespace velmora::cli
