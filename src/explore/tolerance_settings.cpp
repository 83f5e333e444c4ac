#include "explore/tolerance_settings.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

#include "common/numtext.h"
#include "common/utf.h"
#include "main/texts.h"

namespace velmora::explore {
namespace {

// The whole of `text` as a T by std::from_chars; nullopt when it is empty,
// not a T or has anything after it.
template <typename T>
std::optional<T> FromCharsWhole(std::string_view text) {
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A real number written in `syntax`; NaN when the text is none.
double ReadReal(SettingSyntax syntax, ToleranceField field, std::u16string_view text) {
  if (syntax == SettingSyntax::Box) return common::StrToValue(text);
  std::string s = common::Utf16ToUtf8(text);
  if (field == ToleranceField::Pct && !s.empty() && s.back() == '%') s.pop_back();
  return FromCharsWhole<double>(s).value_or(std::nan(""));
}

// A whole number written in `syntax`; nullopt when the text is none.
std::optional<std::uint64_t> ReadWhole(SettingSyntax syntax, std::u16string_view text) {
  std::string s = common::Utf16ToUtf8(text);
  if (syntax == SettingSyntax::Box) {
    s.erase(0, s.find_first_not_of(' '));
    s.erase(s.find_last_not_of(' ') + 1);
  }
  return FromCharsWhole<std::uint64_t>(s);
}

bool StoreReal(double value, const RealLimits& limits, double& setting) {
  if (!limits.Admits(value)) return false;
  setting = value == 0.0 ? 0.0 : value;  // -0 is 0
  return true;
}

bool StoreWhole(std::optional<std::uint64_t> value, const WholeLimits& limits, std::uint64_t& setting) {
  if (!value || !limits.Admits(*value)) return false;
  setting = *value;
  return true;
}

}  // namespace

const char* DistributionName(Distribution distribution) {
  return distribution == Distribution::Uniform ? "uniform" : "normal";
}

std::optional<Distribution> DistributionNamed(std::string_view name) {
  for (const Distribution d : {Distribution::Uniform, Distribution::Normal}) {
    if (name == DistributionName(d)) return d;
  }
  return std::nullopt;
}

bool ReadSetting(SettingSyntax syntax, ToleranceField field, std::u16string_view text, ToleranceSettings& s) {
  switch (field) {
    case ToleranceField::Pct: return StoreReal(ReadReal(syntax, field, text), kPctLimits, s.pct);
    case ToleranceField::Samples: return StoreWhole(ReadWhole(syntax, text), kSamplesLimits, s.samples);
    case ToleranceField::Seed: return StoreWhole(ReadWhole(syntax, text), kSeedLimits, s.seed);
    case ToleranceField::AcceptZo: return StoreReal(ReadReal(syntax, field, text), kAcceptZoLimits, s.acceptZoPct);
    case ToleranceField::AcceptGain:
      return StoreReal(ReadReal(syntax, field, text), kAcceptGainLimits, s.acceptGainDb);
  }
  return false;
}

std::variant<ToleranceSettings, BadToleranceBox> ReadToleranceBoxes(const ToleranceBoxTexts& boxes) {
  namespace texts = main::texts;
  const struct {
    ToleranceField field;
    std::u16string_view text, message;
  } fields[] = {
      {ToleranceField::Pct, boxes.pct, texts::ExplorerBadTolerance},
      {ToleranceField::Samples, boxes.samples, texts::ExplorerBadSamples},
      {ToleranceField::Seed, boxes.seed, texts::ExplorerBadSeed},
      {ToleranceField::AcceptZo, boxes.acceptZo, texts::ExplorerBadAcceptZo},
      {ToleranceField::AcceptGain, boxes.acceptGain, texts::ExplorerBadAcceptGain},
  };
  ToleranceSettings settings;
  settings.distribution = boxes.distribution;
  for (const auto& f : fields) {
    if (!ReadSetting(SettingSyntax::Box, f.field, f.text, settings)) return BadToleranceBox{f.field, f.message};
  }
  return settings;
}

}  // namespace velmora::explore
