// The op-amp table and the gain in dB.
#include "response/opamp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

namespace velmora::response {
namespace {

// Every row is found by its name in any ASCII case, and only by it; each
// names its source and has values the readers would take.
TEST(OpAmpPresets, EveryRowIsFoundAndUsable) {
  std::set<std::string> names;
  for (const Preset& p : Presets()) {
    SCOPED_TRACE(p.name);
    EXPECT_TRUE(names.insert(p.name).second) << "twice";
    std::string lower = p.name, upper = p.name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& name : {std::string(p.name), lower, upper}) {
      const std::optional<OpAmp> op = FindPreset(name);
      ASSERT_TRUE(op.has_value()) << name;
      EXPECT_EQ(op->name, p.name);
      EXPECT_EQ(op->a0Db, p.a0Db);
      EXPECT_EQ(op->gbw, p.gbw);
      EXPECT_EQ(op->en, p.en);
    }
    EXPECT_GT(std::string(p.source).size(), 10u);
    EXPECT_TRUE(p.gbw > 0 && p.f2 > 0 && p.ro >= 0 && p.vmax > 0 && p.imax > 0 && p.en >= 0 && p.in >= 0);
  }
  EXPECT_EQ(names, (std::set<std::string>{"ideal", "NE5532", "TL072", "OPA2134", "OPA1612", "LM4562", "NJM4580"}));
  EXPECT_TRUE(FindPreset("ideal")->Ideal());
  EXPECT_FALSE(FindPreset("NE5532")->Ideal());
  EXPECT_FALSE(FindPreset("NE5532 ").has_value());
  EXPECT_FALSE(FindPreset("").has_value());
  EXPECT_FALSE(FindPreset("list").has_value());
}

// Within the rounding of ln 10 times the dB value (exp magnifies it by the exponent).
TEST(OpAmpPresets, GainRatioFromDb) {
  EXPECT_NEAR(GainRatioFromDb(100), 1e5, 1e5 * 2e-15);
  EXPECT_NEAR(GainRatioFromDb(106), 199526.23149688796, 199526.23149688796 * 2e-15);
  EXPECT_NEAR(GainRatioFromDb(-20), 0.1, 0.1 * 2e-15);
  EXPECT_EQ(GainRatioFromDb(0), 1.0);
  EXPECT_EQ(GainRatioFromDb(kInfinity), kInfinity);
  OpAmp op;
  op.ro = 1;
  EXPECT_FALSE(op.Ideal());
}

}  // namespace
}  // namespace velmora::response
