// SolveDesign for any five doubles (NaN, infinities and subnormals included)
// and any series number: it returns an outcome or throws its floating-point
// fault, and Valid is set exactly on Success.
//
// The result texts of a success are composed in full or not at all:
// ComposeResults either throws (the gain in dB of a ratio of 0 divides by
// zero, of a negative ratio is invalid; 100 x eta may overflow) and returns
// nothing, or returns all six texts as the boxes show them: each number
// padded with spaces to its field (7 characters with 3 decimals; eta 3 with
// 1) and never beyond it, then the SI prefix letter that puts the value in
// 1 ... 1000 (none inside that range), or "%" for eta; read as an input box
// reads it, each text gives back its value to within half its last decimal.
// Anything else aborts.
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "common/fp_error.h"
#include "common/numtext.h"
#include "main/design.h"
#include "main/report.h"

namespace {

using velmora::common::FloatingPointError;
using velmora::common::FpFault;

void Check(bool ok) {
  if (!ok) std::abort();
}

// The SI prefix ranges of the result boxes: a value in [kBound[i], kBound[i+1])
// shows divided by kBound[i], followed by kPrefix[i] (none for the unit range).
constexpr double kBound[] = {1e-12, 1e-9, 1e-6, 1e-3, 1.0, 1e3, 1e6, 1e9, 1e12};
constexpr std::u16string_view kPrefix = u"pnum kMGT";
constexpr std::size_t kUnit = 4;

// `text` shows `value` with `decimals` decimals, padded to `field`, then
// `tail`; with `si`, the number is scaled by an SI prefix letter (or none)
// written after it.
void CheckShows(std::u16string_view text, double value, std::size_t field, int decimals, bool si,
                std::u16string_view tail = {}) {
  Check(text.size() >= field + tail.size() && text.substr(text.size() - tail.size()) == tail);
  std::u16string_view body = text.substr(0, text.size() - tail.size());
  if (std::isnan(value)) {
    // NaN: the asterisk pattern across the whole box, or "NAN".
    Check(si ? text == u" " + std::u16string(field - 1, u'*') + u" "
             : body.substr(body.find_first_not_of(u' ')) == u"NAN");
    return;
  }
  std::size_t range = kUnit;
  if (si) {
    const std::size_t letter = kPrefix.find(body.back());
    if (letter != kUnit && letter != std::u16string_view::npos) {
      range = letter;
      body.remove_suffix(1);
    }
  }
  const std::size_t pad = body.find_first_not_of(u' ');
  Check(pad != std::u16string_view::npos && (pad == 0 || body.size() == field));
  const std::u16string_view number = body.substr(pad);
  Check(number.find(u' ') == std::u16string_view::npos);
  if (std::isinf(value)) {
    Check(number == (value < 0 ? u"-INF" : u"INF") && (!si || range == 8));
    return;
  }
  if (si && value != 0.0) {
    Check(range == 0 || std::fabs(value) >= kBound[range]);
    Check(range == 8 || std::fabs(value) < kBound[range + 1]);
  }
  if (number.find(u'E') == std::u16string_view::npos) {
    const std::size_t point = number.find(velmora::common::DecimalSeparator());
    Check(point != std::u16string_view::npos && number.size() - point - 1 == static_cast<std::size_t>(decimals));
  }
  const double read = velmora::common::StrToValue(si ? text : body);
  const double halfUnit = 0.5 * std::pow(10.0, -decimals) * (si ? kBound[range] : 1.0);
  Check(std::fabs(read - value) <= halfUnit * (1 + 1e-9) + std::fabs(value) * 1e-15);
}

// ComposeResults on a state that SolveDesign called a success.
void CheckResults(const velmora::main::DesignState& state) {
  // The one fault each state must bring, if any.
  bool throws = true;
  FpFault fault = FpFault::Invalid;
  if (state.Gainr == 0.0) {
    fault = FpFault::DivideByZero;
  } else if (state.Gainr < 0.0) {
    fault = FpFault::Invalid;
  } else if (std::isfinite(state.Decr) && !std::isfinite(100.0 * state.Decr)) {
    fault = FpFault::Overflow;
  } else {
    throws = false;
  }
  velmora::main::ResultTexts texts;
  try {
    texts = velmora::main::ComposeResults(state);
  } catch (const FloatingPointError& e) {
    Check(throws && e.fault() == fault);
    return;
  }
  Check(!throws);
  CheckShows(texts.Zor, state.Zor, 7, 3, true);
  CheckShows(texts.Gainr, velmora::main::GainDb(state.Gainr), 7, 3, false);
  CheckShows(texts.R2, state.R2, 7, 3, true);
  CheckShows(texts.R4, state.R4, 7, 3, true);
  CheckShows(texts.Zio, state.Zio, 7, 3, true);
  CheckShows(texts.Decr, 100.0 * state.Decr, 3, 1, false, u"%");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 44) return 0;
  double v[5];
  for (int i = 0; i < 5; ++i) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, data + 8 * i, 8);
    v[i] = std::bit_cast<double>(bits);
  }
  std::int32_t er = 0;
  std::memcpy(&er, data + 40, 4);
  velmora::main::DesignState state;
  bool solved = false;
  try {
    const auto outcome = velmora::main::SolveDesign(v[0], v[1], v[2], v[3], v[4], er, state);
    solved = true;
    Check(state.Valid == (outcome == velmora::main::DesignOutcome::Success));
  } catch (const FloatingPointError&) {
    Check(!state.Valid);
  }
  if (solved && state.Valid) CheckResults(state);
  return 0;
}
