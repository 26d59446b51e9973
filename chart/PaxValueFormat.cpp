#include "PaxValueFormat.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Splits at ';' outside quotes.
std::vector<QString> SplitSections(const QString& format) {
  std::vector<QString> sections;
  QString current;
  QChar quote;
  for (QChar c : format) {
    if (!quote.isNull()) {
      if (c == quote) quote = QChar();
      current += c;
    } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
      quote = c;
      current += c;
    } else if (c == QLatin1Char(';')) {
      sections.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  sections.push_back(current);
  return sections;
}

struct TPattern {
  QString Prefix, Suffix;
  bool Grouping = false;
  int MinIntDigits = 0;
  int MaxDecimals = 0;
  int MinDecimals = 0;
  bool HasPlaceholder = false;
};

bool IsPlaceholder(QChar c) { return c == QLatin1Char('0') || c == QLatin1Char('#'); }

TPattern ParsePattern(const QString& section) {
  TPattern p;
  bool inDecimals = false;
  int intPlaceholders = 0, firstIntZero = -1;
  int decPlaceholders = 0, lastDecZero = -1;
  QString literal;
  QChar quote;
  for (QChar c : section) {
    if (!quote.isNull()) {
      if (c == quote) quote = QChar();
      else literal += c;
      continue;
    }
    if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
      quote = c;
    } else if (IsPlaceholder(c)) {
      if (!p.HasPlaceholder) p.Prefix = literal, literal.clear();
      p.HasPlaceholder = true;
      if (inDecimals) {
        if (c == QLatin1Char('0')) lastDecZero = decPlaceholders;
        ++decPlaceholders;
      } else {
        if (c == QLatin1Char('0') && firstIntZero < 0) firstIntZero = intPlaceholders;
        ++intPlaceholders;
      }
    } else if (c == QLatin1Char(',') && !inDecimals) {
      p.Grouping = true;
    } else if (c == QLatin1Char('.') && !inDecimals) {
      inDecimals = true;
    } else if (c != QLatin1Char(',') && c != QLatin1Char('.')) {
      literal += c;
    }
  }
  if (!p.HasPlaceholder) p.Prefix = literal;
  else p.Suffix = literal;
  p.MinIntDigits = firstIntZero < 0 ? 0 : intPlaceholders - firstIntZero;
  p.MaxDecimals = decPlaceholders;
  p.MinDecimals = lastDecZero + 1;
  return p;
}

QString Group(const std::string& digits, QChar separator) {
  QString out;
  const int n = static_cast<int>(digits.size());
  for (int i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += separator;
    out += QLatin1Char(digits[static_cast<std::size_t>(i)]);
  }
  return out;
}

// The magnitude laid out by the pattern; empty when every digit is optional and zero.
QString Digits(double magnitude, const TPattern& p, const TPaxNumberSeparators& sep,
               bool& allZero) {
  std::vector<char> buffer(400);
  int len = std::snprintf(buffer.data(), buffer.size(), "%.*f", p.MaxDecimals, magnitude);
  if (len >= static_cast<int>(buffer.size())) {
    buffer.resize(static_cast<std::size_t>(len) + 1);
    std::snprintf(buffer.data(), buffer.size(), "%.*f", p.MaxDecimals, magnitude);
  }
  std::string text(buffer.data());
  std::string intPart = text, fracPart;
  if (auto dot = text.find('.'); dot != std::string::npos) {
    intPart = text.substr(0, dot);
    fracPart = text.substr(dot + 1);
  }
  allZero = intPart.find_first_not_of('0') == std::string::npos &&
            fracPart.find_first_not_of('0') == std::string::npos;
  std::size_t firstNonZero = intPart.find_first_not_of('0');
  intPart = firstNonZero == std::string::npos ? std::string() : intPart.substr(firstNonZero);
  if (static_cast<int>(intPart.size()) < p.MinIntDigits)
    intPart.insert(0, static_cast<std::size_t>(p.MinIntDigits) - intPart.size(), '0');
  while (static_cast<int>(fracPart.size()) > p.MinDecimals && fracPart.back() == '0')
    fracPart.pop_back();

  QString out = p.Grouping ? Group(intPart, sep.Thousands) : QString::fromLatin1(intPart);
  if (!fracPart.empty()) out += sep.Decimal + QString::fromLatin1(fracPart);
  return out;
}

}  // namespace

QString PaxFormatValue(double value, const QString& format, const TPaxNumberSeparators& separators) {
  if (std::isnan(value)) return QStringLiteral("NAN");
  if (std::isinf(value)) return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
  const std::vector<QString> sections = SplitSections(format.isEmpty() ? PaxDefaultValueFormat : format);

  const bool negative = value < 0;
  QString section = sections[0];
  bool signInSection = false;
  if (value == 0 && sections.size() > 2 && !sections[2].isEmpty()) {
    section = sections[2];
  } else if (negative && sections.size() > 1 && !sections[1].isEmpty()) {
    section = sections[1];
    signInSection = true;
  }
  const TPattern pattern = ParsePattern(section);
  if (!pattern.HasPlaceholder) return pattern.Prefix;

  bool allZero = false;
  QString digits = Digits(std::fabs(value), pattern, separators, allZero);
  // A value that rounds to zero is shown without a sign, as "-0" would suggest a tiny loss.
  const bool showMinus = negative && !signInSection && !allZero;
  return pattern.Prefix + (showMinus ? QStringLiteral("-") : QString()) + digits + pattern.Suffix;
}

int PaxFormatMaxDecimals(const QString& format) {
  return ParsePattern(SplitSections(format.isEmpty() ? PaxDefaultValueFormat : format)[0]).MaxDecimals;
}

namespace {

// Decimal places of one section, and where the next one would go (-1: no placeholder).
void DecimalPlaces(const QString& section, int& decimals, int& insertAt, bool& hasPoint) {
  decimals = 0;
  insertAt = -1;
  hasPoint = false;
  QChar quote;
  for (int i = 0; i < section.size(); ++i) {
    const QChar c = section[i];
    if (!quote.isNull()) {
      if (c == quote) quote = QChar();
    } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
      quote = c;
    } else if (IsPlaceholder(c)) {
      if (hasPoint) ++decimals;
      insertAt = i + 1;
    } else if (c == QLatin1Char('.') && !hasPoint) {
      hasPoint = true;
      insertAt = i + 1;
    }
  }
}

}  // namespace

QString PaxFormatWithDecimals(const QString& format, int decimals) {
  const std::vector<QString> sections = SplitSections(format.isEmpty() ? PaxDefaultValueFormat : format);
  QStringList out;
  for (QString section : sections) {
    int have = 0, at = -1;
    bool point = false;
    DecimalPlaces(section, have, at, point);
    if (at >= 0 && have < decimals)
      section.insert(at, (point ? QString() : QStringLiteral(".")) + QString(decimals - have, QLatin1Char('0')));
    out << section;
  }
  return out.join(QLatin1Char(';'));
}

int PaxDecimalsForStep(double step) {
  if (!(step > 0) || !std::isfinite(step)) return 0;
  return std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
}
