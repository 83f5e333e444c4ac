#include "cli/arguments.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "cli/diagnostics.h"
#include "common/utf.h"

namespace velmora::cli {
namespace {

using common::Utf16ToUtf8;
using Text = std::optional<std::u16string> OptionTexts::*;

// The options that always take a value: "--name T" or "--name=T".
struct ValueOption {
  const char* name;
  Text text;
};
constexpr ValueOption kValueOptions[] = {
    {"--zo", &OptionTexts::zo},          {"--gain", &OptionTexts::gain},
    {"--r1", &OptionTexts::r1},          {"--r3", &OptionTexts::r3},
    {"--r5", &OptionTexts::r5},          {"--series", &OptionTexts::series},
    {"--series-list", &OptionTexts::seriesList},
    {"--format", &OptionTexts::format},  {"--samples", &OptionTexts::samples},
    {"--seed", &OptionTexts::seed},      {"--dist", &OptionTexts::dist},
    {"--accept-zo", &OptionTexts::acceptZo}, {"--accept-gain", &OptionTexts::acceptGain},
    {"--plot", &OptionTexts::plot}};

// The modes whose value may be left out: "--name", "--name V" when the next
// argument does not start with "--", or "--name=V".
struct ModeOption {
  const char* name;
  Mode mode;
  Text text;
};
constexpr ModeOption kModeOptions[] = {{"--tolerance", Mode::Tolerance, &OptionTexts::tolerance},
                                       {"--netlist", Mode::Netlist, &OptionTexts::netlist}};

// Refuses a text with a control character: taken into a report or a table
// it could forge lines there, and echoed raw it would drive the terminal.
int CheckText(std::string_view option, const std::u16string& text) {
  for (const char16_t c : text) {
    if (IsControl(c)) {
      WriteErr("velmora-cli: " + std::string(option) + ": " + Quoted(text) + " contains a control character\n");
      return kBadValue;
    }
  }
  return kOk;
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

}  // namespace

bool TakeValue(const std::vector<std::u16string>& args, std::size_t& i, std::string_view name, bool optional,
               std::optional<std::u16string>& value, int& code) {
  const std::string arg = Utf16ToUtf8(args[i]);
  code = kOk;
  if (StartsWith(arg, std::string(name) + "=")) {
    value = args[i].substr(name.size() + 1);
  } else if (arg != name) {
    return false;
  } else if (i + 1 < args.size() && !(optional && args[i + 1].rfind(u"--", 0) == 0)) {
    value = args[++i];
  } else if (!optional) {
    code = Usage(std::string(name) + " needs a value");
    return true;
  } else {
    return true;
  }
  code = CheckText(name, *value);
  return true;
}

namespace {

// The mode options given, in order, as the names they were given by.
using ModeNames = std::vector<std::string>;

// Refuses a mode given twice, more than one mode, the options given for a
// mode that was not chosen, and an empty PATH.
int CheckCombination(const OptionTexts& t, const ModeNames& modes) {
  for (auto mode = modes.begin(); mode != modes.end(); ++mode) {
    if (std::find(modes.begin(), mode, *mode) != mode) return Usage(*mode + " is given twice");
  }
  if (modes.size() > 1) return Usage("choose one of --all-series, --candidates, --tolerance, --frequency and --netlist");
  const struct {
    bool given;
    const char* option;
    Mode needs;
    const char* needsName;
  } belongs[] = {{t.seriesList.has_value(), "--series-list", Mode::AllSeries, "--all-series"},
                 {t.samples.has_value(), "--samples", Mode::Tolerance, "--tolerance"},
                 {t.seed.has_value(), "--seed", Mode::Tolerance, "--tolerance"},
                 {t.dist.has_value(), "--dist", Mode::Tolerance, "--tolerance"},
                 {t.acceptZo.has_value(), "--accept-zo", Mode::Tolerance, "--tolerance"},
                 {t.acceptGain.has_value(), "--accept-gain", Mode::Tolerance, "--tolerance"}};
  for (const auto& b : belongs) {
    if (b.given && t.mode != b.needs) return Usage(std::string(b.option) + " needs " + b.needsName);
  }
  if (t.plot && t.mode != Mode::Tolerance && t.mode != Mode::Frequency)
    return Usage("--plot needs --tolerance or --frequency");
  if (t.format && (t.mode == Mode::Report || t.mode == Mode::Netlist) && !ListsPresets(t.frequency))
    return Usage("--format needs --all-series, --candidates, --tolerance or --frequency");
  if (t.series && t.mode == Mode::AllSeries)
    return Usage("--all-series takes its series from --series-list, not --series");
  if (t.netlist && t.netlist->empty())
    return Usage("--netlist needs a PATH that is not empty (none, or \"-\", for standard output)");
  if (t.plot && t.plot->empty()) return Usage("--plot needs a PATH that is not empty");
  return CheckFrequencyCombination(t.mode == Mode::Frequency, t.mode == Mode::Netlist, t.frequency);
}

}  // namespace

int ParseArguments(const std::vector<std::u16string>& args, OptionTexts& texts) {
  ModeNames modes;
  auto choose = [&](Mode mode, std::string name) {
    if (modes.empty()) texts.mode = mode;
    modes.push_back(std::move(name));
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string arg = Utf16ToUtf8(args[i]);
    if (arg == "--version" || arg == "--help" || arg == "-h") {
      texts.request = arg == "--version" ? Request::Version : Request::Help;
      return kOk;
    }
    if (arg == "--crlf") {
      texts.crlf = true;
      continue;
    }
    if (arg == "--all-series" || arg == "--candidates" || arg == "--frequency") {
      choose(arg == "--all-series" ? Mode::AllSeries : arg == "--candidates" ? Mode::Candidates : Mode::Frequency, arg);
      continue;
    }
    bool matched = false;
    int code = kOk;
    for (const ModeOption& o : kModeOptions) {
      if (!TakeValue(args, i, o.name, true, texts.*o.text, code)) continue;
      choose(o.mode, o.name);
      matched = true;
      break;
    }
    for (const ValueOption& o : kValueOptions) {
      if (matched) break;
      matched = TakeValue(args, i, o.name, false, texts.*o.text, code);
    }
    if (!matched) matched = TakeFrequencyOption(args, i, texts.frequency, code);
    if (!matched) return Usage("unknown argument " + Quoted(args[i]));
    if (code != kOk) return code;
  }
  return CheckCombination(texts, modes);
}

}  // namespace velmora::cli
