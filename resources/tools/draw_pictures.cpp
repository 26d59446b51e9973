// Draws the program's two bitmaps: the reactor vessel of the gauge and the
// maker's logo. Not part of the build; run by hand when a picture changes:
//   g++ -std=c++20 -fPIC draw_pictures.cpp $(pkg-config --cflags --libs Qt6Gui) -o draw_pictures
//   QT_QPA_PLATFORM=offscreen ./draw_pictures ..
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QVector>

#include <cstdio>

namespace {

// 16-colour palette of the vessel; the key colour fills everything outside the
// vessel, and the bottom-left pixel carries it so the gauge treats it as transparent.
const QRgb Key = qRgb(255, 0, 255);
const QRgb Black = qRgb(0, 0, 0);
const QRgb DarkGrey = qRgb(64, 64, 64);
const QRgb Grey = qRgb(128, 128, 128);
const QRgb Silver = qRgb(192, 192, 192);
const QRgb White = qRgb(255, 255, 255);
const QRgb Glass = qRgb(236, 244, 250);     // inside of the vessel
const QRgb Shine = qRgb(214, 230, 242);     // reflection on the glass
const QRgb Navy = qRgb(0, 0, 128);
const QRgb SteelBlue = qRgb(70, 110, 160);
const QRgb Steel = qRgb(160, 170, 180);
const QRgb Maroon = qRgb(128, 0, 0);
const QRgb Green = qRgb(0, 128, 0);

// Liquid region of the gauge on the fermentation page.
constexpr int RectX1 = 7, RectX2 = 107, RectY2 = 171;

void Box(QImage& img, int x1, int y1, int x2, int y2, QRgb fill, QRgb outline) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x)
      img.setPixel(x, y, (x == x1 || x == x2 || y == y1 || y == y2) ? outline : fill);
}

QImage DrawVessel() {
  QImage img(120, 200, QImage::Format_RGB32);
  img.fill(Key);
  // Motor with coupling and stirrer shaft.
  Box(img, 44, 1, 70, 20, SteelBlue, Black);
  Box(img, 47, 4, 67, 6, Navy, Navy);
  Box(img, 47, 9, 67, 11, Navy, Navy);
  Box(img, 47, 14, 67, 16, Navy, Navy);
  Box(img, 53, 21, 61, 28, Grey, Black);
  // Feed line entering through the lid.
  Box(img, 86, 6, 114, 10, Green, Black);
  Box(img, 86, 10, 90, 28, Green, Black);
  // Lid flange, wider than the glass.
  Box(img, 1, 29, 113, 34, Silver, Black);
  for (int x = 8; x <= 106; x += 14) img.setPixel(x, 31, DarkGrey);
  // Glass body: two-pixel walls just outside the liquid region.
  for (int y = 35; y <= RectY2; ++y) {
    for (int x = RectX1; x <= RectX2; ++x) img.setPixel(x, y, Glass);
    img.setPixel(RectX1 - 2, y, DarkGrey);
    img.setPixel(RectX1 - 1, y, Black);
    img.setPixel(RectX2 + 1, y, Black);
    img.setPixel(RectX2 + 2, y, DarkGrey);
  }
  // Stirrer shaft in the head space and a reflection on the glass; both lie
  // inside the liquid region and are covered by the liquid as it rises.
  for (int y = 35; y <= 60; ++y)
    for (int x = 56; x <= 58; ++x) img.setPixel(x, y, Grey);
  for (int y = 40; y <= 165; ++y)
    for (int x = 12; x <= 14; ++x) img.setPixel(x, y, Shine);
  // Scale marks on the right inside wall.
  for (int y = 60; y <= 165; y += 15)
    for (int x = 100; x <= 105; ++x) img.setPixel(x, y, Grey);
  // Rounded bottom: one connected area of the glass colour below the region,
  // closed by a wall at least two pixels thick so a flood fill cannot leak.
  const double cx = (RectX1 + RectX2) / 2.0;
  const double innerA = (RectX2 - RectX1) / 2.0 + 0.5, innerB = 21.0;
  const double outerA = innerA + 2.2, outerB = innerB + 2.2;
  for (int y = RectY2 + 1; y < 199; ++y) {
    for (int x = 0; x < 120; ++x) {
      const double dx = x - cx, dy = y - RectY2;
      const double inner = dx * dx / (innerA * innerA) + dy * dy / (innerB * innerB);
      const double outer = dx * dx / (outerA * outerA) + dy * dy / (outerB * outerB);
      if (inner <= 1.0)
        img.setPixel(x, y, Glass);
      else if (outer <= 1.0)
        img.setPixel(x, y, outer > 0.93 ? DarkGrey : Black);
    }
  }
  // Harvest valve under the bottom.
  Box(img, 53, 194, 61, 198, Maroon, Black);
  img.setPixel(0, 199, Key);

  const QVector<QRgb> palette{Key, Black, DarkGrey, Grey, Silver, White, Glass, Shine,
                              Navy, SteelBlue, Steel, Maroon, Green, qRgb(255, 255, 0),
                              qRgb(0, 128, 128), qRgb(128, 128, 0)};
  return img.convertToFormat(QImage::Format_Indexed8, palette, Qt::ThresholdDither);
}

QImage DrawLogo() {
  QImage img(193, 34, QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  // Emblem: a maroon rounded square with a white Q.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(128, 0, 0));
  p.drawRoundedRect(QRectF(1, 1, 32, 32), 6, 6);
  QFont emblem(QStringLiteral("DejaVu Sans"));
  emblem.setPixelSize(24);
  emblem.setBold(true);
  p.setFont(emblem);
  p.setPen(Qt::white);
  p.drawText(QRectF(1, 0, 32, 33), Qt::AlignCenter, QStringLiteral("Q"));
  QFont name(QStringLiteral("DejaVu Sans"));
  name.setPixelSize(19);
  name.setBold(true);
  name.setLetterSpacing(QFont::AbsoluteSpacing, 2);
  p.setFont(name);
  p.setPen(QColor(128, 0, 0));
  p.drawText(QRectF(40, -1, 153, 22), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("QUENVAR"));
  QFont sub(QStringLiteral("DejaVu Sans"));
  sub.setPixelSize(10);
  p.setFont(sub);
  p.setPen(QColor(64, 64, 64));
  p.drawText(QRectF(41, 20, 152, 13), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Software Engineering"));
  p.end();
  return img;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  if (!DrawVessel().save(dir + QStringLiteral("/vessel.png"))) return 1;
  if (!DrawLogo().save(dir + QStringLiteral("/logo.png"))) return 1;
  std::puts("vessel.png and logo.png written");
  return 0;
}
