#pragma once
// Number formatting for axis labels driven by picture strings such as "###000",
// "#,###0.000" or "##,##00.00":
//   0  a digit that is always shown (leading or trailing zeros are kept)
//   #  a digit that is shown only when significant
//   ,  anywhere before the decimal point: group the integer part in thousands
//   .  the decimal point (the first one counts; later ones are ignored)
//   ;  separates sections: positive;negative;zero (missing sections fall back to the first)
//   "text" or 'text' and any other character are copied as they are.
// The separators on screen are chosen by the caller: the program shows numbers with
// "," as decimal separator and "." as thousands separator, whatever the locale.
// Values are rounded to the shown decimals with the binary value's exact decimal
// expansion (ties, which only exact binary halves produce, go to even).
#include <QChar>
#include <QString>

struct TPaxNumberSeparators {
  QChar Decimal = QLatin1Char(',');
  QChar Thousands = QLatin1Char('.');
};

// The format a chart axis uses when none is set.
inline const QString PaxDefaultValueFormat = QStringLiteral("#,##0.###");

QString PaxFormatValue(double value, const QString& format,
                       const TPaxNumberSeparators& separators = TPaxNumberSeparators());

// The largest number of decimals the format can show (0 and # after the point). An axis
// whose ticks lie closer than one unit of that decimal shows more (PaxFormatWithDecimals),
// so no two labels are the same.
int PaxFormatMaxDecimals(const QString& format);

// The format with at least `decimals` digits after the point in every section, the
// added ones always shown ("###000" with 2 gives "###000.00"); everything else stays.
QString PaxFormatWithDecimals(const QString& format, int decimals);

// Decimals that tell apart the multiples of step (1, 2 or 5 times a power of ten).
int PaxDecimalsForStep(double step);
