// The values of the frequency analysis as they are typed: the op-amp's,
// its load and temperature, the sweep. One rule per value (its range,
// whether it may be infinite), kept here once for velmora-cli's options and
// the explorer window's boxes, and one reader for both: the text as the
// main window's boxes read values ("10M", "4n7", "0.7p"), or "∞".
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "response/analysis.h"
#include "response/opamp.h"

namespace velmora::response {

// In the order both readers read them; the first kOpAmpFields are the
// op-amp's own (a value of those given on its own makes the op-amp custom).
enum class FrequencyField { A0, Gbw, F2, Ro, En, In, Vmax, Imax, Cload, Temp, Fmin, Fmax, PerDecade };
inline constexpr std::size_t kOpAmpFields = 8;
inline constexpr std::size_t kFrequencyFields = 13;

// The range of a value: above `lo` (or from it when `closed`) up to and
// including `hi`; infinity too when `infinite`; whole numbers only when `whole`.
struct FieldRule {
  bool infinite = false;
  double lo = 0, hi = 0;
  bool closed = false;
  bool whole = false;
  bool Admits(double x) const;
};

FieldRule RuleOf(FrequencyField field);

// "∞" or "+∞", or "inf", "+inf", "infinity", "+infinity" in any ASCII case.
bool IsInfinityText(std::u16string_view text) noexcept;

// The value of `text` for `field` when its rule admits it; nullopt for a
// text that is no number (an empty one included) or is out of range. Never
// throws.
std::optional<double> ReadFrequencyField(FrequencyField field, std::u16string_view text) noexcept;

// The value of `field` in `op` and `settings`, and its setting; the sweep's
// points per decade as a double (SetField takes a whole number only).
double FieldValue(FrequencyField field, const OpAmp& op, const FrequencySettings& settings);
void SetField(FrequencyField field, double value, OpAmp& op, FrequencySettings& settings);

// The text a box shows for `value`: "∞" for infinity, else the shortest
// decimal digits that read back to exactly `value`, scaled to an SI prefix
// with the current decimal separator ("10M", "13.6", "38m") where that text
// reads back exactly, or else as a whole number and a power of ten ("7e-13",
// "136e-1" where the separator is a comma). ReadFrequencyField gives
// `value` back for it. Never throws.
std::u16string FieldText(double value);

}  // namespace velmora::response
