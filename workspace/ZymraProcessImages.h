#pragma once
// The tool-bar pictures of the run pages, painted in code so that they stay sharp
// at every size and on high-density screens.
#include <QIcon>
#include <QImage>

// Indexes into the picture list, as the run actions refer to them.
enum TZymraProcessImage : int { piPause = 0, piStart = 1, piStop = 2, piReset = 3, piPrint = 4 };
constexpr int kZymraProcessImageCount = 5;

// One picture, size × size pixels on a transparent background; a null image for an
// index outside the list or a size below 1.
QImage ZymraProcessImage(int index, int size);
// The picture in the sizes a tool bar, a menu and a high-density screen ask for.
QIcon ZymraProcessIcon(int index);
