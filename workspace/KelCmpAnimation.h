#pragma once
// Window-region animations that let a form appear or vanish in a shape.
#include <QObject>
#include <QPointer>
#include <QRegion>
#include <QSize>
#include <QWidget>

#include <vector>

enum class TAnimationShape {
  Ellipse, Rectangle, RoundedRectangle, Horizontally, Vertically, Television, ToBottom, ToTop
};

class TPaxFormAnimation : public QObject {
  Q_OBJECT
 public:
  // The form is the window whose visible region is animated.
  explicit TPaxFormAnimation(QWidget* form);

  QWidget* Form() const { return FForm; }
  // Pause after each region, in milliseconds.
  int FrameDelay() const { return FFrameDelay; }
  void SetFrameDelay(int ms) { FFrameDelay = ms < 0 ? 0 : ms; }

  void AppearEllipse() { Play(TAnimationShape::Ellipse, true); }
  void AppearRectangle() { Play(TAnimationShape::Rectangle, true); }
  void AppearRoundedRectangle() { Play(TAnimationShape::RoundedRectangle, true); }
  void AppearHorizontally() { Play(TAnimationShape::Horizontally, true); }
  void AppearVertically() { Play(TAnimationShape::Vertically, true); }
  void AppearTelevision() { Play(TAnimationShape::Television, true); }
  void AppearToBottom() { Play(TAnimationShape::ToBottom, true); }
  void AppearToTop() { Play(TAnimationShape::ToTop, true); }
  void DisappearEllipse() { Play(TAnimationShape::Ellipse, false); }
  void DisappearRectangle() { Play(TAnimationShape::Rectangle, false); }
  void DisappearRoundedRectangle() { Play(TAnimationShape::RoundedRectangle, false); }
  void DisappearHorizontally() { Play(TAnimationShape::Horizontally, false); }
  void DisappearVertically() { Play(TAnimationShape::Vertically, false); }
  void DisappearTelevision() { Play(TAnimationShape::Television, false); }
  void DisappearToBottom() { Play(TAnimationShape::ToBottom, false); }
  void DisappearToTop() { Play(TAnimationShape::ToTop, false); }

  // Disappearing: the regions from the whole form down to nothing; appearing
  // plays them backwards and ends with the whole form.
  void Play(TAnimationShape shape, bool appear);
  // The shrinking sequence of visible regions of a form of the given size (at most 600).
  static std::vector<QRegion> Regions(TAnimationShape shape, QSize size);
  // A mask that leaves no pixel of the form visible (an empty QRegion would
  // remove the mask instead of hiding everything).
  static QRegion NothingVisible() { return QRegion(-2, -2, 1, 1); }
  // Makes the whole form visible again.
  void Restore();

  // Regions applied so far (for diagnostics: the last one is what is shown).
  int FramesShown() const { return FFramesShown; }

 private:
  void Apply(const QRegion& region);

  QPointer<QWidget> FForm;
  int FFrameDelay = 5;
  int FFramesShown = 0;
};
