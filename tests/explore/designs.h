// Designs shared by the explorer's tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "explore/explorer.h"
#include "main/design.h"

namespace velmora::explore::testing {

// The window's initial inputs.
inline constexpr DesignInputs kDefault{0.0, 600, 10000, 10000, 68, 24};

// Every value negative: it designs, but no circuit of it is stable (every t < 0).
inline constexpr DesignInputs kNegative{0.0, -600, -10000, -10000, -1000};

// Designs whose circuits stay stable over their whole tolerance box of pct %
// in series er.
struct StableDesign {
  DesignInputs in;
  std::int32_t er;
  double pct;
};
inline constexpr StableDesign kStableDesigns[] = {
    {kDefault, 24, 5},
    {kDefault, 12, 10},
    {kDefault, 0, 1},
    {{20, 600, 10000, 10000, 68}, 96, 1},
    {{0, 600, 10000, 10000, 400}, 24, 5},
    {{-6, 50, 4700, 22000, 10}, 48, 2},
};

// The state SolveDesign leaves for a design that must succeed.
inline main::DesignState Designed(const DesignInputs& in, std::int32_t er) {
  main::DesignState s;
  EXPECT_EQ(main::SolveDesign(in.WithSeries(er), s), DesignOutcome::Success);
  return s;
}

}  // namespace velmora::explore::testing
