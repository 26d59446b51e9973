#pragma once
// The chart page's tool-bar pictures, painted in code so that they stay sharp at every
// size. The indexes are those the chart actions refer to.
#include <QIcon>
#include <QImage>

enum TZymraChartImage : int {
  ciPrint = 0,
  ciReset = 1,
  ciRotateLeft = 2,
  ciRotateRight = 3,
  ciElevateUp = 4,
  ciElevateDown = 5,
  ciView3D = 6,
  ciEqualCf = 7,
  ciCompareRuns = 8
};
constexpr int kZymraChartImageCount = 9;

// One picture, size x size pixels on a transparent background; a null image for an
// index outside the list or a size below 1.
QImage ZymraChartImage(int index, int size);
// The picture in the sizes a tool bar, a menu and a high-density screen ask for.
QIcon ZymraChartIcon(int index);
