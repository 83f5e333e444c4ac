// The result texts and the 14-line report.
#include <gtest/gtest.h>

#include "common/fp_error.h"
#include "common/numtext.h"
#include "main/design.h"
#include "main/report.h"
#include "main/series_text.h"

namespace {

using namespace velmora::main;

ReportSource DefaultWindow() { return InitialWindowTexts(); }

TEST(ComposeResults, DefaultInputsShowTheSixTexts) {
  DesignState st;
  ASSERT_EQ(SolveDesign(0.0, 600, 10000, 10000, 68, 24, st), DesignOutcome::Success);
  const ResultTexts r = ComposeResults(st);
  EXPECT_EQ(r.Zor, u"602.806");
  EXPECT_EQ(r.Gainr, u"  0.517");
  EXPECT_EQ(r.R2, u"  2.400k");
  EXPECT_EQ(r.R4, u"  3.900k");
  EXPECT_EQ(r.Zio, u"  3.952k");
  EXPECT_EQ(r.Decr, u"89.4%");
}

TEST(ComposeResults, GainAndEtaWidths) {
  DesignState st;
  st.Zor = st.R2 = st.R4 = st.Zio = 1;
  struct Case { double gainr, decr; const char16_t* gain; const char16_t* eta; };
  const Case cases[] = {
      {0.5,    1.0,   u" -6.021", u"100.0%"},
      {1e50,   0.05,  u"1000.000", u"5.0%"},   // wider than 7 is written in full
      {1.0,    0.0,   u"  0.000", u"0.0%"},
  };
  for (const Case& c : cases) {
    st.Gainr = c.gainr;
    st.Decr = c.decr;
    const ResultTexts r = ComposeResults(st);
    EXPECT_EQ(r.Gainr, c.gain);
    EXPECT_EQ(r.Decr, c.eta);
  }
}

// Regression: a gain ratio whose dB cannot be formed must not yield a partial
// set of texts (the window would show a new Zo beside five old results).
TEST(ComposeResults, NonPositiveGainComposesNothing) {
  DesignState st;
  st.Zor = 602.8;
  st.Gainr = 0.0;
  EXPECT_THROW(ComposeResults(st), velmora::common::FloatingPointError);
  st.Gainr = -1.0;
  try {
    ComposeResults(st);
    ADD_FAILURE();
  } catch (const velmora::common::FloatingPointError& e) {
    EXPECT_EQ(e.fault(), velmora::common::FpFault::Invalid);
  }
}

TEST(MakeReport, DefaultInputsGive173Units) {
  ReportSource s = DefaultWindow();
  DesignState st;
  ASSERT_EQ(SolveDesign(0.0, 600, 10000, 10000, 68, 24, st), DesignOutcome::Success);
  PutResults(s, ComposeResults(st));
  const std::u16string report = MakeReport(s);
  EXPECT_EQ(report.size(), 173u);
  EXPECT_EQ(report,
            u"[Input data]\r\nZo = 600\r\nGain = 0.0dB\r\nR1 = 10k\r\nR3 = 10k\r\nR5 = 68\r\n\r\n"
            u"[Result data]\r\nZo = 602.806\r\nGain =   0.517dB\r\nR2 =   2.400k\r\n"
            u"R4 =   3.900k\r\nZio =   3.952k\r\nη = 89.4%\r\n");
}

TEST(MakeReport, TextsAreTakenAsTheyStand) {
  ReportSource s = DefaultWindow();
  s.EditR1 = u" 10 k";
  const std::u16string report = MakeReport(s);
  EXPECT_NE(report.find(u"\r\nR1 =  10 k\r\n"), std::u16string::npos);
  // Empty result boxes: the lines end right after " = " (and "dB").
  EXPECT_NE(report.find(u"[Result data]\r\nZo = \r\nGain = dB\r\nR2 = \r\nR4 = \r\nZio = \r\nη = \r\n"),
            std::u16string::npos);
  EXPECT_EQ(report.substr(report.size() - 2), u"\r\n");
}

TEST(StrToIntOrZero, AcceptedForms) {
  struct Case { const char16_t* text; std::int32_t value; };
  const Case cases[] = {
      {u"24", 24},       {u"  24", 24},      {u"+24", 24},        {u"-24", -24},
      {u"0024", 24},     {u"$18", 24},       {u"x18", 24},        {u"X18", 24},
      {u"0x18", 24},     {u"0X18", 24},      {u"-$18", -24},      {u"$FFFFFFFF", -1},
      {u"$80000000", -2147483647 - 1},       {u"-0x7fffffff", -2147483647},
      {u"2147483647", 2147483647},           {u"-2147483648", -2147483647 - 1},
      {u"0", 0},         {u"3", 3},          {u"$a", 10},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StrToIntOrZero(c.text), c.value);
    EXPECT_EQ(ReadWholeNumber(c.text), c.value);
  }
  // Zero written out is a whole number, unlike the texts that only give 0.
  for (const char16_t* zero : {u"-0", u"$0", u" 0x0"}) EXPECT_EQ(ReadWholeNumber(zero), 0);
}

TEST(StrToIntOrZero, EverythingElseIsZero) {
  for (const char16_t* text : {u"∞", u"", u"24 ", u"\t24", u"24.0", u"1e2", u"0x", u"$",
                               u"2147483648", u"-2147483649", u"$100000000", u"--24", u"+",
                               u"２４", u"24abc", u"$FG", u"99999999999999999999"}) {
    EXPECT_EQ(StrToIntOrZero(text), 0) << std::u16string(text).size();
    EXPECT_EQ(ReadWholeNumber(text), std::nullopt) << std::u16string(text).size();
  }
}

}  // namespace

#include "main/version_text.h"

namespace {

TEST(VersionText, MajorAndPaddedMinor) {
  struct Case { std::uint32_t ms; const char16_t* text; };
  const Case cases[] = {
      {0x00010001, u"1.01"},  {0x0001000A, u"1.10"},  {0x00020005, u"2.05"},
      {0x0001007B, u"1.123"}, {0x000C0000, u"12.00"}, {0xFFFFFFFF, u"65535.65535"},
  };
  for (const Case& c : cases) EXPECT_EQ(velmora::main::VersionTextFrom(c.ms), c.text);
}

}  // namespace
