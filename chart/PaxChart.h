#pragma once
// TPaxChart: the chart widget of the program. A TPaxPlot does the drawing; the widget
// adds the mouse zoom (drag a rectangle down and to the right; dragging up or to the
// left, a double click or UndoZoom go back), the zoom animation, the pop-up menu,
// printing and export.
#include "PaxChartOutput.h"
#include "PaxPlot.h"

#include <QPoint>
#include <QWidget>

class QMenu;
class QPrinter;
class QVariantAnimation;

class TPaxChart : public QWidget {
  Q_OBJECT

 public:
  explicit TPaxChart(QWidget* parent = nullptr);
  ~TPaxChart() override;

  TPaxPlot& Plot() { return FPlot; }
  const TPaxPlot& Plot() const { return FPlot; }

  TPaxChartSeries* AddLineSeries(const QString& title) { return FPlot.AddSeries(title); }
  bool RemoveSeries(TPaxChartSeries* series) { return FPlot.RemoveSeries(series); }
  void RemoveAllSeries() { FPlot.RemoveAllSeries(); }
  int SeriesCount() const { return FPlot.SeriesCount(); }
  TPaxChartSeries* Series(int index) const { return FPlot.Series(index); }

  void SetTitle(const QString& title);
  QString Title() const { return FPlot.Title; }
  void SetTitleVisible(bool visible);
  void SetBottomAxisTitle(const QString& title);
  void SetLeftAxisTitle(const QString& title);
  void SetLeftAxisFormat(const QString& format);
  void SetBottomAxisFormat(const QString& format);
  void SetBottomMinorTicks(bool on);
  void SetLegendVisible(bool visible);

  bool View3D() const { return FPlot.View3D(); }
  void SetView3D(bool on) { FPlot.SetView3D(on); }
  double Rotation() const { return FPlot.Rotation(); }
  void SetRotation(double degrees) { FPlot.SetRotation(degrees); }
  double Elevation() const { return FPlot.Elevation(); }
  void SetElevation(double degrees) { FPlot.SetElevation(degrees); }
  bool Orthogonal() const { return FPlot.Orthogonal(); }
  void SetOrthogonal(bool on) { FPlot.SetOrthogonal(on); }

  // Zoom. With the animation on, a zoom or its undo moves there in a few frames.
  bool AnimatedZoom() const { return FAnimatedZoom; }
  void SetAnimatedZoom(bool on) { FAnimatedZoom = on; }
  int AnimationMilliseconds() const { return FAnimationMs; }
  void SetAnimationMilliseconds(int ms) { FAnimationMs = ms > 0 ? ms : 1; }
  bool IsAnimating() const;
  bool IsZoomed() const { return FPlot.Zoomed() || FZoomPending; }
  void ZoomTo(const TPaxRange& x, const TPaxRange& y);
  // Zooms to a rectangle in widget coordinates; false when it is too small to mean anything.
  bool ZoomToRect(const QRect& rect);
  void UndoZoom();
  // The ranges shown at the widget's current size (the data ranges when not zoomed).
  TPaxRange VisibleX() const { return CurrentLayout().X; }
  TPaxRange VisibleY() const { return CurrentLayout().Y; }
  TPaxPlotLayout CurrentLayout() const { return FPlot.Layout(QRectF(rect())); }

  // The chart's own pop-up menu; owners add their entries to it.
  QMenu* PopupMenu() const { return FPopup; }

  bool Print(QPrinter& printer, const TPaxPrintOptions& options, QString& error) const;
  QImage RenderImage(const QSize& size) const { return PaxPlotImage(FPlot, size); }
  bool SaveToFile(const QString& path, const QSize& size, QString& error) const {
    return PaxSavePlot(FPlot, path, size, error);
  }

 signals:
  void ZoomChanged();
  void DoubleClicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void Animate(const TPaxRange& fromX, const TPaxRange& fromY, const TPaxRange& toX, const TPaxRange& toY,
               bool clearAtEnd);

  TPaxPlot FPlot;
  QMenu* FPopup;
  QVariantAnimation* FAnimation;
  bool FAnimatedZoom = true;
  int FAnimationMs = 250;
  bool FZoomPending = false;   // an animation towards a zoom is running
  bool FDragging = false;
  QPoint FDragStart, FDragEnd;
};
