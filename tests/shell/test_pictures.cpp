// The program's pictures: sizes as the image lists and the welcome page need
// them, every image drawn (not blank) and no two alike. Leaves a contact sheet
// (pictures.png) in the test's output folder to look at.
#include "ZymraPictures.h"

#include "QtTestApp.h"

#include <QImage>
#include <QPainter>
#include <QSet>

namespace {

int OpaquePixels(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qAlpha(image.pixel(x, y)) > 64) ++count;
  return count;
}

QImage Argb(const QPixmap& pixmap) { return pixmap.toImage().convertToFormat(QImage::Format_ARGB32); }

}  // namespace

TEST(Pictures, ToolAndTreeImagesAreDrawnAtSixteenPixelsAndAllDiffer) {
  QSet<QByteArray> seen;
  auto check = [&seen](const QPixmap& pixmap, const char* what, int index) {
    ASSERT_EQ(pixmap.size(), QSize(16, 16)) << what << ' ' << index;
    const QImage image = Argb(pixmap);
    // Drawn, but not a filled square: an image leaves some of its corners free.
    const int opaque = OpaquePixels(image);
    EXPECT_GT(opaque, 30) << what << ' ' << index;
    EXPECT_LT(opaque, 256) << what << ' ' << index;
    const QByteArray bytes(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
    EXPECT_FALSE(seen.contains(bytes)) << what << ' ' << index << " looks like another image";
    seen.insert(bytes);
  };
  for (int i = 0; i < 14; ++i) check(ZymraToolPixmap(i), "tool image", i);
  for (int i = 0; i < 10; ++i) check(ZymraTreePixmap(i), "tree image", i);
  EXPECT_EQ(seen.size(), 24);
}

TEST(Pictures, IndexesOutsideTheListsGiveNothing) {
  EXPECT_TRUE(ZymraToolIcon(-1).isNull());
  EXPECT_TRUE(ZymraToolIcon(14).isNull());
  EXPECT_TRUE(ZymraTreeImage(10).isNull());
  EXPECT_TRUE(ZymraToolPixmap(14).isNull());
  EXPECT_FALSE(ZymraToolIcon(13).isNull());
  EXPECT_FALSE(ZymraTreeImage(9).isNull());
  // Icons carry a larger rendering for high-density screens.
  EXPECT_EQ(ZymraToolIcon(7).pixmap(QSize(32, 32)).size(), QSize(32, 32));
}

TEST(Pictures, RunStatesMapToTheirTreeImages) {
  EXPECT_EQ(ZymraRunStateImage(0, false), 0);
  EXPECT_EQ(ZymraRunStateImage(1, true), 3);
  EXPECT_EQ(ZymraRunStateImage(3, false), 6);
  EXPECT_EQ(ZymraRunStateImage(3, true), 7);
  EXPECT_EQ(ZymraRunStateImage(4, false), 8);
}

TEST(Pictures, WelcomePictureLogoAndIconHaveTheirSizesAndTransparentCorners) {
  const QImage welcome = Argb(ZymraWelcomePicture());
  ASSERT_EQ(welcome.size(), QSize(389, 349));
  EXPECT_EQ(qAlpha(welcome.pixel(0, 0)), 0);
  EXPECT_EQ(qAlpha(welcome.pixel(388, 0)), 0);
  EXPECT_GT(OpaquePixels(welcome), 389 * 349 / 5);

  const QImage logo = Argb(ZymraLogo());
  ASSERT_EQ(logo.size(), QSize(240, 56));
  EXPECT_GT(OpaquePixels(logo), 1500);

  const QImage emblem = Argb(ZymraEmblem(64));
  ASSERT_EQ(emblem.size(), QSize(64, 64));
  EXPECT_EQ(qAlpha(emblem.pixel(0, 0)), 0);   // rounded tile
  EXPECT_EQ(qAlpha(emblem.pixel(32, 32)), 255);
  EXPECT_FALSE(ZymraProgramIcon().isNull());
}

// Not a check: the sheet is for the eye (all images at 16 and 32 pixels, then
// the welcome picture, the logo and the icon).
TEST(Pictures, ContactSheet) {
  QImage sheet(760, 560, QImage::Format_ARGB32);
  sheet.fill(QColor(240, 240, 240));
  QPainter p(&sheet);
  for (int i = 0; i < 14; ++i) {
    p.drawPixmap(10 + i * 26, 10, ZymraToolPixmap(i, 16));
    p.drawPixmap(10 + i * 40, 34, ZymraToolPixmap(i, 32));
  }
  for (int i = 0; i < 10; ++i) {
    p.drawPixmap(10 + i * 26, 80, ZymraTreePixmap(i, 16));
    p.drawPixmap(10 + i * 40, 104, ZymraTreePixmap(i, 32));
  }
  p.fillRect(QRect(10, 150, 389, 349), Qt::white);
  p.drawPixmap(10, 150, ZymraWelcomePicture());
  p.fillRect(QRect(420, 150, 240, 56), Qt::white);
  p.drawPixmap(420, 150, ZymraLogo());
  p.drawPixmap(420, 220, ZymraEmblem(128));
  p.drawPixmap(560, 220, ZymraEmblem(48));
  p.drawPixmap(620, 220, ZymraEmblem(32));
  p.drawPixmap(660, 220, ZymraEmblem(16));
  p.end();
  const QString path = QStringLiteral(ZYMRA_TEST_OUTPUT_DIR "/pictures.png");
  ASSERT_TRUE(sheet.save(path));
}
