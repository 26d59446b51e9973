#pragma once
// Reactor gauge: a picture of the vessel, the liquid drawn up to a height
// proportional to the volume, and a volume axis with ticks, labels and a rotated
// title on its left.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <QWidget>

class QMenu;

class TPaxReactor : public QWidget {
  Q_OBJECT
 public:
  explicit TPaxReactor(QWidget* parent = nullptr);

  // The 120 × 200 vessel drawing shipped with the program.
  static QImage VesselPicture();
  // Picture, geometry and axis as the fermentation page shows them.
  void ApplyVesselLayout();

  const QImage& Bitmap() const { return FBitmap; }
  // Takes a copy and sizes the control to the picture.
  void SetBitmap(const QImage& picture);

  int BitmapIndent() const { return FBitmapIndent; }
  void SetBitmapIndent(int value);

  int AxisX() const { return FAxisX; }
  void SetAxisX(int value);
  double AxisMax() const { return FAxisMax; }
  // 0 and the current value are ignored; a lower maximum pulls the volume down with it.
  void SetAxisMax(double value);
  double AxisStep() const { return FAxisStep; }
  // 0 is ignored.
  void SetAxisStep(double value);
  int AxisDecimals() const { return FAxisDecimals; }
  void SetAxisDecimals(int value);
  char AxisDecSep() const { return FAxisDecSep; }
  // Only "." and "," are taken.
  void SetAxisDecSep(char value);
  int AxisDash() const { return FAxisDash; }
  void SetAxisDash(int value);
  const QString& AxisName() const { return FAxisName; }
  void SetAxisName(const QString& value);

  double Volume() const { return FVolume; }
  // Clamped to 0 … AxisMax.
  void SetVolume(double value);
  const QColor& Density() const { return FDensity; }
  void SetDensity(const QColor& value);

  int RectX1() const { return FRectX1; }
  void SetRectX1(int value);
  int RectY1() const { return FRectY1; }
  void SetRectY1(int value);
  int RectX2() const { return FRectX2; }
  void SetRectX2(int value);
  int RectY2() const { return FRectY2; }
  void SetRectY2(int value);

  bool ShowAxis() const { return FShowAxis; }
  void SetShowAxis(bool value);
  const QColor& BgrColor() const { return FBgrColor; }
  void SetBgrColor(const QColor& value);

  bool ParentFont() const { return !testAttribute(Qt::WA_SetFont); }
  // True drops an own font so the parent's font applies again.
  void SetParentFont(bool value);

  QMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(QMenu* menu) { FPopupMenu = menu; }

  // Outlines and hatches the liquid region, so that a form designer sees it.
  bool Designing() const { return FDesigning; }
  void SetDesigning(bool value);

  // Row of the liquid surface (picture and control y).
  int LiquidTop() const;
  // Tick labels from bottom to top, as drawn.
  QStringList AxisLabels() const;
  // The rotated title's font (same size and style as Font(); a face that cannot
  // be rotated is replaced).
  QFont TitleFont() const;

  // The whole control composed off-screen, exactly as it is copied to the screen.
  QImage Render() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void Changed();

  QImage FBitmap;
  QImage FKeyedBitmap;  // FBitmap with its key colour made transparent
  int FBitmapIndent = 10;
  int FAxisX = 10;
  double FAxisMax = 3.0;
  double FAxisStep = 0.5;
  int FAxisDecimals = 1;
  char FAxisDecSep = '.';
  int FAxisDash = 3;
  QString FAxisName = QStringLiteral("[Liter]");
  double FVolume = 2.0;
  QColor FDensity = QColor(128, 128, 128);
  int FRectX1 = 10;
  int FRectY1 = 10;
  int FRectX2 = 90;
  int FRectY2 = 90;
  bool FShowAxis = true;
  QColor FBgrColor;
  QMenu* FPopupMenu = nullptr;
  bool FDesigning = false;
};

// Fills the 4-connected area of pixels that have exactly the seed's colour.
// Nothing happens when the seed lies outside the image or already has the colour.
void FloodFillSurface(QImage& image, QPoint seed, const QColor& color);
