// velmora-cli's options of the frequency analysis (--frequency) and of the
// op-amp model that --netlist also takes: their texts, before any is read.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace velmora::cli {

// The texts as given (the last of an option given twice); nullopt: not given.
struct FrequencyTexts {
  std::optional<std::u16string> opamp, a0, gbw, f2, ro, en, in, vmax, imax;  // the op-amp
  std::optional<std::u16string> cload, temp;                                // its load and the temperature
  std::optional<std::u16string> fmin, fmax, perDecade;                      // the sweep

  // Any of these options but "--opamp list": the netlist then gets the model.
  bool ModelGiven() const;
};

// "--opamp list": print the presets.
bool ListsPresets(const FrequencyTexts& texts);

// Reads args[i] when it is one of the options above ("--gbw T" or
// "--gbw=T", as TakeValue); returns false when it is none of them.
bool TakeFrequencyOption(const std::vector<std::u16string>& args, std::size_t& i, FrequencyTexts& texts, int& code);

// kUsage after a message for an option given without --frequency or
// --netlist ("--opamp list" goes without a mode too); kOk otherwise.
int CheckFrequencyCombination(bool frequencyMode, bool netlistMode, const FrequencyTexts& texts);

}  // namespace velmora::cli
