// The first of velmora-cli's three steps: the command line split into the
// texts of its options, before any of them is read as a value.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/frequency_options.h"

namespace velmora::cli {

enum class Mode { Report, AllSeries, Candidates, Tolerance, Netlist, Frequency };

// What the command line asks for: a run of `mode`, or a text about the program.
enum class Request { Run, Help, Version };

// The options' texts as given (the last one of an option given twice; a
// mode given twice is refused); nullopt for an option that was not given.
struct OptionTexts {
  Request request = Request::Run;
  Mode mode = Mode::Report;
  bool crlf = false;
  std::optional<std::u16string> zo, gain, r1, r3, r5, series;
  std::optional<std::u16string> seriesList, format, samples, seed, dist;
  std::optional<std::u16string> acceptZo, acceptGain, plot;  // --accept-zo, --accept-gain, --plot
  std::optional<std::u16string> tolerance;  // the PCT of --tolerance, when it has one
  std::optional<std::u16string> netlist;    // the PATH of --netlist, when it has one
  FrequencyTexts frequency;                 // --frequency's options (frequency_options.h)
};

// Splits `args` (the arguments after the program's name) into `texts`.
// Returns kOk, or the exit code after a message on standard error: kUsage
// for an unknown argument or a missing value, kBadValue for a text with a
// control character, whichever comes first in `args`; then kUsage for a
// mode given twice, for options that do not go together and for an empty
// --netlist or --plot PATH. The first --help, -h or --version ends
// the reading: the arguments after it are not looked at.
int ParseArguments(const std::vector<std::u16string>& args, OptionTexts& texts);

// Reads args[i] as the option `name`: "NAME=V", or NAME with the next
// argument as its value (when the value is `optional`, only a next argument
// that does not start with "--", and none is needed). Advances i past the
// value it took. Returns false when args[i] is not this option; otherwise
// sets `code` to kOk, or after the message to kUsage (no value) or kBadValue
// (a control character in the value).
bool TakeValue(const std::vector<std::u16string>& args, std::size_t& i, std::string_view name, bool optional,
               std::optional<std::u16string>& value, int& code);

}  // namespace velmora::cli
