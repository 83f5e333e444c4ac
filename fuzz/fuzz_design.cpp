// SolveDesign for any five doubles (NaN, infinities and subnormals included)
// and any series number: it returns an outcome or throws its floating-point
// fault, and Valid is set exactly on Success.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/fp_error.h"
#include "main/design.h"
#include "main/report.h"

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
    if (state.Valid != (outcome == velmora::main::DesignOutcome::Success)) std::abort();
  } catch (const velmora::common::FloatingPointError&) {
    if (state.Valid) std::abort();
  }
  // The result texts of a success: composed in full or not at all.
  if (solved && state.Valid) {
    try {
      velmora::main::ComposeResults(state);
    } catch (const velmora::common::FloatingPointError&) {
    }
  }
  return 0;
}
