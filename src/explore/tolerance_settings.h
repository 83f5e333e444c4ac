// The settings of a tolerance analysis: each one's default and limits, kept
// here once for the window and the command line, and the two ways their
// values are typed (velmora-cli's options and the explorer window's boxes),
// each read by one reader for every setting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <variant>

#include "explore/monte_carlo.h"

namespace velmora::explore {

// The customary tolerance in percent of resistors sold in series ER: 3 and 6
// 20 %, 12 10 %, 24 5 %, 48 2 %, 96 1 %, 192 0.5 %, any other (or none) 1 %.
constexpr double CustomaryTolerancePct(std::int32_t ER) {
  switch (ER) {
    case 3:
    case 6: return 20.0;
    case 12: return 10.0;
    case 24: return 5.0;
    case 48: return 2.0;
    case 96: return 1.0;
    case 192: return 0.5;
    default: return 1.0;
  }
}

// The range of a real setting: from `lo` (itself included when
// `loIncluded`) up to, not including, `hi`. NaN is never inside.
struct RealLimits {
  double lo = 0;
  bool loIncluded = false;
  double hi = 0;
  bool Admits(double x) const { return (loIncluded ? x >= lo : x > lo) && x < hi; }
};

// The range of a whole-number setting, both ends included.
struct WholeLimits {
  std::uint64_t lo = 0, hi = 0;
  bool Admits(std::uint64_t n) const { return n >= lo && n <= hi; }
};

// 0 % is a nominal-only run: every sample is the nominal circuit.
inline constexpr RealLimits kPctLimits{0.0, true, 100.0};
inline constexpr WholeLimits kSamplesLimits{1, 10000000};
inline constexpr WholeLimits kSeedLimits{0, std::numeric_limits<std::uint64_t>::max()};
// An acceptance window is never empty, and the Zo window never reaches 0.
inline constexpr RealLimits kAcceptZoLimits{0.0, false, 100.0};
inline constexpr RealLimits kAcceptGainLimits{0.0, false, std::numeric_limits<double>::infinity()};

// The settings with their defaults.
struct ToleranceSettings {
  // Each resistor within +-pct % (uniform) or pct % = 3 sigma (normal).
  double pct = CustomaryTolerancePct(0);
  Distribution distribution = Distribution::Uniform;
  std::uint64_t samples = 100000;
  std::uint64_t seed = 1;
  double acceptZoPct = 10.0;  // acceptance: Zo within +-acceptZoPct % of the wanted Zo
  double acceptGainDb = 1.0;  // and the gain within +-acceptGainDb dB of the wanted gain
  std::size_t bins = 40;      // of each histogram
};

// "uniform" or "normal": the name the command line reads and the tables show.
const char* DistributionName(Distribution distribution);
// The distribution whose DistributionName is `name` (UTF-8), exactly; nullopt
// for any other text.
std::optional<Distribution> DistributionNamed(std::string_view name);

// The settings typed as text, in the order both readers read them.
enum class ToleranceField { Pct, Samples, Seed, AcceptZo, AcceptGain };

// How the value of a setting is written.
enum class SettingSyntax {
  // velmora-cli's options: a real number is a plain decimal number, the
  // whole text as std::from_chars reads it (an optional "-", digits with a
  // point, an exponent; "inf" and "nan" are numbers outside every limit),
  // and the tolerance may end in "%"; a whole number is decimal digits alone.
  CommandLine,
  // The explorer window's boxes: a real number as the main window's boxes
  // read their values (common::StrToValue: SI prefixes, RKM, text after the
  // value ignored); a whole number is decimal digits with spaces (U+0020)
  // around them.
  Box,
};

// Reads `text` as the value of `field` written in `syntax` and stores it in
// `settings` (-0 as 0). Returns false, leaving `settings` as it was, when the
// text is no number of that syntax or its value lies outside the field's
// limits. Never throws.
bool ReadSetting(SettingSyntax syntax, ToleranceField field, std::u16string_view text, ToleranceSettings& settings);

// The texts of the explorer window's tolerance boxes, and the distribution
// its selector shows.
struct ToleranceBoxTexts {
  std::u16string_view pct, samples, seed, acceptZo, acceptGain;
  Distribution distribution = Distribution::Uniform;
};

// A box whose text cannot be used, and the user text (main::texts) that
// says why.
struct BadToleranceBox {
  ToleranceField box;
  std::u16string_view message;
};

// The settings the boxes give (the bins at their default), each box read
// with SettingSyntax::Box in the order of ToleranceField; the first box that
// cannot be used otherwise. Never throws.
std::variant<ToleranceSettings, BadToleranceBox> ReadToleranceBoxes(const ToleranceBoxTexts& boxes);

}  // namespace velmora::explore
