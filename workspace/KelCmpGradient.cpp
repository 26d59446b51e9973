#include "KelCmpGradient.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

int Nearest(double x) { return static_cast<int>(std::nearbyint(x)); }

}  // namespace

TPaxGradient::TPaxGradient(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  WatchParent();
  FollowParent();
}

void TPaxGradient::SetStyle(TGradStyle value) {
  if (value == FStyle) return;
  FStyle = value;
  Invalidate();
}

void TPaxGradient::SetStartColor(const QColor& value) {
  if (value == FStartColor) return;
  FStartColor = value;
  Invalidate();
}

void TPaxGradient::SetEndColor(const QColor& value) {
  if (value == FEndColor) return;
  FEndColor = value;
  Invalidate();
}

void TPaxGradient::SetSteps(int value) {
  if (value == FSteps) return;
  FSteps = value;
  Invalidate();
}

void TPaxGradient::SetAlign(TAlign value) {
  FAlign = value;
  FollowParent();
}

void TPaxGradient::Invalidate() {
  FDirty = true;
  update();
}

QColor TPaxGradient::StepColor(const QColor& start, const QColor& end, int i, int n) {
  if (n < 1) n = 1;
  const auto channel = [&](int s, int e) {
    return std::clamp(Nearest(s + i * (static_cast<double>(e - s) / n)), 0, 255);
  };
  return QColor(channel(start.red(), end.red()), channel(start.green(), end.green()),
                channel(start.blue(), end.blue()));
}

const QImage& TPaxGradient::Picture() const {
  if (FDirty || FPicture.size() != size()) {
    FPicture = Build();
    FDirty = false;
    ++FBuilds;
  }
  return FPicture;
}

QImage TPaxGradient::Build() const {
  const int w = width();
  const int h = height();
  if (w <= 0 || h <= 0) return QImage();
  QImage image(w, h, QImage::Format_RGB32);
  // Palette colours are taken as the RGB values they stand for right now.
  const QColor start = FStartColor.toRgb();
  const QColor end = FEndColor.toRgb();
  image.fill(start);
  QPainter painter(&image);
  painter.setPen(Qt::NoPen);
  const int steps = std::max(FSteps, 1);
  switch (FStyle) {
    case TGradStyle::grFilled:
      break;
    case TGradStyle::grVertical:
    case TGradStyle::grHorizontal: {
      const bool vertical = FStyle == TGradStyle::grVertical;
      const int length = vertical ? h : w;
      const int n = std::min(steps, length);
      for (int i = 0; i <= n; ++i) {
        const int from = Nearest(static_cast<double>(i) * length / n);
        const int to = Nearest(static_cast<double>(i + 1) * length / n);
        const QRect band = vertical ? QRect(0, from, w, to - from) : QRect(from, 0, to - from, h);
        painter.fillRect(band, StepColor(start, end, i, n));
      }
      break;
    }
    case TGradStyle::grPyramid:
    case TGradStyle::grEllipse:
    case TGradStyle::grMount: {
      const int n = std::min({steps, w / 2, h / 2});
      if (n <= 0) break;
      for (int i = 0; i <= n; ++i) {
        const int dx = Nearest(static_cast<double>(i) * w / (2.0 * n));
        const int dy = FStyle == TGradStyle::grMount ? 0 : Nearest(static_cast<double>(i) * h / (2.0 * n));
        const QRect inner(dx, dy, w - 2 * dx, h - 2 * dy);
        if (inner.isEmpty()) continue;
        painter.setBrush(StepColor(start, end, i, n));
        if (FStyle == TGradStyle::grEllipse)
          painter.drawEllipse(inner);
        else
          painter.fillRect(inner, StepColor(start, end, i, n));
      }
      break;
    }
  }
  return image;
}

void TPaxGradient::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, Picture());
}

void TPaxGradient::resizeEvent(QResizeEvent* event) {
  FDirty = true;
  QWidget::resizeEvent(event);
}

bool TPaxGradient::event(QEvent* event) {
  if (event->type() == QEvent::ParentChange) {
    WatchParent();
    FollowParent();
  }
  return QWidget::event(event);
}

bool TPaxGradient::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FWatched && event->type() == QEvent::Resize) FollowParent();
  return QWidget::eventFilter(watched, event);
}

void TPaxGradient::WatchParent() {
  if (FWatched == parentWidget()) return;
  if (FWatched) FWatched->removeEventFilter(this);
  FWatched = parentWidget();
  if (FWatched) FWatched->installEventFilter(this);
}

void TPaxGradient::FollowParent() {
  QWidget* parent = parentWidget();
  if (!parent || FAlign == TAlign::alNone) return;
  const QRect area = parent->contentsRect();
  QRect r = geometry();
  switch (FAlign) {
    case TAlign::alNone:
      return;
    case TAlign::alClient:
      r = area;
      break;
    case TAlign::alTop:
      r = QRect(area.left(), area.top(), area.width(), height());
      break;
    case TAlign::alBottom:
      r = QRect(area.left(), area.bottom() + 1 - height(), area.width(), height());
      break;
    case TAlign::alLeft:
      r = QRect(area.left(), area.top(), width(), area.height());
      break;
    case TAlign::alRight:
      r = QRect(area.right() + 1 - width(), area.top(), width(), area.height());
      break;
  }
  setGeometry(r);
}
