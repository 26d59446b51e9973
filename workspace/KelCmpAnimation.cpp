#include "KelCmpAnimation.h"

#include <QCoreApplication>
#include <QPainterPath>
#include <QThread>

#include <algorithm>

namespace {

constexpr std::size_t MaxRegions = 600;

}  // namespace

TPaxFormAnimation::TPaxFormAnimation(QWidget* form) : QObject(form), FForm(form) {}

std::vector<QRegion> TPaxFormAnimation::Regions(TAnimationShape shape, QSize size) {
  std::vector<QRegion> regions;
  const int w = size.width();
  const int h = size.height();
  if (w <= 0 || h <= 0) return regions;
  if (shape == TAnimationShape::Television) {
    // First squeeze to a horizontal line, then pull the line together.
    int x = 0, y = 0;
    while (y + 2 < h / 2 && regions.size() < MaxRegions) {
      y += 2;
      regions.emplace_back(x, y, w - 2 * x, h - 2 * y);
    }
    while (x + 6 < w / 2 && regions.size() < MaxRegions) {
      x += 8;
      regions.emplace_back(x, y, std::max(w - 2 * x, 0), h - 2 * y);
    }
    return regions;
  }
  const int frames = std::clamp(std::max(w, h) / 8, 1, static_cast<int>(MaxRegions));
  for (int k = 1; k <= frames; ++k) {
    const double f = 1.0 - static_cast<double>(k) / frames;  // share still visible
    const int sw = static_cast<int>(w * f);
    const int sh = static_cast<int>(h * f);
    const QRect centred((w - sw) / 2, (h - sh) / 2, sw, sh);
    switch (shape) {
      case TAnimationShape::Ellipse:
        regions.emplace_back(centred, QRegion::Ellipse);
        break;
      case TAnimationShape::Rectangle:
        regions.emplace_back(centred);
        break;
      case TAnimationShape::RoundedRectangle: {
        QPainterPath path;
        const double radius = std::min(sw, sh) / 6.0;
        path.addRoundedRect(QRectF(centred), radius, radius);
        regions.emplace_back(path.toFillPolygon().toPolygon());
        break;
      }
      case TAnimationShape::Horizontally:
        regions.emplace_back((w - sw) / 2, 0, sw, h);
        break;
      case TAnimationShape::Vertically:
        regions.emplace_back(0, (h - sh) / 2, w, sh);
        break;
      case TAnimationShape::ToBottom:
        regions.emplace_back(0, h - sh, w, sh);
        break;
      case TAnimationShape::ToTop:
        regions.emplace_back(0, 0, w, sh);
        break;
      case TAnimationShape::Television:
        break;
    }
  }
  return regions;
}

void TPaxFormAnimation::Apply(const QRegion& region) {
  if (!FForm) return;
  // An empty QRegion would remove the mask and show everything again.
  FForm->setMask(region.isEmpty() ? NothingVisible() : region);
  ++FFramesShown;
  // Let the window system show the new shape before the next one.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  if (FFrameDelay > 0) QThread::msleep(static_cast<unsigned long>(FFrameDelay));
}

void TPaxFormAnimation::Play(TAnimationShape shape, bool appear) {
  if (!FForm) return;
  std::vector<QRegion> regions = Regions(shape, FForm->size());
  if (appear) {
    std::reverse(regions.begin(), regions.end());
    Apply(NothingVisible());
    for (const QRegion& region : regions) Apply(region);
    Restore();
  } else {
    for (const QRegion& region : regions) Apply(region);
    Apply(NothingVisible());
  }
}

void TPaxFormAnimation::Restore() {
  if (FForm) FForm->clearMask();
}
