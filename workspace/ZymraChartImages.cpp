#include "ZymraChartImages.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace {

const QColor Ink(40, 60, 110);
const QColor Accent(30, 120, 220);

// A filled arrow head at tip, pointing along angle (degrees, 0 = right, 90 = down).
void ArrowHead(QPainter& p, QPointF tip, double angle, double size) {
  const double a = angle * M_PI / 180.0;
  const QPointF dir(std::cos(a), std::sin(a)), normal(-dir.y(), dir.x());
  const QPointF base = tip - dir * size;
  p.setPen(Qt::NoPen);
  p.drawPolygon(QPolygonF{tip, base + normal * size * 0.6, base - normal * size * 0.6});
}

// A turn about the vertical axis: an elliptic arc with its head on the left or right.
void Turn(QPainter& p, bool left) {
  p.setPen(QPen(Accent, 1.6, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  const QRectF ellipse(2.5, 5, 11, 6);
  p.drawArc(ellipse, left ? 300 * 16 : 240 * 16, left ? 270 * 16 : -270 * 16);
  p.setBrush(Accent);
  ArrowHead(p, left ? QPointF(2.5, 10.5) : QPointF(13.5, 10.5), left ? 115 : 65, 3.6);
  p.setPen(QPen(Ink, 1.2));
  p.drawLine(QPointF(8, 1.5), QPointF(8, 14.5));
}

// A tilt about the horizontal axis: an arc with its head at the top or bottom.
void Tilt(QPainter& p, bool up) {
  p.setPen(QPen(Accent, 1.6, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  const QRectF ellipse(5, 2.5, 6, 11);
  p.drawArc(ellipse, up ? 210 * 16 : 150 * 16, up ? 270 * 16 : -270 * 16);
  p.setBrush(Accent);
  ArrowHead(p, up ? QPointF(10.5, 2.5) : QPointF(10.5, 13.5), up ? -25 : 25, 3.6);
  p.setPen(QPen(Ink, 1.2));
  p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
}

void PaintImage(QPainter& p, int index) {
  switch (index) {
    case ciPrint: {
      p.setPen(QPen(Ink, 1));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(4.5, 1.5, 7, 5));      // paper going in
      p.setBrush(QColor(170, 180, 200));
      p.drawRoundedRect(QRectF(1.5, 6.5, 13, 6), 1.5, 1.5);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(4.5, 10.5, 7, 4));     // paper coming out
      p.setPen(QPen(Accent, 1));
      p.drawLine(QPointF(5.5, 12.5), QPointF(10.5, 12.5));
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(60, 190, 60));
      p.drawEllipse(QPointF(12.5, 8.5), 0.9, 0.9);
      break;
    }
    case ciReset: {
      p.setPen(QPen(Accent, 1.8, Qt::SolidLine, Qt::RoundCap));
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(2.5, 2.5, 11, 11), 100 * 16, 290 * 16);
      p.setBrush(Accent);
      ArrowHead(p, QPointF(5.2, 1.6), 170, 4);
      p.setPen(Qt::NoPen);
      p.setBrush(Ink);
      p.drawEllipse(QPointF(8, 8), 1.4, 1.4);
      break;
    }
    case ciRotateLeft: Turn(p, true); break;
    case ciRotateRight: Turn(p, false); break;
    case ciElevateUp: Tilt(p, true); break;
    case ciElevateDown: Tilt(p, false); break;
    case ciView3D: {
      p.setPen(QPen(Ink, 1, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
      const QPolygonF front{QPointF(1.5, 5.5), QPointF(10.5, 5.5), QPointF(10.5, 14.5), QPointF(1.5, 14.5)};
      const QPolygonF top{QPointF(1.5, 5.5), QPointF(5.5, 1.5), QPointF(14.5, 1.5), QPointF(10.5, 5.5)};
      const QPolygonF right{QPointF(10.5, 5.5), QPointF(14.5, 1.5), QPointF(14.5, 10.5), QPointF(10.5, 14.5)};
      p.setBrush(QColor(120, 170, 235));
      p.drawPolygon(front);
      p.setBrush(QColor(190, 215, 245));
      p.drawPolygon(top);
      p.setBrush(QColor(70, 120, 200));
      p.drawPolygon(right);
      break;
    }
    case ciEqualCf: {
      p.setBrush(Qt::NoBrush);
      QPainterPath real, ideal;
      real.moveTo(1.5, 13.5);
      real.cubicTo(7, 13, 9, 4, 14.5, 3.5);
      ideal.moveTo(1.5, 13.5);
      ideal.cubicTo(8, 13, 11, 8, 14.5, 7.5);
      p.setPen(QPen(QColor(220, 0, 0), 1.5));
      p.drawPath(real);
      p.setPen(QPen(QColor(0, 140, 0), 1.5, Qt::DashLine));
      p.drawPath(ideal);
      p.setPen(QPen(Ink, 1.2));
      p.drawLine(QPointF(1.5, 2.5), QPointF(6.5, 2.5));  // the equals sign
      p.drawLine(QPointF(1.5, 5.5), QPointF(6.5, 5.5));
      break;
    }
    case ciCompareRuns: {
      // Three runs fanning out from one start: one colour each, as the chart draws them.
      p.setBrush(Qt::NoBrush);
      const QColor colours[] = {QColor(220, 0, 0), QColor(0, 140, 0), QColor(30, 90, 220)};
      const double ends[] = {2.5, 7, 11.5};
      for (int i = 0; i < 3; ++i) {
        QPainterPath curve;
        curve.moveTo(1.5, 14);
        curve.cubicTo(6, 13.5, 9, ends[i] + 1, 14.5, ends[i]);
        p.setPen(QPen(colours[i], 1.5, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(curve);
      }
      p.setPen(QPen(Ink, 1));
      p.drawLine(QPointF(0.5, 1.5), QPointF(0.5, 15.5));   // the axes
      p.drawLine(QPointF(0.5, 15.5), QPointF(15.5, 15.5));
      break;
    }
    default: break;
  }
}

}  // namespace

QImage ZymraChartImage(int index, int size) {
  if (index < 0 || index >= kZymraChartImageCount || size < 1) return QImage();
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.scale(size / 16.0, size / 16.0);  // drawn on a 16 x 16 grid
  PaintImage(p, index);
  return image;
}

QIcon ZymraChartIcon(int index) {
  QIcon icon;
  for (int size : {16, 24, 32, 48}) {
    const QImage image = ZymraChartImage(index, size);
    if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon;
}
