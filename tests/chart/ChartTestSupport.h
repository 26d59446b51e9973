#pragma once
// A QApplication for the chart tests (gtest_main owns main()), and small image helpers.
#include <QApplication>
#include <QColor>
#include <QImage>
#include <QString>

#include <cstdlib>

inline QApplication& TestApp() {
  static int argc = 1;
  static char name[] = "chart-tests";
  static char* argv[] = {name, nullptr};
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

inline QString TestOutput(const QString& file) {
  return QStringLiteral(ZYMRA_TEST_OUTPUT_DIR) + QLatin1Char('/') + file;
}

// Near a pure series colour: the channel that carries the colour dominates clearly.
inline bool IsReddish(QColor c) { return c.red() > 150 && c.green() < 110 && c.blue() < 110; }
inline bool IsGreenish(QColor c) { return c.green() > 90 && c.red() < 110 && c.blue() < 110; }

// Whether any pixel within `radius` of (x, y) satisfies pred.
template <class Pred>
bool AnyPixelNear(const QImage& image, int x, int y, int radius, Pred pred) {
  for (int dy = -radius; dy <= radius; ++dy)
    for (int dx = -radius; dx <= radius; ++dx) {
      const int px = x + dx, py = y + dy;
      if (px >= 0 && py >= 0 && px < image.width() && py < image.height() && pred(image.pixelColor(px, py)))
        return true;
    }
  return false;
}
