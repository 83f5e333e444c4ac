// Round values for a plot's axes, with their labels: the one tick rule of
// every picture the program draws (histograms, Bode plots).
#pragma once

#include <string>
#include <vector>

namespace velmora::common {

struct Tick {
  double value = 0;
  std::string label;  // empty: a minor tick, drawn without a label
};

// Round values for an axis from lo to hi, 1, 2 or 5 times a power of ten
// apart, at most about `most` of them, with labels that share one SI prefix
// (ohms) or none (dB): 540, 560, 580 or 1.1k, 1.2k. None when hi <= lo, the
// span is not finite or most < 1.
std::vector<Tick> AxisTicks(double lo, double hi, int most, bool siPrefix);

// Ticks for a logarithmic axis from lo to hi (0 < lo < hi, both finite):
// every power of ten inside, labelled with an SI prefix ("10", "100", "1k",
// "10k", "1M"), and 2 ... 9 times each power as minor ticks without a label.
// None for a range that is not such.
std::vector<Tick> LogAxisTicks(double lo, double hi);

}  // namespace velmora::common
