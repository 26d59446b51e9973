#include "KelCmpStandard.h"
#include "QtTestApp.h"

#include <QAction>
#include <QClipboard>
#include <QLocale>
#include <QMenu>
#include <QTest>

#include <memory>

namespace {

// The fields of the start page: "," as separator, no negatives.
struct DecimalEditTest : ::testing::Test {
  TPaxDecimalEdit Edit;
  void SetUp() override {
    Edit.SetDecSep(',');
    Edit.SetNegativeAllowed(false);
    Edit.setFocus();
  }
  void Type(const char* keys) { QTest::keyClicks(&Edit, QString::fromLatin1(keys)); }
};

TEST(DecimalEditDefaults, AreThoseOfAFreshControl) {
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  TPaxDecimalEdit german;
  QLocale::setDefault(QLocale::c());
  TPaxDecimalEdit plain;
  EXPECT_EQ(german.DecSep(), ',');  // taken from the locale at construction
  EXPECT_EQ(plain.DecSep(), '.');
  EXPECT_TRUE(plain.EmptyOnZero());
  EXPECT_EQ(plain.Decimals(), 2);
  EXPECT_FALSE(plain.NegativeAllowed());
  EXPECT_EQ(plain.MaxLength(), 12);
  EXPECT_EQ(plain.text(), QString());
  EXPECT_EQ(plain.AsFloat(), 0.0);
}

TEST_F(DecimalEditTest, BothSeparatorKeysTypeTheOwnSeparatorAndDecimalsAreLimited) {
  Edit.SetDecimals(3);
  EXPECT_EQ(Edit.text(), "0,000");  // the empty text is rewritten to the new decimals
  Edit.clear();
  Type("12.345");
  EXPECT_EQ(Edit.text(), "12,345");
  Type("6");  // a fourth decimal
  EXPECT_EQ(Edit.text(), "12,345");
  Edit.setCursorPosition(1);
  Type(",");  // a second separator
  EXPECT_EQ(Edit.text(), "12,345");
  Edit.setCursorPosition(0);
  Type("9");  // digits before the separator are still free
  EXPECT_EQ(Edit.text(), "912,345");
  EXPECT_DOUBLE_EQ(Edit.AsFloat(), 912.345);
}

TEST_F(DecimalEditTest, ZeroDecimalsAllowsATrailingSeparatorButNothingAfterIt) {
  Edit.SetDecimals(0);
  Type("42,5");
  EXPECT_EQ(Edit.text(), "42,");
  EXPECT_DOUBLE_EQ(Edit.AsFloat(), 42.0);
}

TEST_F(DecimalEditTest, OtherCharactersAreSwallowed) {
  Type("1a b+e2x");
  EXPECT_EQ(Edit.text(), "12");
}

TEST_F(DecimalEditTest, MinusIsRefusedWhenNegativesAreNotAllowed) {
  Type("-");
  EXPECT_EQ(Edit.text(), "");
  Type("5");
  Edit.setCursorPosition(0);
  Type("-");
  EXPECT_EQ(Edit.text(), "5");
}

TEST_F(DecimalEditTest, MinusIsTakenOnlyWhereItEndsUpFirst) {
  Edit.SetNegativeAllowed(true);
  Type("12");
  Edit.setCursorPosition(1);
  Type("-");
  EXPECT_EQ(Edit.text(), "12");
  Edit.setCursorPosition(0);
  Type("-");
  EXPECT_EQ(Edit.text(), "-12");
  EXPECT_DOUBLE_EQ(Edit.AsFloat(), -12.0);
  // Only the first minus sign is looked at: a second one after a leading minus passes.
  Edit.end(false);
  Type("-");
  EXPECT_EQ(Edit.text(), "-12-");
  EXPECT_EQ(Edit.AsFloat(), 0.0);  // which then does not parse
}

TEST_F(DecimalEditTest, ControlKeysAndSelectionsWork) {
  Type("123,4");
  QTest::keyClick(&Edit, Qt::Key_Backspace);
  EXPECT_EQ(Edit.text(), "123,");
  QTest::keyClick(&Edit, Qt::Key_Home);
  QTest::keyClick(&Edit, Qt::Key_Delete);
  EXPECT_EQ(Edit.text(), "23,");
  Edit.selectAll();
  Type("7");  // typing over a selection replaces it
  EXPECT_EQ(Edit.text(), "7");
  Type(",25");
  Edit.setSelection(0, 2);
  Type(",");  // the candidate ",25" has one separator only
  EXPECT_EQ(Edit.text(), ",25");
}

TEST_F(DecimalEditTest, TypingStopsAtTheLengthLimitButProgramTextIsNotCut) {
  Edit.SetDecimals(2);
  Type("1234567890123");
  EXPECT_EQ(Edit.text(), "123456789012");
  Edit.SetAsFloat(1234567890123.25);
  EXPECT_EQ(Edit.text(), "1234567890123,25");
  EXPECT_DOUBLE_EQ(Edit.AsFloat(), 1234567890123.25);
}

TEST_F(DecimalEditTest, PastingIsCutToTheLengthLimit) {
  Edit.SetMaxLength(6);
  Type("12");
  QApplication::clipboard()->setText(QStringLiteral("3456789\nsecond line"));
  QTest::keyClick(&Edit, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Edit.text(), "123456");
  // The context menu's paste entry keeps to the limit as well.
  Edit.setText("9");
  Edit.end(false);
  std::unique_ptr<QMenu> menu(Edit.CreateContextMenu());
  int pastes = 0;
  for (QAction* action : menu->actions()) {
    if (action->text().startsWith("&Paste")) {
      action->trigger();
      ++pastes;
    }
  }
  EXPECT_EQ(pastes, 1);
  EXPECT_EQ(Edit.text(), "934567");
}

TEST_F(DecimalEditTest, WritingFloatsFollowsDecimalsSeparatorAndFlags) {
  Edit.SetAsFloat(0);
  EXPECT_EQ(Edit.text(), "");
  Edit.SetEmptyOnZero(false);
  Edit.SetDecimals(1);
  Edit.SetAsFloat(0);
  EXPECT_EQ(Edit.text(), "0,0");
  Edit.SetAsFloat(-2);
  EXPECT_EQ(Edit.text(), "");
  Edit.SetDecimals(2);
  Edit.SetAsFloat(3.14159);
  EXPECT_EQ(Edit.text(), "3,14");
  Edit.SetAsFloat(0.5);
  EXPECT_EQ(Edit.text(), "0,50");
  Edit.SetDecimals(0);
  Edit.SetAsFloat(7.6);
  EXPECT_EQ(Edit.text(), "8");
  Edit.SetNegativeAllowed(true);
  Edit.SetDecimals(3);
  Edit.SetAsFloat(-0.25);
  EXPECT_EQ(Edit.text(), "-0,250");
}

TEST_F(DecimalEditTest, ReadingFloatsTreatsAnythingMalformedAsZero) {
  for (const char* text : {"", "-", ",", "12a", "1,2,3", " 5"}) {
    Edit.setText(QString::fromLatin1(text));
    EXPECT_EQ(Edit.AsFloat(), 0.0) << text;
  }
  Edit.setText("1,5e2");
  EXPECT_DOUBLE_EQ(Edit.AsFloat(), 150.0);
  Edit.setText("1.5");  // only the own separator is translated; "." stays a decimal point
  EXPECT_DOUBLE_EQ(Edit.AsFloat(), 1.5);
}

TEST_F(DecimalEditTest, CurrencyKeepsFourDecimalsExactly) {
  Edit.setText("1,2345");
  EXPECT_EQ(Edit.AsCurrency().Scaled, 12345);
  Edit.setText("0,00005");  // halfway: to even
  EXPECT_EQ(Edit.AsCurrency().Scaled, 0);
  Edit.setText("0,00015");
  EXPECT_EQ(Edit.AsCurrency().Scaled, 2);
  Edit.setText("-922337203685477,5808");  // the smallest value there is
  EXPECT_EQ(Edit.AsCurrency().Scaled, std::numeric_limits<std::int64_t>::min());
  for (const char* bad : {"", "x", "922337203685477,5808", "1,5,"}) {
    Edit.setText(QString::fromLatin1(bad));
    EXPECT_EQ(Edit.AsCurrency().Scaled, 0) << bad;
  }
}

TEST_F(DecimalEditTest, CurrencyIsReadThroughTheLocaleSeparator) {
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  Edit.SetDecSep('.');
  Edit.setText("3.5");
  EXPECT_EQ(Edit.AsCurrency().Scaled, 35000);
  Edit.SetDecimals(1);
  Edit.SetAsCurrency(Currency::FromScaled(-12500));
  EXPECT_EQ(Edit.text(), "-1.3");  // halves of the shown digit round away from zero
  QLocale::setDefault(QLocale::c());
}

TEST_F(DecimalEditTest, WritingCurrencyPadsDecimalsAndShowsNegatives) {
  Edit.SetAsCurrency(Currency::FromScaled(-20000));  // negatives are shown anyway
  EXPECT_EQ(Edit.text(), "-2,00");
  Edit.SetDecimals(6);
  Edit.SetAsCurrency(Currency::FromScaled(12345));
  EXPECT_EQ(Edit.text(), "1,234500");
  Edit.SetDecimals(0);
  Edit.SetAsCurrency(Currency::FromScaled(70000));
  EXPECT_EQ(Edit.text(), "7");
  Edit.SetDecimals(4);
  // Twelve integer digits leave room for three of the four decimals.
  Edit.SetAsCurrency(Currency::FromScaled(1234567890123456));
  EXPECT_EQ(Edit.text(), "123456789012,3460");
  Edit.SetAsCurrency(Currency{0});
  EXPECT_EQ(Edit.text(), "");
  Edit.SetEmptyOnZero(false);
  Edit.SetAsCurrency(Currency{0});
  EXPECT_EQ(Edit.text(), "0,0000");
}

TEST_F(DecimalEditTest, ChangingDecimalsCutsOrPadsTheText) {
  Edit.SetDecimals(3);
  Edit.setText("1,239");
  Edit.SetDecimals(1);
  EXPECT_EQ(Edit.text(), "1,2");  // cut, not rounded
  Edit.setText("7,9");
  Edit.SetDecimals(0);
  EXPECT_EQ(Edit.text(), "7");
  Edit.SetDecimals(2);
  EXPECT_EQ(Edit.text(), "7,00");
  Edit.setText(",5");
  Edit.SetDecimals(3);
  EXPECT_EQ(Edit.text(), "0,500");
  Edit.setText("");
  Edit.SetDecimals(4);
  EXPECT_EQ(Edit.text(), "0,0000");
  Edit.setText("abc");
  Edit.SetDecimals(4);  // the same value again: nothing is touched
  EXPECT_EQ(Edit.text(), "abc");
}

TEST_F(DecimalEditTest, ChangingTheSeparatorRewritesIt) {
  Edit.setText("1,5");
  Edit.SetDecSep('.');
  EXPECT_EQ(Edit.text(), "1.5");
  EXPECT_DOUBLE_EQ(Edit.AsFloat(), 1.5);
  Edit.SetDecSep(';');
  EXPECT_EQ(Edit.text(), "1;5");
  EXPECT_DOUBLE_EQ(Edit.AsFloat(), 1.5);
  Edit.setText("15");
  Edit.SetDecSep(',');
  EXPECT_EQ(Edit.text(), "15");
  Edit.clear();
  Type("2.75");
  EXPECT_EQ(Edit.text(), "2,75");
}

TEST_F(DecimalEditTest, FlagsClearTextTheyNoLongerAllow) {
  Edit.SetEmptyOnZero(false);
  Edit.setText("0,00");
  Edit.SetEmptyOnZero(true);
  EXPECT_EQ(Edit.text(), "");
  Edit.SetNegativeAllowed(true);
  Edit.setText("-3,5");
  Edit.SetNegativeAllowed(false);
  EXPECT_EQ(Edit.text(), "");
  Edit.setText("3,5");
  Edit.SetNegativeAllowed(false);
  Edit.SetEmptyOnZero(true);
  EXPECT_EQ(Edit.text(), "3,5");
}

TEST(DecimalEditRendering, ShowsAValue) {
  TPaxDecimalEdit edit;
  edit.SetDecSep(',');
  edit.SetDecimals(3);
  edit.resize(120, 22);
  edit.SetAsFloat(1234.5);
  edit.show();
  ASSERT_TRUE(edit.grab().save(QStringLiteral(ZYMRA_TEST_OUTPUT_DIR "/decimal_edit.png")));
  EXPECT_EQ(edit.text(), "1234,500");
}

}  // namespace
