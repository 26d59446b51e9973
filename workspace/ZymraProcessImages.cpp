#include "ZymraProcessImages.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>


namespace {
// Every picture is drawn in a 24 × 24 box and scaled; the outlines are thick enough
// to survive the scaling down to 16 pixels.
constexpr double kBox = 24.0;

QLinearGradient Vertical(double top, double bottom, const QColor& light, const QColor& dark) {
  QLinearGradient g(0, top, 0, bottom);
  g.setColorAt(0, light);
  g.setColorAt(1, dark);
  return g;
}

void FillOutlined(QPainter& p, const QPainterPath& path, const QBrush& fill, const QColor& outline) {
  p.setPen(QPen(outline, 1.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(fill);
  p.drawPath(path);
}

// A thin light line along the upper part of a shape gives it some depth.
void Gloss(QPainter& p, const QRectF& r, double radius) {
  QPainterPath path;
  path.addRoundedRect(r, radius, radius);
  QLinearGradient g(0, r.top(), 0, r.bottom());
  g.setColorAt(0, QColor(255, 255, 255, 150));
  g.setColorAt(1, QColor(255, 255, 255, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawPath(path);
}

void PaintPause(QPainter& p) {
  const QColor light(120, 170, 240), dark(30, 80, 185), outline(20, 50, 120);
  for (double x : {5.5, 13.5}) {
    QPainterPath bar;
    bar.addRoundedRect(QRectF(x, 4, 5, 16), 1.5, 1.5);
    FillOutlined(p, bar, Vertical(4, 20, light, dark), outline);
    Gloss(p, QRectF(x + 1, 5, 3, 6), 1);
  }
}

void PaintStart(QPainter& p) {
  QPainterPath tri;
  tri.moveTo(6.5, 3.5);
  tri.lineTo(20.5, 12);
  tri.lineTo(6.5, 20.5);
  tri.closeSubpath();
  FillOutlined(p, tri, Vertical(3.5, 20.5, QColor(130, 220, 105), QColor(30, 140, 40)), QColor(20, 90, 25));
  QPainterPath shine;
  shine.moveTo(8, 6.5);
  shine.lineTo(15.5, 11);
  shine.lineTo(8, 11);
  shine.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 110));
  p.drawPath(shine);
}

void PaintStop(QPainter& p) {
  QPainterPath square;
  square.addRoundedRect(QRectF(4.5, 4.5, 15, 15), 2.5, 2.5);
  FillOutlined(p, square, Vertical(4.5, 19.5, QColor(250, 120, 105), QColor(190, 30, 25)), QColor(120, 20, 15));
  Gloss(p, QRectF(6, 6, 12, 6), 1.5);
}

void PaintReset(QPainter& p) {
  // Back to the start: a bar and two heads pointing left, the media players' sign.
  const QLinearGradient fill = Vertical(5, 19, QColor(255, 205, 95), QColor(215, 125, 15));
  const QColor outline(125, 70, 10);
  QPainterPath bar;
  bar.addRoundedRect(QRectF(3.5, 5, 3.5, 14), 1, 1);
  FillOutlined(p, bar, fill, outline);
  for (double x : {8.0, 14.0}) {
    QPainterPath head;
    head.moveTo(x, 12);
    head.lineTo(x + 7, 5);
    head.lineTo(x + 7, 19);
    head.closeSubpath();
    FillOutlined(p, head, fill, outline);
  }
}

void PaintPrint(QPainter& p) {
  const QColor outline(60, 60, 70);
  // The sheet waiting at the back.
  QPainterPath paperIn;
  paperIn.addRect(QRectF(7, 2.5, 10, 8));
  FillOutlined(p, paperIn, QColor(255, 255, 255), outline);
  // The body.
  QPainterPath body;
  body.addRoundedRect(QRectF(2.5, 8.5, 19, 9.5), 2, 2);
  FillOutlined(p, body, Vertical(8.5, 18, QColor(230, 232, 238), QColor(140, 145, 160)), outline);
  // The printed sheet coming out at the front, with a few lines of text.
  QPainterPath paperOut;
  paperOut.addRect(QRectF(6.5, 14, 11, 7.5));
  FillOutlined(p, paperOut, QColor(255, 255, 255), outline);
  p.setPen(QPen(QColor(90, 110, 160), 1.0));
  p.drawLine(QPointF(8.5, 16.6), QPointF(15.5, 16.6));
  p.drawLine(QPointF(8.5, 18.9), QPointF(13.5, 18.9));
  // Ready light.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(40, 200, 60));
  p.drawEllipse(QPointF(18.3, 11.3), 1.2, 1.2);
}
}  // namespace

QImage ZymraProcessImage(int index, int size) {
  if (index < 0 || index >= kZymraProcessImageCount || size < 1) return QImage();
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / kBox, size / kBox);
  switch (index) {
    case piPause: PaintPause(p); break;
    case piStart: PaintStart(p); break;
    case piStop: PaintStop(p); break;
    case piReset: PaintReset(p); break;
    case piPrint: PaintPrint(p); break;
  }
  p.end();
  return image;
}

QIcon ZymraProcessIcon(int index) {
  QIcon icon;
  if (index < 0 || index >= kZymraProcessImageCount) return icon;
  for (int size : {16, 20, 24, 32, 48}) icon.addPixmap(QPixmap::fromImage(ZymraProcessImage(index, size)));
  return icon;
}
