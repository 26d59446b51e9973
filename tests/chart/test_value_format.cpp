// Axis label formats: picture strings of the run charts and the separators shown on screen.
#include "PaxValueFormat.h"

#include <gtest/gtest.h>

namespace {

QString F(double v, const char* format) { return PaxFormatValue(v, QString::fromLatin1(format)); }

TEST(ValueFormat, ForcedDigitsPadWithLeadingZeros) {
  EXPECT_EQ(F(7, "###000"), "007");
  EXPECT_EQ(F(0, "###000"), "000");
  EXPECT_EQ(F(123456, "###000"), "123456");  // optional digits never cut a number
  EXPECT_EQ(F(1234567, "###000"), "1234567");
  EXPECT_EQ(F(7.6, "###000"), "008");         // no decimals: rounded
  EXPECT_EQ(F(5, "##,##00.00"), "05,00");
}

TEST(ValueFormat, GroupingAndDecimals) {
  EXPECT_EQ(F(1234.5, "#,###0.000"), "1.234,500");
  EXPECT_EQ(F(0.25, "#,###0.000"), "0,250");
  EXPECT_EQ(F(1234567.891, "#,###0.000"), "1.234.567,891");
  EXPECT_EQ(F(999.9999, "#,###0.000"), "1.000,000");  // rounding carries into a new group
  EXPECT_EQ(F(12345.678, "##,##00.00"), "12.345,68");
  EXPECT_EQ(F(0.5, "##,##00.00"), "00,50");
}

TEST(ValueFormat, OptionalDecimalsDropTrailingZeros) {
  EXPECT_EQ(F(2.5, "#,##0.###"), "2,5");
  EXPECT_EQ(F(2, "#,##0.###"), "2");
  EXPECT_EQ(F(0.1234, "0.0##"), "0,123");
  EXPECT_EQ(F(0.1, "0.0##"), "0,1");
  EXPECT_EQ(F(0.5, "#.##"), ",5");  // no forced integer digit
}

TEST(ValueFormat, NegativeValuesAndSections) {
  EXPECT_EQ(F(-1234.5, "#,###0.000"), "-1.234,500");
  EXPECT_EQ(F(-7, "###000"), "-007");
  EXPECT_EQ(F(-0.0001, "0.00"), "0,00");  // rounds to zero: no sign
  EXPECT_EQ(F(-3, "0.0;(0.0)"), "(3,0)");
  EXPECT_EQ(F(0, "0.0;(0.0);\"nil\""), "nil");
  EXPECT_EQ(F(4, "0.0;(0.0);\"nil\""), "4,0");
}

TEST(ValueFormat, LiteralsSeparatorsAndSpecialValues) {
  EXPECT_EQ(F(3.5, "0.0 \"h\""), "3,5 h");
  EXPECT_EQ(PaxFormatValue(1234.5, "#,##0.00", {QLatin1Char('.'), QLatin1Char(',')}), "1,234.50");
  EXPECT_EQ(F(std::numeric_limits<double>::quiet_NaN(), "0.0"), "NAN");
  EXPECT_EQ(F(-std::numeric_limits<double>::infinity(), "0.0"), "-INF");
  EXPECT_EQ(F(1.5, ""), F(1.5, "#,##0.###"));  // empty means the default format
  EXPECT_EQ(F(1e20, "#,##0"), "100.000.000.000.000.000.000");
}

TEST(ValueFormat, MaxDecimals) {
  EXPECT_EQ(PaxFormatMaxDecimals("###000"), 0);
  EXPECT_EQ(PaxFormatMaxDecimals("#,###0.000"), 3);
  EXPECT_EQ(PaxFormatMaxDecimals("##,##00.00"), 2);
  EXPECT_EQ(PaxFormatMaxDecimals("0.0##;(0.0)"), 3);
}

}  // namespace
