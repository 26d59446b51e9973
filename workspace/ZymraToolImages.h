#pragma once
// The tool-bar pictures of the run pages, painted in code so that they stay sharp
// at every size and on high-density screens.
#include <QIcon>
#include <QImage>

// Indexes into the picture list, as the run actions refer to them.
enum TZymraToolImage : int { tiPause = 0, tiStart = 1, tiStop = 2, tiReset = 3, tiPrint = 4 };
constexpr int kZymraToolImageCount = 5;

// One picture, size × size pixels on a transparent background; a null image for an
// index outside the list or a size below 1.
QImage ZymraToolImage(int index, int size);
// The picture in the sizes a tool bar, a menu and a high-density screen ask for.
QIcon ZymraToolIcon(int index);
