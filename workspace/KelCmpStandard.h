#pragma once
// Numeric edit box of the maker's component set: a single-line edit holding a
// decimal number with a fixed count of decimals and a separator of its own,
// independent of the locale the program runs under.
#include <QClipboard>
#include <QLineEdit>

#include <cstdint>

class QMenu;
#include <optional>

// Signed 64-bit fixed-point value with four decimals (money-style arithmetic:
// no binary rounding noise in the stored digits).
struct Currency {
  static constexpr std::int64_t Scale = 10000;
  std::int64_t Scaled = 0;  // value × 10000

  static constexpr Currency FromScaled(std::int64_t scaled) { return Currency{scaled}; }
  // Nearest representable value, halves to even; values outside the range give nullopt.
  static std::optional<Currency> FromDouble(double value);
  double ToDouble() const { return static_cast<double>(Scaled) / Scale; }
  friend bool operator==(const Currency&, const Currency&) = default;
};

class TPaxDecimalEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit TPaxDecimalEdit(QWidget* parent = nullptr);

  bool EmptyOnZero() const { return FEmptyOnZero; }
  void SetEmptyOnZero(bool value);

  int Decimals() const { return FDecimals; }
  // Rewrites the current text to the new count of decimals: extra decimals are
  // cut off (not rounded), missing ones are filled with zeros.
  void SetDecimals(int value);

  char DecSep() const { return FDecSep; }
  // Replaces the separator inside the current text as well.
  void SetDecSep(char value);

  bool NegativeAllowed() const { return FNegativeAllowed; }
  void SetNegativeAllowed(bool value);

  double AsFloat() const;
  void SetAsFloat(double value);

  Currency AsCurrency() const;
  // Shows negative values even when negatives cannot be typed.
  void SetAsCurrency(Currency value);

  // Limit for what the user types or pastes. Text set by the program is never
  // cut, unlike QLineEdit::maxLength, which would silently damage long values.
  int MaxLength() const { return FMaxLength; }
  void SetMaxLength(int value);

  // Whether typing character k at the current caret/selection would be taken.
  bool AcceptsChar(QChar k) const;

  // The edit box's context menu, with pasting held to the length limit.
  QMenu* CreateContextMenu();

  // The separator the platform formats numbers with (first character of the
  // default locale's decimal point).
  static char SystemDecimalSeparator();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QString CandidateText(QChar k) const;
  void PasteLimited(QClipboard::Mode mode);

  bool FEmptyOnZero = true;
  int FDecimals = 2;
  char FDecSep = '.';
  bool FNegativeAllowed = false;
  int FMaxLength = 12;
};
