#include "KelCmpAnimation.h"
#include "KelCmpGradient.h"
#include "QtTestApp.h"

#include <QElapsedTimer>

namespace {

QColor At(const TPaxGradient& gradient, int x, int y) { return gradient.Picture().pixelColor(x, y); }

TEST(Gradient, DefaultsAndClientAlignment) {
  QWidget form;
  form.resize(300, 200);
  TPaxGradient gradient(&form);
  form.show();  // a hidden form gets its resize events only when shown
  EXPECT_EQ(gradient.Style(), TGradStyle::grHorizontal);
  EXPECT_EQ(gradient.StartColor(), QColor(Qt::blue));
  EXPECT_EQ(gradient.EndColor(), QColor(Qt::black));
  EXPECT_EQ(gradient.Steps(), 100);
  EXPECT_EQ(gradient.geometry(), QRect(0, 0, 300, 200));
  form.resize(320, 150);
  EXPECT_EQ(gradient.geometry(), QRect(0, 0, 320, 150));
  gradient.resize(320, 50);
  gradient.SetAlign(TAlign::alTop);
  form.resize(400, 150);
  EXPECT_EQ(gradient.geometry(), QRect(0, 0, 400, 50));
}

TEST(Gradient, VerticalBandsRunFromStartToEnd) {
  TPaxGradient gradient;
  gradient.SetAlign(TAlign::alNone);
  gradient.resize(60, 100);
  gradient.SetStyle(TGradStyle::grVertical);
  gradient.SetStartColor(QColor(0, 0, 0));
  gradient.SetEndColor(QColor(200, 100, 50));
  gradient.SetSteps(10);  // per step (20, 10, 5), ten rows each
  EXPECT_EQ(At(gradient, 0, 0), QColor(0, 0, 0));
  EXPECT_EQ(At(gradient, 59, 9), QColor(0, 0, 0));
  EXPECT_EQ(At(gradient, 30, 10), QColor(20, 10, 5));
  EXPECT_EQ(At(gradient, 30, 55), QColor(100, 50, 25));
  EXPECT_EQ(At(gradient, 59, 99), QColor(180, 90, 45));
  // More steps than rows: one step per row.
  gradient.SetSteps(400);
  EXPECT_EQ(At(gradient, 0, 10), QColor(20, 10, 5));
  EXPECT_EQ(At(gradient, 0, 99), QColor(198, 99, 50));  // 49.5 to even
}

TEST(Gradient, HorizontalBandsRunAlongTheWidth) {
  TPaxGradient gradient;
  gradient.SetAlign(TAlign::alNone);
  gradient.resize(100, 20);
  gradient.SetStartColor(QColor(10, 20, 30));
  gradient.SetEndColor(QColor(110, 20, 230));
  gradient.SetSteps(4);  // 25 columns a step, (25, 0, 50) per step
  EXPECT_EQ(At(gradient, 0, 10), QColor(10, 20, 30));
  EXPECT_EQ(At(gradient, 24, 19), QColor(10, 20, 30));
  EXPECT_EQ(At(gradient, 25, 0), QColor(35, 20, 80));
  EXPECT_EQ(At(gradient, 99, 0), QColor(85, 20, 180));
}

TEST(Gradient, PyramidOfTheSplash) {
  TPaxGradient gradient;
  gradient.SetAlign(TAlign::alNone);
  gradient.resize(456, 182);
  gradient.SetStyle(TGradStyle::grPyramid);
  gradient.SetStartColor(QColor(240, 202, 166));
  gradient.SetEndColor(QColor(128, 0, 0));
  gradient.SetSteps(17);
  // Insets per step: 456/34 ≈ 13.4 columns and 182/34 ≈ 5.35 rows.
  EXPECT_EQ(At(gradient, 0, 0), QColor(240, 202, 166));
  EXPECT_EQ(At(gradient, 10, 91), QColor(240, 202, 166));
  EXPECT_EQ(At(gradient, 455, 181), QColor(240, 202, 166));
  EXPECT_EQ(At(gradient, 20, 91), QColor(233, 190, 156));   // step 1
  EXPECT_EQ(At(gradient, 228, 91), QColor(135, 12, 10));    // step 16 holds the centre
  EXPECT_EQ(At(gradient, 228, 3), QColor(240, 202, 166));
  EXPECT_EQ(At(gradient, 228, 6), QColor(233, 190, 156));
  ASSERT_TRUE(gradient.Picture().save(QStringLiteral(ZYMRA_TEST_OUTPUT_DIR "/gradient_pyramid.png")));
}

TEST(Gradient, OtherStylesPaintStartAtTheEdgeAndEndInside) {
  TPaxGradient gradient;
  gradient.SetAlign(TAlign::alNone);
  gradient.resize(200, 100);
  gradient.SetStartColor(Qt::white);
  gradient.SetEndColor(Qt::black);
  gradient.SetSteps(10);
  gradient.SetStyle(TGradStyle::grFilled);
  EXPECT_EQ(At(gradient, 100, 50), QColor(Qt::white));
  gradient.SetStyle(TGradStyle::grEllipse);
  EXPECT_EQ(At(gradient, 0, 0), QColor(Qt::white));
  EXPECT_LT(At(gradient, 100, 50).red(), 40);
  gradient.SetStyle(TGradStyle::grMount);
  EXPECT_EQ(At(gradient, 0, 50), QColor(Qt::white));
  EXPECT_EQ(At(gradient, 199, 0), QColor(Qt::white));
  EXPECT_EQ(At(gradient, 100, 0), At(gradient, 100, 99));  // columns, not rings
  EXPECT_LT(At(gradient, 100, 0).red(), 40);
  gradient.SetSteps(0);  // treated as one step instead of dividing by zero
  gradient.SetStyle(TGradStyle::grVertical);
  EXPECT_EQ(At(gradient, 0, 0), QColor(Qt::white));
}

TEST(Gradient, PictureIsRebuiltOnlyAfterChanges) {
  TPaxGradient gradient;
  gradient.SetAlign(TAlign::alNone);
  gradient.resize(50, 50);
  gradient.Picture();
  gradient.Picture();
  EXPECT_EQ(gradient.PictureBuilds(), 1);
  gradient.SetSteps(100);  // unchanged
  gradient.SetStartColor(Qt::blue);
  gradient.Picture();
  EXPECT_EQ(gradient.PictureBuilds(), 1);
  gradient.SetSteps(5);
  gradient.Picture();
  EXPECT_EQ(gradient.PictureBuilds(), 2);
  gradient.resize(60, 50);
  EXPECT_EQ(gradient.Picture().size(), QSize(60, 50));
  EXPECT_EQ(gradient.PictureBuilds(), 3);
  gradient.show();
  const QImage shown = gradient.grab().toImage();
  EXPECT_EQ(shown.pixelColor(0, 0), At(gradient, 0, 0));
  EXPECT_EQ(shown.pixelColor(59, 49), At(gradient, 59, 49));
}

TEST(FormAnimation, TelevisionSqueezesToALineThenToNothing) {
  const std::vector<QRegion> regions =
      TPaxFormAnimation::Regions(TAnimationShape::Television, QSize(456, 247));
  // Rows 2 … 122 in steps of 2 (61 regions), then columns 8 … 224 in steps of 8 (28).
  ASSERT_EQ(regions.size(), 89u);
  EXPECT_EQ(regions[0], QRegion(0, 2, 456, 243));
  EXPECT_EQ(regions[60], QRegion(0, 122, 456, 3));
  EXPECT_EQ(regions[61], QRegion(8, 122, 440, 3));
  EXPECT_EQ(regions[88], QRegion(224, 122, 8, 3));
  EXPECT_EQ(TPaxFormAnimation::Regions(TAnimationShape::Television, QSize(3000, 3000)).size(), 600u);
  EXPECT_TRUE(TPaxFormAnimation::Regions(TAnimationShape::Television, QSize(0, 10)).empty());
}

TEST(FormAnimation, EveryShapeShrinks) {
  for (TAnimationShape shape :
       {TAnimationShape::Ellipse, TAnimationShape::Rectangle, TAnimationShape::RoundedRectangle,
        TAnimationShape::Horizontally, TAnimationShape::Vertically, TAnimationShape::Television,
        TAnimationShape::ToBottom, TAnimationShape::ToTop}) {
    const std::vector<QRegion> regions = TPaxFormAnimation::Regions(shape, QSize(200, 120));
    ASSERT_GE(regions.size(), 5u) << int(shape);
    EXPECT_LE(regions.size(), 600u);
    const QRect whole(0, 0, 200, 120);
    for (std::size_t i = 0; i < regions.size(); ++i) {
      EXPECT_TRUE(whole.contains(regions[i].boundingRect()) || regions[i].isEmpty()) << int(shape);
      if (i > 0 && !regions[i].isEmpty()) {
        EXPECT_TRUE(regions[i - 1].boundingRect().contains(regions[i].boundingRect()))
            << int(shape) << " at " << i;
      }
    }
    EXPECT_LT(regions.back().boundingRect().width() * regions.back().boundingRect().height(),
              whole.width() * whole.height() / 10)
        << int(shape);
  }
  EXPECT_EQ(TPaxFormAnimation::Regions(TAnimationShape::ToTop, QSize(200, 120))[0].boundingRect().top(), 0);
  EXPECT_EQ(TPaxFormAnimation::Regions(TAnimationShape::ToBottom, QSize(200, 120))[0].boundingRect().bottom(), 119);
}

TEST(FormAnimation, DisappearingLeavesNothingAndAppearingRestores) {
  QWidget form;
  form.resize(456, 247);
  form.show();
  TPaxFormAnimation animation(&form);
  EXPECT_EQ(animation.Form(), &form);
  animation.SetFrameDelay(0);
  animation.DisappearTelevision();
  EXPECT_EQ(animation.FramesShown(), 90);  // 89 shapes and the empty end
  EXPECT_FALSE(form.mask().isEmpty());
  EXPECT_FALSE(form.mask().intersects(form.rect()));
  animation.AppearEllipse();
  EXPECT_TRUE(form.mask().isEmpty());  // no mask: the whole form shows
  animation.DisappearToTop();
  EXPECT_FALSE(form.mask().intersects(form.rect()));
  animation.Restore();
  EXPECT_TRUE(form.mask().isEmpty());
}

TEST(FormAnimation, FramesArePaced) {
  QWidget form;
  form.resize(40, 20);
  TPaxFormAnimation animation(&form);
  EXPECT_EQ(animation.FrameDelay(), 5);
  QElapsedTimer clock;
  clock.start();
  animation.DisappearTelevision();  // rows 2, 4, 6, 8 then columns 8, 16: six shapes and the end
  EXPECT_EQ(animation.FramesShown(), 7);
  EXPECT_GE(clock.elapsed(), 7 * 5 - 1);
}

}  // namespace
