#pragma once
// The program's own pictures, painted in code so they stay sharp at every
// device pixel ratio and need no files beside the program: the main window's
// tool-bar images, the navigation tree images, the welcome picture, the
// program logo and the program icon.
#include <QIcon>
#include <QPixmap>

// Positions in the main window's tool-bar image list (16x16).
enum TZymraToolImage : int {
  tiNew = 0,
  tiOpen = 1,
  tiSave = 2,
  tiInfo = 3,
  tiRemoveRun = 4,
  tiAddRun = 5,
  tiPause = 6,
  tiStart = 7,
  tiFinish = 8,
  tiReset = 9,
  tiEquatesSettings = 10,
  tiEquatesCharts = 11,
  tiFullScreen = 12,
  tiHelp = 13,
};
inline constexpr int ZymraToolImageCount = 14;

// Positions in the navigation tree's image list (16x16). A run entry in state s
// shows image 2*s, and 2*s + 1 while it is selected.
enum TZymraTreeImage : int {
  niPrepare = 0,
  niPrepareSelected = 1,
  niRunning = 2,
  niRunningSelected = 3,
  niPaused = 4,
  niPausedSelected = 5,
  niFinished = 6,
  niFinishedSelected = 7,
  niRoot = 8,
  niGroup = 9,
};
inline constexpr int ZymraTreeImageCount = 10;

// Tool-bar image `index` (0..13); a null icon outside that range. The icon
// holds pixmaps for 16, 24, 32 and 48 pixels.
QIcon ZymraToolIcon(int index);
// The same image as one pixmap of size x size pixels (null outside the range).
QPixmap ZymraToolPixmap(int index, int size = 16);

// Tree image `index` (0..9); a null icon outside that range.
QIcon ZymraTreeImage(int index);
QPixmap ZymraTreePixmap(int index, int size = 16);
// Tree image of a run in `state` (0..3), selected or not; the root image for
// any other state.
inline int ZymraRunStateImage(int state, bool selected) {
  return state >= 0 && state <= 3 ? 2 * state + (selected ? 1 : 0) : niRoot;
}

// The welcome page's picture: 389 x 349 pixels, transparent around a stirred
// bioreactor with its feed pump and a growth curve.
QPixmap ZymraWelcomePicture();
inline constexpr int ZymraWelcomeWidth = 389;
inline constexpr int ZymraWelcomeHeight = 349;

// The program's logo: emblem and name "Zymra" with the line "Fed-Batch
// Simulation", 240 x 56 pixels, transparent background.
QPixmap ZymraLogo();
inline constexpr int ZymraLogoWidth = 240;
inline constexpr int ZymraLogoHeight = 56;

// The program icon (window icon), drawn from the same emblem as the logo.
QIcon ZymraProgramIcon();
// The emblem alone, size x size pixels (the icon's pixmaps).
QPixmap ZymraEmblem(int size);
