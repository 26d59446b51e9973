#include "PaxChart.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QVariantAnimation>

namespace {

TPaxRange Blend(const TPaxRange& a, const TPaxRange& b, double t) {
  return {a.Min + (b.Min - a.Min) * t, a.Max + (b.Max - a.Max) * t};
}

}  // namespace

TPaxChart::TPaxChart(QWidget* parent)
    : QWidget(parent), FPopup(new QMenu(this)), FAnimation(new QVariantAnimation(this)) {
  setCursor(Qt::CrossCursor);
  setMouseTracking(false);
  setAttribute(Qt::WA_OpaquePaintEvent);
  FPlot.GradientColor = QApplication::palette().color(QPalette::Button);
  FPlot.OnChanged = [this] { update(); };
  FAnimation->setStartValue(0.0);
  FAnimation->setEndValue(1.0);
  FAnimation->setEasingCurve(QEasingCurve::OutCubic);
}

TPaxChart::~TPaxChart() {
  FAnimation->stop();
  FPlot.OnChanged = nullptr;
}

void TPaxChart::SetTitle(const QString& title) {
  FPlot.Title = title;
  update();
}

void TPaxChart::SetTitleVisible(bool visible) {
  FPlot.TitleVisible = visible;
  update();
}

void TPaxChart::SetBottomAxisTitle(const QString& title) {
  FPlot.BottomAxis.Title = title;
  update();
}

void TPaxChart::SetLeftAxisTitle(const QString& title) {
  FPlot.LeftAxis.Title = title;
  update();
}

void TPaxChart::SetLeftAxisFormat(const QString& format) {
  FPlot.LeftAxis.ValueFormat = format;
  update();
}

void TPaxChart::SetBottomAxisFormat(const QString& format) {
  FPlot.BottomAxis.ValueFormat = format;
  update();
}

void TPaxChart::SetBottomMinorTicks(bool on) {
  FPlot.BottomAxis.MinorTicks = on;
  update();
}

void TPaxChart::SetLegendVisible(bool visible) {
  FPlot.LegendVisible = visible;
  update();
}

bool TPaxChart::IsAnimating() const { return FAnimation->state() == QAbstractAnimation::Running; }

void TPaxChart::Animate(const TPaxRange& fromX, const TPaxRange& fromY, const TPaxRange& toX,
                        const TPaxRange& toY, bool clearAtEnd) {
  FAnimation->stop();
  FAnimation->disconnect(this);
  auto finish = [this, toX, toY, clearAtEnd] {
    FZoomPending = false;
    if (clearAtEnd) FPlot.ClearZoom();
    else FPlot.SetZoom(toX, toY);
    emit ZoomChanged();
  };
  if (!FAnimatedZoom) {
    finish();
    return;
  }
  FZoomPending = !clearAtEnd;
  connect(FAnimation, &QVariantAnimation::valueChanged, this, [this, fromX, fromY, toX, toY](const QVariant& v) {
    const double t = v.toDouble();
    FPlot.SetZoom(Blend(fromX, toX, t), Blend(fromY, toY, t));
  });
  connect(FAnimation, &QVariantAnimation::finished, this, finish);
  FAnimation->setDuration(FAnimationMs);
  FAnimation->start();
}

void TPaxChart::ZoomTo(const TPaxRange& x, const TPaxRange& y) {
  const TPaxPlotLayout now = CurrentLayout();
  Animate(now.X, now.Y, x, y, false);
}

bool TPaxChart::ZoomToRect(const QRect& rect) {
  const QRect r = rect.normalized();
  if (r.width() < 4 || r.height() < 4) return false;
  const TPaxPlotLayout layout = CurrentLayout();
  double x0, y0, x1, y1;
  if (!layout.DeviceToData(r.topLeft(), x0, y1) || !layout.DeviceToData(r.bottomRight(), x1, y0)) return false;
  if (!(x1 > x0) || !(y1 > y0)) return false;
  ZoomTo({x0, x1}, {y0, y1});
  return true;
}

void TPaxChart::UndoZoom() {
  if (!IsZoomed()) return;
  const TPaxPlotLayout now = CurrentLayout();
  const TPaxPlotLayout home = FPlot.Layout(QRectF(rect()), true);
  Animate(now.X, now.Y, home.X, home.Y, true);
}

bool TPaxChart::Print(QPrinter& printer, const TPaxPrintOptions& options, QString& error) const {
  return PaxPrintPlot(FPlot, printer, options, size(), error);
}

void TPaxChart::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  FPlot.Paint(painter, QRectF(rect()));
  if (FDragging) {
    painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(FDragStart, FDragEnd).normalized());
  }
}

void TPaxChart::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    FDragging = true;
    FDragStart = FDragEnd = event->position().toPoint();
  }
  QWidget::mousePressEvent(event);
}

void TPaxChart::mouseMoveEvent(QMouseEvent* event) {
  if (FDragging) {
    FDragEnd = event->position().toPoint();
    update();
  }
  QWidget::mouseMoveEvent(event);
}

void TPaxChart::mouseReleaseEvent(QMouseEvent* event) {
  if (FDragging && event->button() == Qt::LeftButton) {
    FDragging = false;
    FDragEnd = event->position().toPoint();
    const QPoint delta = FDragEnd - FDragStart;
    // Dragging back (up or to the left) is the quick way out of a zoom.
    if (delta.x() < -4 || delta.y() < -4) UndoZoom();
    else ZoomToRect(QRect(FDragStart, FDragEnd));
    update();
  }
  QWidget::mouseReleaseEvent(event);
}

void TPaxChart::mouseDoubleClickEvent(QMouseEvent* event) {
  FDragging = false;
  UndoZoom();
  emit DoubleClicked();
  QWidget::mouseDoubleClickEvent(event);
}

void TPaxChart::contextMenuEvent(QContextMenuEvent* event) {
  if (!FPopup->isEmpty()) FPopup->popup(event->globalPos());
  event->accept();
}
