// The frequency analysis's values as typed: each rule's edges, and the
// texts the window writes into its boxes reading back to the same value.
#include "response/frequency_fields.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "common/numtext.h"
#include "common/utf.h"

namespace velmora::response {
namespace {

using F = FrequencyField;

std::string Shown(std::optional<double> x) { return x ? std::to_string(*x) : "refused"; }

TEST(FrequencyFieldRules, EdgesOfEachRange) {
  const struct {
    F field;
    const char16_t* text;
    bool admitted;
  } cases[] = {
      {F::A0,        u"-600",       true},
      {F::A0,        u"600",        true},
      {F::A0,        u"600.001",    false},
      {F::A0,        u"∞",          true},
      {F::A0,        u"-∞",         false},  // only +infinity is a limit
      {F::Gbw,       u"0",          false},
      {F::Gbw,       u"1T",         true},
      {F::Gbw,       u"1.001T",     false},
      {F::Gbw,       u"Infinity",   true},
      {F::F2,        u"1p",         true},
      {F::Ro,        u"0",          true},
      {F::Ro,        u"inf",        false},  // Ro has no infinite value
      {F::Ro,        u"-1m",        false},
      {F::En,        u"1",          true},
      {F::En,        u"1.0001",     false},
      {F::In,        u"0.7p",       true},
      {F::Vmax,      u"0",          false},
      {F::Vmax,      u"1M",         true},
      {F::Imax,      u"+inf",       true},
      {F::Cload,     u"0",          true},
      {F::Cload,     u"∞",          false},
      {F::Temp,      u"-273.15",    false},  // absolute zero itself is refused
      {F::Temp,      u"-273.14",    true},
      {F::Temp,      u"1000",       true},
      {F::Fmin,      u"1m",         true},
      {F::Fmin,      u"0.999m",     false},
      {F::PerDecade, u"1000",       true},
      {F::PerDecade, u"2.5",        false},
      {F::PerDecade, u"0",          false},
      {F::Gbw,       u"",           false},
      {F::Gbw,       u"M",          false},
      {F::Gbw,       u"infinit",    false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadFrequencyField(c.field, c.text).has_value(), c.admitted)
        << "field " << static_cast<int>(c.field) << ", text " << common::Utf16ToUtf8(c.text);
  }
}

TEST(FrequencyFieldRules, ValuesReadAsTheBoxesReadThem) {
  EXPECT_EQ(ReadFrequencyField(F::Gbw, u"10M"), 10e6);
  EXPECT_EQ(ReadFrequencyField(F::Cload, u"4n7"), 4.7e-9);
  EXPECT_EQ(ReadFrequencyField(F::Gbw, u" 3M "), 3e6);
  EXPECT_EQ(ReadFrequencyField(F::Vmax, u"∞"), kInfinity);
}

TEST(FrequencyFieldRules, SetAndGetReachTheSameMember) {
  for (std::size_t k = 0; k < kFrequencyFields; ++k) {
    const auto field = static_cast<F>(k);
    OpAmp op;
    FrequencySettings s;
    SetField(field, 7, op, s);
    EXPECT_EQ(FieldValue(field, op, s), 7) << "field " << k;
    // No other field moved.
    const OpAmp fresh;
    const FrequencySettings freshSettings;
    for (std::size_t j = 0; j < kFrequencyFields; ++j) {
      if (j == k) continue;
      const auto other = static_cast<F>(j);
      EXPECT_EQ(FieldValue(other, op, s), FieldValue(other, fresh, freshSettings)) << k << " moved " << j;
    }
  }
}

// 1.1n would read as 1.1 / 1e9, one ulp off 1.1e-9: the next prefix is taken.
TEST(FrequencyFieldText, WritesPrefixedShortestTexts) {
  const struct {
    double value;
    const char16_t* text;
  } cases[] = {
      {10e6, u"10M"},   {3e6, u"3M"},  {5e-9, u"5n"},  {1.1e-9, u"1100p"}, {25, u"25"}, {-20, u"-20"},
      {0, u"0"},        {1500, u"1.5k"}, {38e-3, u"38m"}, {13.6, u"13.6"}, {kInfinity, u"∞"}, {1e12, u"1T"},
      {123456.5, u"123.4565k"},
  };
  for (const auto& c : cases) EXPECT_EQ(common::Utf16ToUtf8(FieldText(c.value)), common::Utf16ToUtf8(c.text));
}

// Where Windows' regional settings make the comma the separator, no
// fraction can be typed: the texts must still read back (13.6 as "136e-1").
TEST(FrequencyFieldText, EveryPresetValueReadsBackWithEitherSeparator) {
  const FrequencySettings settings;
  for (const char16_t separator : {u'.', u','}) {
    common::SetDecimalSeparator(separator);
    for (const Preset& p : Presets()) {
      const OpAmp op = *FindPreset(p.name);
      for (std::size_t k = 0; k < kOpAmpFields; ++k) {
        const auto field = static_cast<F>(k);
        const double value = FieldValue(field, op, settings);
        const std::u16string text = FieldText(value);
        EXPECT_EQ(ReadFrequencyField(field, text), value)
            << p.name << " field " << k << ": " << common::Utf16ToUtf8(text) << " read as "
            << Shown(ReadFrequencyField(field, text)) << ", separator " << static_cast<char>(separator);
      }
    }
  }
  common::SetDecimalSeparator(u'.');
  EXPECT_EQ(common::Utf16ToUtf8(FieldText(13.6)), "13.6");
}

// A prefix scales the number after it was rounded, which can round once
// more: the text must be the one that reads back, whatever the digits.
TEST(FrequencyFieldText, RandomValuesReadBackExactly) {
  std::mt19937_64 random(20261210);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::uniform_int_distribution<int> power(-16, 14);
  for (int i = 0; i < 200000; ++i) {
    double x = mantissa(random) * std::pow(10.0, power(random));
    if (i % 3 == 0) x = std::round(x * 1e3) / 1e3;  // short decimals, as typed
    if (i % 7 == 0) x = -x;
    const std::u16string text = FieldText(x);
    ASSERT_EQ(common::StrToValue(text), x) << common::Utf16ToUtf8(text);
    ASSERT_LE(text.size(), 26U) << common::Utf16ToUtf8(text);
  }
}

}  // namespace
}  // namespace velmora::response
