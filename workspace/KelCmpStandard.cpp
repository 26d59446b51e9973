#include "KelCmpStandard.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// Plain decimal number: optional sign, digits with at most one ".", optional exponent.
// Anything else (blanks, "inf", thousands separators, a lone sign) is not a number.
bool ParsePlainDecimal(const std::string& text, double& value) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t numberStart = i;
  std::size_t digits = 0;
  while (i < n && IsAsciiDigit(text[i])) ++i, ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && IsAsciiDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < n && IsAsciiDigit(text[i])) ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != n) return false;
  double parsed = 0;
  const auto result = std::from_chars(text.data() + numberStart, text.data() + n, parsed,
                                      std::chars_format::general);
  if (result.ec != std::errc() || result.ptr != text.data() + n) return false;
  value = negative ? -parsed : parsed;
  return true;
}

// Decimal text in the locale's notation (blanks around it allowed, sep as separator,
// optional exponent) to a fixed-point value with four decimals, exactly: the digits
// are never routed through binary floating point.
std::optional<Currency> ParseCurrency(const QString& text, QChar sep) {
  const QString t = text.trimmed();
  qsizetype i = 0;
  const qsizetype n = t.size();
  bool negative = false;
  if (i < n && (t[i] == u'+' || t[i] == u'-')) negative = t[i++] == u'-';
  std::string mantissa;  // significant digits without the separator
  int exponent = 0;      // value = mantissa × 10^exponent
  bool anyDigit = false;
  while (i < n && t[i] >= u'0' && t[i] <= u'9') mantissa += char(t[i++].unicode()), anyDigit = true;
  if (i < n && t[i] == sep) {
    ++i;
    while (i < n && t[i] >= u'0' && t[i] <= u'9') {
      mantissa += char(t[i++].unicode());
      --exponent;
      anyDigit = true;
    }
  }
  if (!anyDigit) return std::nullopt;
  if (i < n && (t[i] == u'e' || t[i] == u'E')) {
    ++i;
    bool expNegative = false;
    if (i < n && (t[i] == u'+' || t[i] == u'-')) expNegative = t[i++] == u'-';
    int e = 0;
    bool expDigit = false;
    while (i < n && t[i] >= u'0' && t[i] <= u'9') {
      if (e < 100000) e = e * 10 + (t[i].unicode() - '0');
      ++i;
      expDigit = true;
    }
    if (!expDigit) return std::nullopt;
    exponent += expNegative ? -e : e;
  }
  if (i != n) return std::nullopt;

  // Scale to four decimals: shift the decimal point by exponent + 4.
  const std::size_t first = mantissa.find_first_not_of('0');
  if (first == std::string::npos) return Currency{0};
  mantissa.erase(0, first);
  const int shift = exponent + 4;
  std::string whole = mantissa;
  std::string dropped;
  if (shift >= 0) {
    if (whole.size() + shift > 19) return std::nullopt;
    whole.append(static_cast<std::size_t>(shift), '0');
  } else {
    const std::size_t cut = static_cast<std::size_t>(-shift);
    if (cut >= whole.size()) {
      dropped = std::string(cut - whole.size(), '0') + whole;
      whole.clear();
    } else {
      dropped = whole.substr(whole.size() - cut);
      whole.erase(whole.size() - cut);
    }
  }
  if (whole.size() > 19) return std::nullopt;
  unsigned __int128 magnitude = 0;
  for (char c : whole) magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
  // Halves to even, as the platform's currency conversion does.
  if (!dropped.empty()) {
    const char lead = dropped[0];
    const bool restNonZero = dropped.find_first_not_of('0', 1) != std::string::npos;
    if (lead > '5' || (lead == '5' && (restNonZero || (magnitude & 1)))) ++magnitude;
  }
  const unsigned __int128 limit =
      static_cast<unsigned __int128>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
  if (magnitude > limit) return std::nullopt;
  if (negative) return Currency{static_cast<std::int64_t>(-static_cast<__int128>(magnitude))};
  return Currency{static_cast<std::int64_t>(magnitude)};
}

// Fixed-point text of a currency value with `decimals` digits after sep. At most
// 15 significant digits are kept; decimals beyond them (and beyond the four the
// value has) are zeros.
QString FormatCurrency(Currency value, int decimals, QChar sep) {
  if (decimals < 0) decimals = 0;
  const bool negative = value.Scaled < 0;
  const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value.Scaled)
                                           : static_cast<std::uint64_t>(value.Scaled);
  std::uint64_t intPart = magnitude / Currency::Scale;
  std::uint64_t frac = magnitude % Currency::Scale;  // four digits
  int keep = decimals < 4 ? decimals : 4;
  if (intPart > 0) {
    const int intDigits = static_cast<int>(std::to_string(intPart).size());
    if (keep > 15 - intDigits) keep = 15 - intDigits > 0 ? 15 - intDigits : 0;
  }
  std::uint64_t unit = 1;
  for (int d = keep; d < 4; ++d) unit *= 10;
  std::uint64_t kept = frac / unit;
  if ((frac % unit) * 2 >= unit) ++kept;  // halves away from zero
  std::uint64_t keptScale = 1;
  for (int d = 0; d < keep; ++d) keptScale *= 10;
  if (kept >= keptScale) {
    kept -= keptScale;
    ++intPart;
  }
  QString text = QString::number(intPart);
  if (decimals > 0) {
    QString fraction = keep > 0 ? QString::number(kept).rightJustified(keep, u'0') : QString();
    fraction = fraction.leftJustified(decimals, u'0');
    text += sep + fraction;
  }
  if (negative && (intPart != 0 || kept != 0)) text.prepend(u'-');
  return text;
}

QChar Latin1(char c) { return QChar::fromLatin1(c); }

}  // namespace

std::optional<Currency> Currency::FromDouble(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const double scaled = std::nearbyint(value * Scale);
  if (scaled >= 9223372036854775808.0 || scaled < -9223372036854775808.0) return std::nullopt;
  return Currency{static_cast<std::int64_t>(scaled)};
}

TPaxDecimalEdit::TPaxDecimalEdit(QWidget* parent) : QLineEdit(parent) {
  FDecSep = SystemDecimalSeparator();
  // Dropped text would bypass both the key filter and the length limit.
  setAcceptDrops(false);
}

char TPaxDecimalEdit::SystemDecimalSeparator() {
  const QString point = QLocale().decimalPoint();
  if (!point.isEmpty() && point[0].unicode() > 0 && point[0].unicode() < 256)
    return static_cast<char>(point[0].unicode());
  return '.';
}

void TPaxDecimalEdit::SetEmptyOnZero(bool value) {
  FEmptyOnZero = value;
  if (FEmptyOnZero && AsFloat() == 0) setText(QString());
}

void TPaxDecimalEdit::SetNegativeAllowed(bool value) {
  FNegativeAllowed = value;
  if (!FNegativeAllowed && AsFloat() < 0) setText(QString());
}

void TPaxDecimalEdit::SetMaxLength(int value) { FMaxLength = value < 0 ? 0 : value; }

void TPaxDecimalEdit::SetDecimals(int value) {
  if (value == FDecimals) return;
  FDecimals = value;
  QString t = text();
  const QChar sep = Latin1(FDecSep);
  qsizetype p = t.indexOf(sep) + 1;  // 1-based, 0 when absent
  if (value > 0) {
    if (p == 0) {
      t += sep;
      p = t.size();
    }
    t.truncate(p + value);
    while (t.size() < p + value) t += u'0';
    if (p == 1) t.prepend(u'0');
  } else if (value == 0 && p > 0) {
    t.truncate(p - 1);
  }
  setText(t);
}

void TPaxDecimalEdit::SetDecSep(char value) {
  if (value == FDecSep) return;
  const QString t = text();
  const qsizetype p = t.indexOf(Latin1(FDecSep)) + 1;
  FDecSep = value;
  if (p > 0) setText(t.left(p - 1) + Latin1(value) + t.mid(p));
}

double TPaxDecimalEdit::AsFloat() const {
  QString t = text();
  if (FDecSep != '.') {
    const qsizetype p = t.indexOf(Latin1(FDecSep));
    if (p >= 0) t[p] = u'.';
  }
  if (t.isEmpty()) return 0;
  double value = 0;
  // Characters outside Latin-1 become '?' and fail the parse, as they should.
  if (!ParsePlainDecimal(t.toLatin1().toStdString(), value)) return 0;
  return value;
}

void TPaxDecimalEdit::SetAsFloat(double value) {
  // Non-finite values have no fixed-point text; showing "nan" would read back as 0 anyway.
  if ((FEmptyOnZero && value == 0) || (!FNegativeAllowed && value < 0) || !std::isfinite(value)) {
    setText(QString());
    return;
  }
  QString t = QString::number(value, 'f', FDecimals > 0 ? FDecimals : 0);
  if (FDecSep != '.') t.replace(u'.', Latin1(FDecSep));
  setText(t);
}

Currency TPaxDecimalEdit::AsCurrency() const {
  QString t = text();
  if (t.isEmpty()) return Currency{0};
  const QChar system = Latin1(SystemDecimalSeparator());
  t.replace(Latin1(FDecSep), system);
  return ParseCurrency(t, system).value_or(Currency{0});
}

void TPaxDecimalEdit::SetAsCurrency(Currency value) {
  if (value.Scaled == 0 && FEmptyOnZero) {
    setText(QString());
    return;
  }
  setText(FormatCurrency(value, FDecimals, Latin1(FDecSep)));
}

QString TPaxDecimalEdit::CandidateText(QChar k) const {
  QString t = text();
  qsizetype pos = cursorPosition();
  if (hasSelectedText()) {
    pos = selectionStart();
    t.remove(pos, selectedText().size());
  }
  t.insert(pos, k);
  return t;
}

bool TPaxDecimalEdit::AcceptsChar(QChar k) const {
  if (k == u'.' || k == u',') k = Latin1(FDecSep);
  const QChar sep = Latin1(FDecSep);
  const QString candidate = CandidateText(k);
  const qsizetype m = candidate.indexOf(u'-') + 1;
  const qsizetype s = candidate.indexOf(sep) + 1;
  bool accept = k == u'-' || (k >= u'0' && k <= u'9') || k == sep;
  if (m > 1) accept = false;
  if (!FNegativeAllowed && k == u'-' && m > 0) accept = false;
  if (s > 0 && candidate.size() > s + FDecimals) accept = false;
  if (k == sep && s > 0 && candidate.mid(s).contains(sep)) accept = false;
  if (k.unicode() < 32) return true;
  // The length limit is the edit box's own and applies after the filter.
  if (accept && candidate.size() > FMaxLength) accept = false;
  return accept;
}

void TPaxDecimalEdit::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Paste)) {
    if (!isReadOnly()) PasteLimited(QClipboard::Clipboard);
    event->accept();
    return;
  }
  const QString typed = event->text();
  // Keys without a character (arrows, Home, Delete ...) and control characters
  // (backspace, Ctrl+C, Return ...) go on unfiltered.
  if (typed.isEmpty() || (typed.size() == 1 && (typed[0].unicode() < 32 || typed[0].unicode() == 127))) {
    QLineEdit::keyPressEvent(event);
    return;
  }
  if (typed.size() != 1 || isReadOnly() || !AcceptsChar(typed[0])) {
    event->accept();  // swallowed
    return;
  }
  QChar k = typed[0];
  if (k == u'.' || k == u',') k = Latin1(FDecSep);
  if (k == typed[0]) {
    QLineEdit::keyPressEvent(event);
    return;
  }
  QKeyEvent replaced(event->type(), event->key(), event->modifiers(), QString(k),
                     event->isAutoRepeat(), static_cast<quint16>(event->count()));
  QLineEdit::keyPressEvent(&replaced);
  event->setAccepted(replaced.isAccepted());
}

void TPaxDecimalEdit::PasteLimited(QClipboard::Mode mode) {
  QString clip = QApplication::clipboard()->text(mode);
  const qsizetype lineEnd = clip.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
  if (lineEnd >= 0) clip.truncate(lineEnd);
  const qsizetype room = FMaxLength - (text().size() - selectedText().size());
  if (room <= 0 || clip.isEmpty()) return;
  insert(clip.left(room));
}

QMenu* TPaxDecimalEdit::CreateContextMenu() {
  QMenu* menu = createStandardContextMenu();
  // The standard entry is recognised by its shortcut, which is the same in every language.
  const QString pasteKey =
      u'\t' + QKeySequence(QKeySequence::Paste).toString(QKeySequence::NativeText);
  for (QAction* action : menu->actions()) {
    if (!pasteKey.isEmpty() && action->text().endsWith(pasteKey)) {
      disconnect(action, &QAction::triggered, nullptr, nullptr);
      connect(action, &QAction::triggered, this, [this] { PasteLimited(QClipboard::Clipboard); });
    }
  }
  return menu;
}

void TPaxDecimalEdit::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = CreateContextMenu();
  menu->exec(event->globalPos());
  delete menu;
}

void TPaxDecimalEdit::mouseReleaseEvent(QMouseEvent* event) {
  // Middle-click pastes the X11 selection; it obeys the length limit as well.
  if (event->button() == Qt::MiddleButton && QApplication::clipboard()->supportsSelection() &&
      !isReadOnly()) {
    deselect();
    setCursorPosition(cursorPositionAt(event->position().toPoint()));
    PasteLimited(QClipboard::Selection);
    event->accept();
    return;
  }
  QLineEdit::mouseReleaseEvent(event);
}
