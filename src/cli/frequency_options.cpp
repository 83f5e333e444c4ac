#include "cli/frequency_options.h"

#include <string_view>

#include "cli/arguments.h"
#include "cli/diagnostics.h"

namespace velmora::cli {
namespace {

using Text = std::optional<std::u16string> FrequencyTexts::*;

struct Option {
  const char* name;
  Text text;
};
constexpr Option kOptions[] = {
    {"--opamp", &FrequencyTexts::opamp}, {"--a0", &FrequencyTexts::a0},     {"--gbw", &FrequencyTexts::gbw},
    {"--f2", &FrequencyTexts::f2},       {"--ro", &FrequencyTexts::ro},     {"--en", &FrequencyTexts::en},
    {"--in", &FrequencyTexts::in},       {"--vmax", &FrequencyTexts::vmax}, {"--imax", &FrequencyTexts::imax},
    {"--cload", &FrequencyTexts::cload}, {"--temp", &FrequencyTexts::temp}, {"--fmin", &FrequencyTexts::fmin},
    {"--fmax", &FrequencyTexts::fmax},   {"--per-decade", &FrequencyTexts::perDecade}};

}  // namespace

bool ListsPresets(const FrequencyTexts& t) { return t.opamp && *t.opamp == u"list"; }

bool FrequencyTexts::ModelGiven() const {
  for (const Option& o : kOptions) {
    if ((this->*o.text).has_value() && !(o.text == &FrequencyTexts::opamp && ListsPresets(*this))) return true;
  }
  return false;
}

bool TakeFrequencyOption(const std::vector<std::u16string>& args, std::size_t& i, FrequencyTexts& texts, int& code) {
  for (const Option& o : kOptions) {
    if (TakeValue(args, i, o.name, false, texts.*o.text, code)) return true;
  }
  return false;
}

int CheckFrequencyCombination(bool frequencyMode, bool netlistMode, const FrequencyTexts& t) {
  if (frequencyMode || netlistMode) return kOk;
  for (const Option& o : kOptions) {
    if (!(t.*o.text).has_value() || (o.text == &FrequencyTexts::opamp && ListsPresets(t))) continue;
    return Usage(std::string(o.name) + " needs --frequency or --netlist");
  }
  return kOk;
}

}  // namespace velmora::cli
