// The analysis as tables, read back from JSON and text.
#include "response/response_tables.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

namespace velmora::response {
namespace {

main::DesignState Default() {
  main::DesignState s;
  EXPECT_EQ(main::SolveDesign(0.0, 600, 10e3, 10e3, 68, 24, s), main::DesignOutcome::Success);
  return s;
}

// JSON: one member per table, records as objects, the sweep as rows;
// infinite op-amp values and missing figures are null, numbers full precision.
TEST(ResponseTables, JsonMembersAndNulls) {
  const main::DesignState s = Default();
  OpAmp op = *FindPreset("ideal");
  op.vmax = 12;
  const FrequencyReport r = AnalyseFrequency(s, op, {});
  const nlohmann::json j = nlohmann::json::parse(common::RenderTables(FrequencyTables(s, r), common::TableFormat::Json));
  EXPECT_EQ(j["design"]["r2"], 2400.0);
  EXPECT_TRUE(j["opamp"]["a0_db"].is_null());
  EXPECT_TRUE(j["opamp"]["gbw_hz"].is_null());
  EXPECT_TRUE(j["opamp"]["imax_a"].is_null());
  EXPECT_EQ(j["opamp"]["vmax_v"], 12.0);
  EXPECT_EQ(j["dc"]["zo_ohm"], r.dc.zo);
  EXPECT_EQ(j["ideal"]["eta"], r.ideal.eta);
  EXPECT_TRUE(j["bandwidth"]["zo_1pct_hz"].is_null());  // an ideal op-amp keeps Zo at every frequency
  ASSERT_EQ(j["stability"].size(), 3u);
  EXPECT_EQ(j["stability"][1]["load"], "open");
  EXPECT_TRUE(j["stability"][0]["loop_gain_dc"].is_null());  // infinite
  EXPECT_TRUE(j["stability"][0]["crossover_hz"].is_null());
  EXPECT_EQ(j["stability"][0]["latches"], false);
  EXPECT_EQ(j["drive"]["limit"], "swing");
  EXPECT_EQ(j["noise"]["out_rms"], r.noise.outRms);
  ASSERT_EQ(j["noise_sources"].size(), kNoiseSources);
  EXPECT_EQ(j["noise_sources"][5]["source"], "en");
  ASSERT_EQ(j["points"].size(), 121u);
  EXPECT_EQ(j["points"][40]["f_hz"], 1000.0);
  EXPECT_EQ(j["points"][40]["noise_v"], r.points[40].noise);
}

// Text: "∞" for the infinite values, a plain statement for each load
// without a crossover, and the latch spelt out.
TEST(ResponseTables, TextStatements) {
  main::DesignState latching;  // alpha2 0.4, beta 0.5: the open output latches
  latching.R1 = 4;
  latching.R2 = 6;
  latching.R3 = 10;
  latching.R4 = 10;
  latching.R5 = 1;
  latching.Zo = 2;
  latching.Gain = 1;
  OpAmp op;
  op.a0Db = 100;
  op.gbw = 1e6;
  const FrequencyReport r = AnalyseFrequency(latching, op, {});
  const std::string text = common::RenderTables(FrequencyTables(latching, r), common::TableFormat::Text);
  EXPECT_NE(text.find("open: latches: the positive feedback outweighs the negative at DC"), std::string::npos);
  EXPECT_NE(text.find("f2 none"), std::string::npos);
  EXPECT_NE(text.find("Vmax ∞"), std::string::npos);
  const FrequencyReport ideal = AnalyseFrequency(Default(), OpAmp{}, {});
  const std::string idealText = common::RenderTables(FrequencyTables(Default(), ideal), common::TableFormat::Text);
  EXPECT_NE(idealText.find("zo: |T| stays above 1 at every frequency"), std::string::npos);
  EXPECT_NE(idealText.find("Zo within ±1 % up to ∞"), std::string::npos);
  EXPECT_NE(idealText.find("set by no limit"), std::string::npos);
}

TEST(ResponseTables, PresetTableHasEveryRow) {
  const std::vector<common::Table> t = PresetTables();
  ASSERT_EQ(t.size(), 1u);
  ASSERT_EQ(t[0].rows.size(), Presets().size());
  const nlohmann::json j = nlohmann::json::parse(common::RenderTables(t, common::TableFormat::Json));
  EXPECT_EQ(j["opamps"][1]["name"], "NE5532");
  EXPECT_EQ(j["opamps"][1]["en_v"], 5e-9);
  EXPECT_TRUE(j["opamps"][0]["gbw_hz"].is_null());
}

// The window's short tables carry the same figures as the full ones, the
// stage beside the ideal op-amp and beside the plain build.
TEST(ResponseTables, HeadlineFiguresAreTheFullTablesFigures) {
  const main::DesignState s = Default();
  const FrequencyReport r = AnalyseFrequency(s, *FindPreset("NE5532"), {});
  const nlohmann::json full =
      nlohmann::json::parse(common::RenderTables(FrequencyTables(s, r), common::TableFormat::Json));
  const nlohmann::json head =
      nlohmann::json::parse(common::RenderTables(HeadlineTables(r), common::TableFormat::Json));
  ASSERT_EQ(head["dc"].size(), 2u);
  for (const char* key : {"zo_ohm", "gain_db", "zio_ohm", "eta"}) {
    EXPECT_EQ(head["dc"][0][key], full["dc"][key]) << key;
    EXPECT_EQ(head["dc"][1][key], full["ideal"][key]) << key;
  }
  EXPECT_EQ(head["bandwidth"], full["bandwidth"]);
  EXPECT_EQ(head["stability"], full["stability"]);
  EXPECT_EQ(head["drive"][0]["level_v_peak"], full["drive"]["level_v_peak"]);
  EXPECT_EQ(head["drive"][1]["level_v_peak"], full["drive"]["plain_level_v_peak"]);
  EXPECT_EQ(head["drive"][1]["limit"], full["drive"]["plain_limit"]);
  EXPECT_EQ(head["noise"][0]["rms"], full["noise"]["out_rms"]);
  EXPECT_EQ(head["noise"][1]["density"], full["noise"]["plain_out_density_1khz"]);
  EXPECT_EQ(head["noise"][1]["in_rms"], full["noise"]["plain_in_rms"]);
  // The text keeps every line short enough for the window.
  const std::string text = common::RenderTables(HeadlineTables(r), common::TableFormat::Text);
  EXPECT_NE(text.find("gained over the plain build: 5.05 dB"), std::string::npos) << text;
  EXPECT_NE(text.find("Cost against the plain build: 9.68 dB"), std::string::npos) << text;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    EXPECT_LE(end - start, 100u) << text.substr(start, end - start);
    start = end + 1;
  }
}

}  // namespace
}  // namespace velmora::response

