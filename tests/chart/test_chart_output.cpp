// Files and pages: charts rendered to PNG, SVG and PDF, and printing with margins.
#include "ChartTestSupport.h"
#include "PaxChart.h"
#include "PaxChartOutput.h"
#include "ZymraChartHelpers.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPrinter>
#include <QSvgRenderer>

#include <gtest/gtest.h>

namespace {

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool IsPdf(const QString& path) {
  const QByteArray data = ReadAll(path);
  return data.startsWith("%PDF-") && data.trimmed().endsWith("%%EOF");
}

TEST(ChartPrint, LayoutSizeFollowsTheResolutionSetting) {
  const QSizeF page(4800, 3000);  // device pixels at 600 dpi: 8 x 5 inches
  EXPECT_EQ(PaxPrintLayoutSize(page, 600, 0, QSize(640, 400)), QSizeF(768, 480));  // 96 per inch
  EXPECT_EQ(PaxPrintLayoutSize(page, 600, -100, QSize(640, 400)), QSizeF(640, 400));
  EXPECT_EQ(PaxPrintLayoutSize(page, 600, -200, QSize(640, 400)), QSizeF(320, 200));
  EXPECT_EQ(PaxPrintLayoutSize(page, 600, 50, QSize(640, 400)), QSizeF(2400, 1500));
}

TEST(ChartPrint, PrintsOnePageWithinTheMargins) {
  TestApp();
  TPaxChart chart;
  chart.resize(700, 450);
  chart.SetTitle("Optical Density Run [print]");
  TPaxChartSeries* s = AddLineSeries("OD real", &chart);
  for (int i = 0; i <= 100; ++i) s->Append(i * 0.1, i * i * 0.01);
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  const QString path = TestOutput("chart_print.pdf");
  QFile::remove(path);
  printer.setOutputFileName(path);
  TPaxPrintOptions options;
  options.Proportional = false;
  options.Resolution = -100;
  QString error;
  ASSERT_TRUE(chart.Print(printer, options, error)) << error.toStdString();
  EXPECT_TRUE(IsPdf(path));

  // Margins that leave no page are held at 45 percent a side instead of turning the page inside out.
  QPrinter second(QPrinter::HighResolution);
  second.setOutputFormat(QPrinter::PdfFormat);
  const QString path2 = TestOutput("chart_print_margins.pdf");
  QFile::remove(path2);
  second.setOutputFileName(path2);
  options = TPaxPrintOptions();
  options.MarginLeft = options.MarginRight = 80;
  options.MarginTop = -20;
  options.Resolution = 0;
  ASSERT_TRUE(chart.Print(second, options, error)) << error.toStdString();
  EXPECT_TRUE(IsPdf(path2));
}

TEST(ChartExport, ImageMatchesTheWidgetAndFilesAreValid) {
  TestApp();
  TPaxChart chart;
  chart.resize(500, 320);
  TPaxChartSeries* s = AddLineSeries("cS", &chart);
  for (int i = 0; i < 50; ++i) s->Append(i, 50 - i);
  EXPECT_EQ(chart.RenderImage(chart.size()), chart.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied));
  QString error;
  for (const char* ext : {"png", "svg", "pdf"}) {
    const QString path = TestOutput(QStringLiteral("chart_export.%1").arg(ext));
    QFile::remove(path);
    ASSERT_TRUE(chart.SaveToFile(path, QSize(500, 320), error)) << error.toStdString();
    EXPECT_GT(QFileInfo(path).size(), 500);
  }
  EXPECT_FALSE(QImage(TestOutput("chart_export.png")).isNull());
  EXPECT_TRUE(QSvgRenderer(TestOutput("chart_export.svg")).isValid());
  EXPECT_TRUE(IsPdf(TestOutput("chart_export.pdf")));
  EXPECT_FALSE(chart.SaveToFile(TestOutput("tiny.png"), QSize(4, 4), error));
}

// Measured values: markers and no line between them, in 2D and in 3D.
TEST(ChartExport, PointSeriesDrawMarkersWithoutLines) {
  TestApp();
  for (bool view3d : {false, true}) {
    auto reddish = [](const QImage& image) {
      long long n = 0;
      for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += IsReddish(image.pixelColor(x, y));
      return n;
    };
    long long counts[2] = {};
    for (bool points : {false, true}) {
      TPaxChart chart;
      chart.resize(500, 320);
      chart.SetView3D(view3d);
      TPaxChartSeries* s = points ? AddPointSeries("measured", chart.Plot()) : AddLineSeries("line", &chart);
      s->Append(0, 0);
      s->Append(10, 10);
      counts[points] = reddish(chart.RenderImage(chart.size()));
    }
    // Two markers (and the legend's) are a few dozen pixels; the line adds a diagonal across the plot.
    EXPECT_GT(counts[1], 20) << view3d;
    EXPECT_LT(counts[1] * 3, counts[0]) << view3d;
  }
}

// A marker series on the right axis is drawn on that axis' scale in 3D as in 2D: its
// value at the middle of the right range stands near the middle of the plot, not at the
// foot of the left axis' much larger range.
TEST(ChartExport, PointSeriesOnTheRightAxisFollowItsScale) {
  TestApp();
  for (bool view3d : {false, true}) {
    TPaxChart chart;
    chart.resize(500, 320);
    chart.SetView3D(view3d);
    chart.Plot().LegendVisible = false;
    TPaxChartSeries* left = AddLineSeries("volume", &chart);
    left->SetColor(Qt::blue);
    left->Append(0, 0);
    left->Append(10, 1000);
    TPaxChartSeries* right = AddPointSeries("feed", chart.Plot());
    right->SetColor(Qt::red);
    right->SetRightAxis(true);
    for (double x : {2.0, 5.0, 8.0}) right->Append(x, 5);
    right->Append(9, 0);
    right->Append(9.5, 10);
    const QImage image = chart.RenderImage(chart.size());
    // The markers of value 5, left of x = 9: their mean height.
    long long n = 0;
    double sumY = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width() * 3 / 4; ++x)
        if (IsReddish(image.pixelColor(x, y))) {
          ++n;
          sumY += y;
        }
    ASSERT_GT(n, 20) << view3d;
    EXPECT_NEAR(sumY / static_cast<double>(n) / image.height(), 0.5, 0.15) << view3d;
  }
}

}  // namespace
