#pragma once
// The maker's modal dialog: a gradient header, OK and Cancel, validate-on-OK
// with an error message, and a closing animation. Dialogs derive from it and
// override the hooks they need.
#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>

class QPushButton;
class TPaxFormAnimation;
class TPaxGradient;

// Modal results as the dialogs report them.
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4 };

class TFrmModal : public QDialog {
  Q_OBJECT
 public:
  explicit TFrmModal(QWidget* parent = nullptr);
  ~TFrmModal() override;

  // PrepareDialog, InitControls, BeforeShow, then the modal loop; its result
  // (mrOk, mrCancel) or mrAbort when an exception escaped.
  int Execute();

  // Replaces the modal loop (tests drive the buttons and return result());
  // empty: exec() runs.
  static std::function<int(TFrmModal&)> ShowModal;

  // Ends the dialog with a modal result: mrOk applies the values first and
  // keeps the dialog open (result mrRetry) when that fails.
  void done(int result) override;
  void reject() override { done(mrCancel); }
  void accept() override { done(mrOk); }

  bool AnimateOnCancel = true;
  bool FullGradient = true;
  // Lines collected by a derived dialog for ShowErrors.
  QStringList Errors;

  TPaxGradient* PaxGradient;
  QPushButton* BtnOK;
  QPushButton* BtnCancel;
  TPaxFormAnimation* PaxFormAnimation1;

  // The dialog hooks, in their fixed order.
  virtual void PrepareDialog() {}
  virtual void InitControls() {}
  virtual void AfterApply() {}
  virtual bool ApplyValues() { return true; }
  virtual void BeforeShow() {}
  virtual QString ErrorText() const;
  // A warning with ErrorText, two carriage returns and the Errors, one per line; empties Errors.
  virtual void ShowErrors();

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void PlaceButtons();
  // done() runs events (the closing animation, the error box); a second close that
  // arrives meanwhile must not start over inside the first.
  bool FClosing = false;
};

// The forms' "Verdana" at a pixel size.
QFont ModalFormFont(int pixels, bool bold = false);
