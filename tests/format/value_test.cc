// The text forms of values (what jetdb prints and the SQL layer shows), and the date
// arithmetic under them.
#include "jet/format/value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

namespace {

using jet::FormatOleDate;
using jet::Value;
using jet::ValueKind;
using jet::ValueToText;

Value Make(ValueKind kind, int64_t integer = 0, double real = 0) {
  Value v;
  v.kind = kind;
  v.integer = integer;
  v.real = real;
  return v;
}

TEST(ValueText, CurrencyHasFourDecimalsAndASign) {
  EXPECT_EQ(ValueToText(Make(ValueKind::kCurrency, 0)), "0.0000");
  EXPECT_EQ(ValueToText(Make(ValueKind::kCurrency, 5)), "0.0005");
  EXPECT_EQ(ValueToText(Make(ValueKind::kCurrency, -5)), "-0.0005");
  EXPECT_EQ(ValueToText(Make(ValueKind::kCurrency, -12345)), "-1.2345");
  EXPECT_EQ(ValueToText(Make(ValueKind::kCurrency, 1234567890000)), "123456789.0000");
  EXPECT_EQ(ValueToText(Make(ValueKind::kCurrency, std::numeric_limits<int64_t>::max())),
            "922337203685477.5807");
  EXPECT_EQ(ValueToText(Make(ValueKind::kCurrency, std::numeric_limits<int64_t>::min())),
            "-922337203685477.5808");
}

TEST(ValueText, BooleansNullAndBinary) {
  EXPECT_EQ(ValueToText(Value::Boolean(true)), "1");
  EXPECT_EQ(ValueToText(Value::Boolean(false)), "0");
  EXPECT_EQ(ValueToText(Value::Null()), "");
  Value bin = Make(ValueKind::kBinary);
  bin.bytes = {0x00, 0xAB, 0x0F, 0xFF};
  EXPECT_EQ(ValueToText(bin), "00ab0fff");  // lowercase, two digits per byte
}

TEST(ValueText, GuidFirstThreeFieldsAreLittleEndian) {
  Value g = Make(ValueKind::kGuid);
  for (uint8_t i = 0; i < 16; ++i) g.bytes.push_back(static_cast<uint8_t>(i * 0x11));
  EXPECT_EQ(ValueToText(g), "{33221100-5544-7766-8899-AABBCCDDEEFF}");
}

TEST(ValueText, FloatingPointUsesTheShortestExactForm) {
  // A Single is printed as the float it is, not as the double it widens to (0.1f is
  // 0.100000001490116... as a double).
  EXPECT_EQ(ValueToText(Make(ValueKind::kSingle, 0, 0.1f)), "0.1");
  EXPECT_EQ(ValueToText(Make(ValueKind::kSingle, 0, -2.5f)), "-2.5");
  EXPECT_EQ(ValueToText(Make(ValueKind::kSingle, 0, 16777216.0f)), "16777216");
  EXPECT_EQ(ValueToText(Make(ValueKind::kSingle, 0, std::numeric_limits<float>::max())),
            "3.4028235e+38");
  EXPECT_EQ(ValueToText(Make(ValueKind::kDouble, 0, 0.1)), "0.1");
  EXPECT_EQ(ValueToText(Make(ValueKind::kDouble, 0, 1.0 / 3)), "0.3333333333333333");
  EXPECT_EQ(ValueToText(Make(ValueKind::kDouble, 0, 123456789012.0)), "123456789012");
  EXPECT_EQ(ValueToText(Make(ValueKind::kDouble, 0, -0.0)), "-0");
  // Every printed Single reads back as the same float.
  std::mt19937 random(1);
  std::uniform_int_distribution<uint32_t> bits;
  for (int i = 0; i < 2000; ++i) {
    uint32_t b = bits(random);
    float f;
    std::memcpy(&f, &b, 4);
    if (!std::isfinite(f)) continue;
    std::string text = ValueToText(Make(ValueKind::kSingle, 0, f));
    EXPECT_EQ(std::strtof(text.c_str(), nullptr), f) << text;
  }
}

TEST(OleDate, LandmarkDates) {
  EXPECT_EQ(FormatOleDate(0), "1899-12-30T00:00:00");
  EXPECT_EQ(FormatOleDate(1), "1899-12-31T00:00:00");
  EXPECT_EQ(FormatOleDate(2), "1900-01-01T00:00:00");
  EXPECT_EQ(FormatOleDate(60), "1900-02-28T00:00:00");
  EXPECT_EQ(FormatOleDate(61), "1900-03-01T00:00:00");  // no 1900-02-29 (not a leap year)
  EXPECT_EQ(FormatOleDate(36526), "2000-01-01T00:00:00");
  EXPECT_EQ(FormatOleDate(36585), "2000-02-29T00:00:00");  // 2000 is a leap year
  EXPECT_EQ(FormatOleDate(2958465), "9999-12-31T00:00:00");
  EXPECT_EQ(FormatOleDate(-657434), "0100-01-01T00:00:00");
  EXPECT_EQ(FormatOleDate(37785.01074502315), "2003-06-13T00:15:28");
}

TEST(OleDate, TimeOfDayRoundsToTheSecond) {
  EXPECT_EQ(FormatOleDate(1.5), "1899-12-31T12:00:00");
  EXPECT_EQ(FormatOleDate(2958465 + 86399.0 / 86400), "9999-12-31T23:59:59");
  EXPECT_EQ(FormatOleDate(1 + 0.4 / 86400), "1899-12-31T00:00:00");
  EXPECT_EQ(FormatOleDate(1 + 0.6 / 86400), "1899-12-31T00:00:01");
  // Within half a second of midnight the next day begins.
  EXPECT_EQ(FormatOleDate(1 + 86399.7 / 86400), "1900-01-01T00:00:00");
}

// Before 1899-12-30 the day part is negative and the fraction still counts forward from
// that day's midnight (the OLE Automation reading), so -1.25 is 06:00, not 18:00.
TEST(OleDate, NegativeDaysKeepAForwardTimeOfDay) {
  EXPECT_EQ(FormatOleDate(-1), "1899-12-29T00:00:00");
  EXPECT_EQ(FormatOleDate(-1.25), "1899-12-29T06:00:00");
  EXPECT_EQ(FormatOleDate(-1.75), "1899-12-29T18:00:00");
  EXPECT_EQ(FormatOleDate(-0.5), "1899-12-30T12:00:00");  // day 0, before the epoch's sign
  EXPECT_EQ(FormatOleDate(-728), "1898-01-01T00:00:00");
  EXPECT_EQ(FormatOleDate(-463126), "0632-01-01T00:00:00");
}

// A negative day whose time rounds up to midnight moves one day forward in time:
// -1.9999999 is 1899-12-29 23:59:59.99, which rounds to 1899-12-30 00:00:00.
TEST(OleDate, NegativeDayRoundingUpToMidnightMovesForward) {
  EXPECT_EQ(FormatOleDate(-1 - 86399.7 / 86400), "1899-12-30T00:00:00");
  EXPECT_EQ(FormatOleDate(-728 - 86399.9 / 86400), "1898-01-02T00:00:00");
}

TEST(OleDate, FromCivilRoundTripsThroughTheTextForm) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> year(100, 9999), month(1, 12), day(1, 28), hour(0, 23),
      minute(0, 59), second(0, 59);
  for (int i = 0; i < 3000; ++i) {
    int y = year(random), mo = month(random), d = day(random), h = hour(random),
        mi = minute(random), s = second(random);
    char want[32];
    std::snprintf(want, sizeof want, "%04d-%02d-%02dT%02d:%02d:%02d", y, mo, d, h, mi, s);
    double ole =
        jet::OleDateFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d), h, mi, s);
    EXPECT_EQ(FormatOleDate(ole), want) << ole;
  }
  EXPECT_EQ(jet::OleDateFromCivil(1899, 12, 30), 0.0);
  EXPECT_EQ(jet::OleDateFromCivil(1899, 12, 29, 6), -1.25);
  EXPECT_EQ(jet::OleDateFromCivil(9999, 12, 31), 2958465.0);
}

TEST(OleDate, ValuesNoDateCanHoldArePrintedAsNumbers) {
  EXPECT_EQ(FormatOleDate(1e300), "1e+300");
  EXPECT_EQ(FormatOleDate(-3e7), "-3e+07");
  EXPECT_EQ(FormatOleDate(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(FormatOleDate(std::nan("")), "nan");
}

}  // namespace
