// The design explorer: every-series rows against single runs, the search
// laid open.
#include "explore/explorer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "common/series.h"
#include "designs.h"
#include "explore/explorer_tables.h"
#include "fp_testing.h"

namespace velmora::explore {
namespace {

using common::FpFault;
using main::DesignState;
using main::SolveDesign;
using velmora::testing::FaultOf;
using velmora::testing::Same;

using testing::Designed;
using testing::kDefault;

// ---------------------------------------------------------------------------
// Every series

TEST(SeriesList, EntriesAreReadLikeTheSelector) {
  struct Case { const char16_t* text; std::vector<std::int32_t> list; };
  const Case cases[] = {
      {u"",                 {0}},
      {u"∞,24, 48",         {0, 24, 48}},
      {u"x,,-6,0x10",       {0, 0, -6, 16}},
      {u"24 ,192",          {0, 192}},  // a trailing space is not a whole number
  };
  for (const Case& c : cases) EXPECT_EQ(ParseSeriesList(c.text), c.list);
}

TEST(SeriesRows, AgreeWithSingleRunsOfTheSameInputs) {
  const DesignInputs inputs[] = {
      kDefault,
      {20, 600, 10000, 10000, 68},
      {0, 600, 10000, 1200, 200},   // series 3 and 6 fault inside the search, the others succeed
      {0, 600, 10000, 10000, 470},  // R5 too large everywhere
      {0, 600, 10000, 900, 68},     // R3 too small
  };
  std::vector<std::int32_t> list = DefaultSeriesList();
  list.insert(list.end(), {10, -24, 1000});
  for (const DesignInputs& in : inputs) {
    const std::vector<SeriesRow> rows = ExploreSeries(in, list);
    ASSERT_EQ(rows.size(), list.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      SCOPED_TRACE(::testing::Message() << "R3 " << in.R3 << " R5 " << in.R5 << " series " << list[i]);
      const SeriesRow& row = rows[i];
      DesignState s;
      DesignOutcome outcome = DesignOutcome::NotANumber;
      const std::optional<FpFault> fault =
          FaultOf([&] { outcome = SolveDesign(in.WithSeries(list[i]), s); });
      EXPECT_EQ(row.ER, list[i]);
      EXPECT_EQ(row.result.fault, fault);
      if (!fault) {
        EXPECT_EQ(row.result.outcome, outcome);
      }
      if (outcome == DesignOutcome::R5TooLarge || fault) continue;
      EXPECT_TRUE(Same(row.state.R2, s.R2) && Same(row.state.R4, s.R4));
      EXPECT_TRUE(Same(row.state.Zor, s.Zor) && Same(row.state.Gainr, s.Gainr));
      EXPECT_TRUE(Same(row.state.Zio, s.Zio) && Same(row.state.Decr, s.Decr));
      EXPECT_NEAR(row.zoErrorPct, (s.Zor - in.Zo) / in.Zo * 100, 1e-9);
      EXPECT_NEAR(row.gainDb, 20 * std::log10(s.Gainr), 1e-12);
      EXPECT_NEAR(row.gainErrorDb, 20 * std::log10(s.Gainr) - in.gainDb, 1e-12);
    }
  }
  // A fault ends its own row only: the rows after it still succeed.
  const std::vector<SeriesRow> mixed = ExploreSeries(inputs[2], {3, 24});
  EXPECT_EQ(mixed[0].result.fault, FpFault::DivideByZero);
  EXPECT_TRUE(mixed[1].result.succeeded());
}

// ---------------------------------------------------------------------------
// The neighbour search

TEST(SearchTrace, Series24FollowsTheDescribedOrder) {
  const SearchTrace t = TraceSearch(kDefault.WithSeries(24));
  ASSERT_TRUE(t.searched && t.complete);
  EXPECT_EQ(t.roundedR2, 2200.0);
  EXPECT_EQ(t.roundedR4, 3900.0);
  const double pairs[9][3] = {{3900, 2200, 1.122302}, {3900, 2000, 1.249259}, {3900, 2400, 1.004677},
                              {3600, 2200, 1.049955}, {3600, 2000, 1.082180}, {3600, 2400, 1.215563},
                              {4300, 2200, 1.337721}, {4300, 2000, 1.461127}, {4300, 2400, 1.214315}};
  ASSERT_EQ(t.steps.size(), 9u);
  for (std::size_t i = 0; i < 9; ++i) {
    EXPECT_NEAR(t.steps[i].r4, pairs[i][0], 1e-9);
    EXPECT_NEAR(t.steps[i].r2, pairs[i][1], 1e-9);
    EXPECT_NEAR(t.steps[i].m, pairs[i][2], 5e-7);
  }
  EXPECT_EQ(t.winner, 2);
  EXPECT_EQ(t.R2, 2400.0);
  EXPECT_EQ(t.R4, 3900.0);
}

TEST(SearchTrace, WinnerIsTheFirstSmallestAndTheDesignsChoice) {
  const DesignInputs inputs[] = {kDefault, {20, 600, 10000, 10000, 68}, {0, 600, 10000, 10000, 400}};
  for (const DesignInputs& in : inputs) {
    for (std::int32_t er : {3, 6, 12, 24, 48, 96, 192, 10, -24}) {
      SCOPED_TRACE(::testing::Message() << "gain " << in.gainDb << " R5 " << in.R5 << " series " << er);
      const SearchTrace t = TraceSearch(in.WithSeries(er));
      const DesignState s = Designed(in, er);
      ASSERT_TRUE(t.complete);
      EXPECT_EQ(t.R2, s.R2);
      EXPECT_EQ(t.R4, s.R4);
      std::ptrdiff_t best = -1;
      for (std::size_t i = 0; i < t.steps.size(); ++i) {
        EXPECT_EQ(t.steps[i].skipped, !(t.steps[i].t > 0));
        if (!t.steps[i].skipped && (best < 0 || t.steps[i].m < t.steps[static_cast<std::size_t>(best)].m))
          best = static_cast<std::ptrdiff_t>(i);
      }
      EXPECT_EQ(t.winner, best);
      ASSERT_GE(best, 0);
      EXPECT_EQ(t.steps[static_cast<std::size_t>(best)].r2, s.R2);
      EXPECT_EQ(t.steps[static_cast<std::size_t>(best)].r4, s.R4);
    }
  }
}

TEST(SearchTrace, NoSearchWithoutSeriesOrBeforeIt) {
  const SearchTrace none = TraceSearch(kDefault.WithSeries(0));
  EXPECT_FALSE(none.searched);
  EXPECT_TRUE(none.steps.empty());
  EXPECT_EQ(none.R2, 2266.6666666666665);
  const SearchTrace early = TraceSearch(DesignInputs{0, 600, 10000, 10000, 470}.WithSeries(24));
  EXPECT_FALSE(early.searched);
  EXPECT_EQ(early.result.outcome, DesignOutcome::R5TooLarge);
  // A fault inside the search keeps the pairs tried before it and names no winner.
  const SearchTrace faulted = TraceSearch(DesignInputs{0, 600, 10000, 1200, 200}.WithSeries(6));
  EXPECT_TRUE(faulted.searched);
  EXPECT_FALSE(faulted.complete);
  EXPECT_LT(faulted.steps.size(), 9u);
  EXPECT_EQ(faulted.winner, -1);
  EXPECT_EQ(faulted.result.fault, FpFault::DivideByZero);
  // A fault before R2 is known leaves nothing to round.
  const SearchTrace unknown = TraceSearch(DesignInputs{0, 0, 10000, 10000, 0}.WithSeries(24));
  EXPECT_FALSE(unknown.searched);
  EXPECT_EQ(unknown.result.fault, FpFault::Invalid);
}

}  // namespace
}  // namespace velmora::explore
