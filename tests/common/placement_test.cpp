#include "common/placement.h"

#include <gtest/gtest.h>

namespace velmora::common {
namespace {

struct PlacementCase {
  const char* what;
  ScreenRect over;
  std::int32_t width, height;
  ScreenRect area;
  std::int32_t x, y;
};

constexpr ScreenRect kScreen{0, 0, 1920, 1040};
constexpr ScreenRect kSecond{1920, 0, 3840, 1040};

TEST(MessageDialogPosition, CentresThenClampsInOrder) {
  const PlacementCase cases[] = {
      {"plain centring",        {100, 100, 500, 400},    250, 120,  kScreen, 175, 190},
      {"half pixel dropped",    {100, 100, 500, 401},    250, 120,  kScreen, 175, 190},
      // (-105) / 2 truncates toward zero: -52, not -53.
      {"negative halves",       {1000, 500, 1200, 600},  305, 205,  kScreen, 948, 448},
      {"bottom clamp",          {100, 940, 500, 1240},   250, 120,  kScreen, 175, 920},
      {"top clamp",             {100, -200, 500, 100},   250, 120,  kScreen, 175, 0},
      {"left clamp",            {-300, 100, 100, 400},   250, 120,  kScreen, 0, 190},
      {"right clamp",           {1700, 100, 2100, 400},  250, 120,  kScreen, 1670, 190},
      // The bottom test runs after the top one and wins: top ends above A.top.
      {"taller than area",      {100, 100, 500, 400},    250, 1100, kScreen, 175, -60},
      {"wider than area",       {100, 100, 500, 400},    2000, 120, kScreen, -80, 190},
      {"second monitor",        {1800, 100, 2400, 400},  700, 120,  kSecond, 1920, 190},
      {"second monitor right",  {3700, 100, 4100, 400},  250, 120,  kSecond, 3590, 190},
  };
  for (const auto& c : cases) {
    const ScreenPoint p = MessageDialogPosition(c.over, c.width, c.height, c.area);
    EXPECT_EQ(p.x, c.x) << c.what;
    EXPECT_EQ(p.y, c.y) << c.what;
  }
}

TEST(HelpWindowFirstPosition, ClampsOnlyLeftAndTop) {
  const PlacementCase cases[] = {
      {"plain centring",        {100, 100, 700, 500},    566, 260,  kScreen, 117, 170},
      {"left clamp",            {-200, 100, 300, 500},   600, 260,  kScreen, 0, 170},
      {"top clamp",             {100, -300, 700, 0},     566, 260,  kScreen, 117, 0},
      {"no right clamp",        {1700, 100, 2100, 400},  600, 260,  kScreen, 1600, 120},
      {"no bottom clamp",       {100, 900, 700, 1200},   566, 260,  kScreen, 117, 920},
      {"negative halves",       {100, 100, 601, 400},    600, 260,  kScreen, 51, 120},
      {"second monitor left",   {1800, 100, 2400, 400},  700, 260,  kSecond, 1920, 120},
  };
  for (const auto& c : cases) {
    const ScreenPoint p = HelpWindowFirstPosition(c.over, c.width, c.height, c.area);
    EXPECT_EQ(p.x, c.x) << c.what;
    EXPECT_EQ(p.y, c.y) << c.what;
  }
}

}  // namespace
}  // namespace velmora::common
