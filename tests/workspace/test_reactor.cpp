#include "KelReactor.h"
#include "QtTestApp.h"

#include <QFontMetrics>
#include <QPainter>

namespace {

const QColor Liquid(0, 160, 60);
const QColor Background(200, 210, 220);
const QRgb VesselGlass = qRgb(236, 244, 250);  // the inside of the shipped vessel picture

bool IsDark(QRgb c) { return qRed(c) < 90 && qGreen(c) < 90 && qBlue(c) < 90; }

// The gauge as the fermentation page sets it up (indent 70, region 7/53 – 107/171).
struct VesselGaugeTest : ::testing::Test {
  TPaxReactor Gauge;
  void SetUp() override {
    Gauge.ApplyVesselLayout();
    Gauge.SetDensity(Liquid);
    Gauge.SetBgrColor(Background);
  }
  // Pixel at picture coordinates.
  QRgb At(const QImage& image, int x, int y) const { return image.pixel(x + Gauge.BitmapIndent(), y); }
};

TEST(ReactorSetters, KeepVolumeInsideTheAxis) {
  TPaxReactor gauge;
  EXPECT_EQ(gauge.size(), QSize(100, 100));
  EXPECT_EQ(gauge.AxisMax(), 3.0);
  EXPECT_EQ(gauge.Volume(), 2.0);
  gauge.SetVolume(5);
  EXPECT_EQ(gauge.Volume(), 3.0);
  gauge.SetVolume(-1);
  EXPECT_EQ(gauge.Volume(), 0.0);
  gauge.SetVolume(2.5);
  gauge.SetAxisMax(1.5);
  EXPECT_EQ(gauge.AxisMax(), 1.5);
  EXPECT_EQ(gauge.Volume(), 1.5);
  gauge.SetAxisMax(0);
  EXPECT_EQ(gauge.AxisMax(), 1.5);
  gauge.SetAxisMax(10);
  EXPECT_EQ(gauge.Volume(), 1.5);  // raising the axis leaves the volume alone
  gauge.SetVolume(std::nan(""));
  EXPECT_EQ(gauge.Volume(), 0.0);
}

TEST(ReactorSetters, IgnoreZeroStepAndForeignSeparators) {
  TPaxReactor gauge;
  gauge.SetAxisStep(0);
  EXPECT_EQ(gauge.AxisStep(), 0.5);
  gauge.SetAxisStep(2);
  EXPECT_EQ(gauge.AxisStep(), 2.0);
  gauge.SetAxisDecSep(',');
  EXPECT_EQ(gauge.AxisDecSep(), ',');
  gauge.SetAxisDecSep(';');
  EXPECT_EQ(gauge.AxisDecSep(), ',');
  gauge.SetAxisDecSep('.');
  EXPECT_EQ(gauge.AxisDecSep(), '.');
}

TEST(ReactorSetters, PictureAndIndentSizeTheControl) {
  TPaxReactor gauge;
  gauge.SetBitmapIndent(30);
  EXPECT_EQ(gauge.width(), 130);  // no picture: indent + 100
  const QImage vessel = TPaxReactor::VesselPicture();
  ASSERT_EQ(vessel.size(), QSize(120, 200));
  gauge.SetBitmap(vessel);
  EXPECT_EQ(gauge.size(), QSize(120, 200));
  gauge.SetBitmapIndent(70);
  EXPECT_EQ(gauge.size(), QSize(190, 200));
}

TEST(ReactorAxis, LabelsFromBottomToTop) {
  TPaxReactor gauge;
  gauge.SetAxisMax(50);
  gauge.SetAxisStep(10);
  gauge.SetAxisDecimals(1);
  gauge.SetAxisDecSep(',');
  EXPECT_EQ(gauge.AxisLabels(),
            QStringList({"0,0", "10,0", "20,0", "30,0", "40,0", "50,0"}));
  gauge.SetAxisMax(150);
  gauge.SetAxisStep(38);
  gauge.SetAxisDecimals(0);
  EXPECT_EQ(gauge.AxisLabels(), QStringList({"0", "38", "76", "114"}));
  gauge.SetAxisMax(4);
  gauge.SetAxisStep(1);
  gauge.SetAxisDecimals(1);
  gauge.SetAxisDecSep('.');
  EXPECT_EQ(gauge.AxisLabels(), QStringList({"0.0", "1.0", "2.0", "3.0", "4.0"}));
}

TEST(ReactorAxis, ARunawayStepStillFinishes) {
  TPaxReactor gauge;
  gauge.SetAxisStep(-1);
  gauge.SetAxisDecSep('.');
  EXPECT_EQ(gauge.AxisLabels(), QStringList({"0.0"}));
  gauge.SetAxisStep(1e-12);
  EXPECT_LE(gauge.AxisLabels().size(), 10000);
  EXPECT_FALSE(gauge.Render().isNull());
}

TEST(ReactorAxis, TitleOfAFontThatCannotBeRotatedUsesArial) {
  TPaxReactor gauge;
  QFont sans(QStringLiteral("MS Sans Serif"));
  sans.setPixelSize(13);
  sans.setBold(true);
  sans.setItalic(true);
  gauge.setFont(sans);
  EXPECT_FALSE(gauge.ParentFont());
  EXPECT_EQ(gauge.font().family(), "MS Sans Serif");  // labels keep the face
  const QFont title = gauge.TitleFont();
  EXPECT_EQ(title.family(), "Arial");
  EXPECT_EQ(title.pixelSize(), 13);
  EXPECT_TRUE(title.bold());
  EXPECT_TRUE(title.italic());
  gauge.ApplyVesselLayout();
  ASSERT_TRUE(gauge.Render().save(QStringLiteral(ZYMRA_TEST_OUTPUT_DIR "/reactor_ms_sans_serif.png")));
  QFont verdana(QStringLiteral("Verdana"));
  verdana.setPixelSize(11);
  gauge.setFont(verdana);
  EXPECT_EQ(gauge.TitleFont().family(), "Verdana");
  EXPECT_FALSE(gauge.TitleFont().bold());
  gauge.SetParentFont(true);
  EXPECT_TRUE(gauge.ParentFont());
}

TEST_F(VesselGaugeTest, EmptyVesselShowsOneLiquidRowAndTheFilledBottom) {
  Gauge.SetVolume(0);
  EXPECT_EQ(Gauge.LiquidTop(), 171);
  const QImage image = Gauge.Render();
  ASSERT_TRUE(image.save(QStringLiteral(ZYMRA_TEST_OUTPUT_DIR "/reactor_empty.png")));
  EXPECT_EQ(At(image, 57, 171), Liquid.rgb());
  EXPECT_EQ(At(image, 7, 171), Liquid.rgb());
  EXPECT_EQ(At(image, 107, 171), Liquid.rgb());
  EXPECT_EQ(At(image, 57, 170), VesselGlass);
  EXPECT_EQ(At(image, 30, 100), VesselGlass);
  // The rounded bottom below the region takes the liquid colour by the flood fill.
  EXPECT_EQ(At(image, 57, 180), Liquid.rgb());
  EXPECT_EQ(At(image, 20, 175), Liquid.rgb());
  // Outside the vessel the key colour of the picture lets the background through.
  EXPECT_EQ(At(image, 2, 90), Background.rgb());
  EXPECT_EQ(At(image, 117, 190), Background.rgb());
  EXPECT_EQ(image.pixel(10, 10), Background.rgb());  // the axis strip
}

TEST_F(VesselGaugeTest, LiquidRisesWithTheVolume) {
  Gauge.SetVolume(25);  // half of 50: round(0.5 × 118) = 59 rows above 171
  EXPECT_EQ(Gauge.LiquidTop(), 112);
  QImage image = Gauge.Render();
  ASSERT_TRUE(image.save(QStringLiteral(ZYMRA_TEST_OUTPUT_DIR "/reactor_half.png")));
  EXPECT_EQ(At(image, 57, 112), Liquid.rgb());
  EXPECT_EQ(At(image, 30, 111), VesselGlass);
  EXPECT_EQ(At(image, 57, 185), Liquid.rgb());
  Gauge.SetVolume(50);
  EXPECT_EQ(Gauge.LiquidTop(), 53);
  image = Gauge.Render();
  ASSERT_TRUE(image.save(QStringLiteral(ZYMRA_TEST_OUTPUT_DIR "/reactor_full.png")));
  EXPECT_EQ(At(image, 57, 53), Liquid.rgb());
  EXPECT_EQ(At(image, 30, 52), VesselGlass);
}

TEST_F(VesselGaugeTest, AxisDrawsTicksLabelsAndTitle) {
  const QImage image = Gauge.Render();
  // Tick of 0 at row 171 and of 50 at row 53: x 1 … 5 of the picture, right end left out.
  for (int y : {171, 53, 171 - 24})  // 10 l: round(0.2 × 118) = 24
    for (int x = 1; x <= 4; ++x) EXPECT_EQ(At(image, x, y), qRgb(0, 0, 0)) << x << "," << y;
  EXPECT_NE(At(image, 0, 171), qRgb(0, 0, 0));
  EXPECT_NE(At(image, 2, 160), qRgb(0, 0, 0));
  // Labels end at the control's left edge of the picture (x 70); the rotated title's
  // bottom side lies 2 pixels left of the widest label.
  const int widest = QFontMetrics(Gauge.font()).horizontalAdvance(QStringLiteral("50,0"));
  const int titleRight = 70 + 6 - 5 - 1 - widest - 2;
  int labelInk = 0, titleInk = 0, titleTop = 200, titleBottom = 0, titleMaxX = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < 70; ++x) {
      if (!IsDark(image.pixel(x, y))) continue;
      if (x > titleRight) {
        ++labelInk;
        continue;
      }
      ++titleInk;
      titleMaxX = std::max(titleMaxX, x);
      titleTop = std::min(titleTop, y);
      titleBottom = std::max(titleBottom, y);
    }
  EXPECT_GT(labelInk, 50);
  EXPECT_GT(titleInk, 20);
  EXPECT_GE(titleMaxX, titleRight - 4);  // the title reaches its bottom line
  // The title is centred on the middle row of the region, (53 + 171) / 2 = 112.
  EXPECT_NEAR((titleTop + titleBottom) / 2.0, 112.0, 3.0);
  EXPECT_GT(titleBottom - titleTop, 25);  // it runs vertically
}

TEST_F(VesselGaugeTest, HiddenAxisLeavesTheStripEmpty) {
  Gauge.SetShowAxis(false);
  const QImage image = Gauge.Render();
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < 70; ++x) ASSERT_EQ(image.pixel(x, y), Background.rgb()) << x << "," << y;
}

TEST(ReactorLiquid, HalfwayRowsRoundToEven) {
  // A plain picture: a black box around the region and a pocket below it, white
  // inside and out, with the key colour in its bottom-left pixel.
  QImage picture(40, 40, QImage::Format_RGB32);
  picture.fill(Qt::white);
  QPainter painter(&picture);
  painter.setPen(Qt::black);
  painter.drawRect(4, 9, 27, 27);  // x 4 … 31, y 9 … 36
  painter.end();
  picture.setPixel(0, 39, qRgb(255, 0, 255));
  TPaxReactor gauge;
  gauge.SetBitmap(picture);
  gauge.SetBitmapIndent(0);
  gauge.SetShowAxis(false);
  gauge.SetBgrColor(Qt::yellow);
  gauge.SetRectX1(5);
  gauge.SetRectX2(30);
  gauge.SetRectY1(10);
  gauge.SetRectY2(30);
  gauge.SetAxisMax(8);
  gauge.SetVolume(1);  // 1/8 of 20 rows = 2.5 → 2
  EXPECT_EQ(gauge.LiquidTop(), 28);
  gauge.SetVolume(3);  // 7.5 → 8
  EXPECT_EQ(gauge.LiquidTop(), 22);
  gauge.SetDensity(Qt::blue);
  const QImage image = gauge.Render();
  const QRgb blue = QColor(Qt::blue).rgb();
  EXPECT_EQ(image.pixel(5, 22), blue);
  EXPECT_EQ(image.pixel(30, 30), blue);
  EXPECT_EQ(image.pixel(5, 21), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(31, 25), qRgb(0, 0, 0));
  EXPECT_EQ(image.pixel(17, 33), blue);  // the pocket, by the flood fill
  EXPECT_EQ(image.pixel(5, 35), blue);
  EXPECT_EQ(image.pixel(35, 2), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(0, 39), QColor(Qt::yellow).rgb());  // the key pixel
}

TEST(ReactorFloodFill, StaysInsideItsBorder) {
  QImage image(30, 30, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setPen(Qt::black);
  painter.drawRect(5, 5, 10, 10);  // a closed border around 6..14
  painter.end();
  FloodFillSurface(image, QPoint(8, 8), Qt::red);
  EXPECT_EQ(image.pixel(6, 6), QColor(Qt::red).rgb());
  EXPECT_EQ(image.pixel(14, 14), QColor(Qt::red).rgb());
  EXPECT_EQ(image.pixel(5, 5), qRgb(0, 0, 0));
  EXPECT_EQ(image.pixel(20, 20), qRgb(255, 255, 255));
  FloodFillSurface(image, QPoint(40, 8), Qt::green);  // outside: nothing happens
  FloodFillSurface(image, QPoint(8, 8), Qt::red);     // same colour: nothing happens
  EXPECT_EQ(image.pixel(8, 8), QColor(Qt::red).rgb());
  FloodFillSurface(image, QPoint(0, 0), Qt::green);
  EXPECT_EQ(image.pixel(29, 29), QColor(Qt::green).rgb());
  EXPECT_EQ(image.pixel(10, 10), QColor(Qt::red).rgb());
}

TEST(ReactorRendering, DesignTimeHatchShowsTheRegion) {
  TPaxReactor gauge;
  gauge.ApplyVesselLayout();
  gauge.SetVolume(10);
  gauge.SetDesigning(true);
  const QImage image = gauge.Render();
  ASSERT_TRUE(image.save(QStringLiteral(ZYMRA_TEST_OUTPUT_DIR "/reactor_design.png")));
  EXPECT_EQ(image.pixel(70 + 7, 53), qRgb(100, 157, 215));  // the outline's corner
}

}  // namespace
