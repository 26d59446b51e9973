#pragma once
// Colour gradient painted behind forms and dialog headers.
#include <QColor>
#include <QImage>
#include <QWidget>

enum class TGradStyle { grFilled, grEllipse, grHorizontal, grVertical, grPyramid, grMount };

// How a control follows its parent's client area when the parent is resized.
enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

class TPaxGradient : public QWidget {
  Q_OBJECT
 public:
  explicit TPaxGradient(QWidget* parent = nullptr);

  TGradStyle Style() const { return FStyle; }
  void SetStyle(TGradStyle value);
  const QColor& StartColor() const { return FStartColor; }
  void SetStartColor(const QColor& value);
  const QColor& EndColor() const { return FEndColor; }
  void SetEndColor(const QColor& value);
  int Steps() const { return FSteps; }
  void SetSteps(int value);
  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign value);

  // Colour of step i of n from start to end, each channel to the nearest integer.
  static QColor StepColor(const QColor& start, const QColor& end, int i, int n);

  // The off-screen picture, rebuilt only after a change of size or property.
  const QImage& Picture() const;
  int PictureBuilds() const { return FBuilds; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Invalidate();
  void FollowParent();
  void WatchParent();
  QImage Build() const;

  TGradStyle FStyle = TGradStyle::grHorizontal;
  QColor FStartColor = Qt::blue;
  QColor FEndColor = Qt::black;
  int FSteps = 100;
  TAlign FAlign = TAlign::alClient;
  QWidget* FWatched = nullptr;
  mutable QImage FPicture;
  mutable bool FDirty = true;
  mutable int FBuilds = 0;
};
