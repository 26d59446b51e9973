#pragma once
// TPaxPlot describes a line chart (series, titles, axes, legend, 2D or 3D view, zoom)
// and paints it with QPainter, so the same code serves the screen, images, SVG, PDF
// and printers. TPaxChart is the widget around it.
#include "PaxChartSeries.h"
#include "PaxValueFormat.h"

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QPainter;

struct TPaxRange {
  double Min = 0, Max = 1;
  double Length() const { return Max - Min; }
  bool operator==(const TPaxRange&) const = default;
};

struct TPaxAxis {
  QString Title;
  QString ValueFormat;       // empty: PaxDefaultValueFormat
  bool MinorTicks = true;
  int MinorTickCount = 3;    // minor ticks between two labelled ticks
  bool Grid = true;
  Qt::PenStyle GridStyle = Qt::SolidLine;
};

// Where things went when the chart was laid out in a rectangle.
struct TPaxPlotLayout {
  QRectF Bounds;             // the whole chart
  QRectF Plot;               // 2D: the plot area; 3D: the area the box is fitted into
  QRectF TitleRect, LegendRect, BottomTitleRect, LeftTitleRect, RightTitleRect;
  TPaxRange X, Y;            // visible data ranges
  std::vector<double> XTicks, YTicks;
  double XStep = 1, YStep = 1;
  // The formats the labels are written in: the axes' own, with the decimals that the
  // chosen steps need added, so that no two labels of an axis are the same.
  QString XFormat, YFormat;
  // The right axis, present while a visible series is on it.
  bool HasRightAxis = false;
  TPaxRange Y2;
  std::vector<double> Y2Ticks;
  double Y2Step = 1;
  QString Y2Format;
  QStringList Legend;        // titles of the series the legend lists, in its order
  // 3D only: box size in plot pixels and the fitted projection.
  bool View3D = false;
  double BoxWidth = 0, BoxHeight = 0, BoxDepth = 0;
  double CosRot = 1, SinRot = 0, CosElev = 1, SinElev = 0, Distance = 0;
  double FitScale = 1;
  QPointF FitOffset;
  std::vector<int> LegendRows;  // entries per legend row

  // Box coordinates (x right 0..BoxWidth, y down 0..BoxHeight, z away 0..BoxDepth) to device.
  QPointF Project(double x, double y, double z) const;
  // Device position to data values on the front face of the plot (the plane z = 0 in 3D).
  bool DeviceToData(const QPointF& device, double& x, double& y) const;
  QPointF DataToDevice(double x, double y) const;  // front face
  QPointF DataToDeviceRight(double x, double y2) const;  // front face, y on the right axis
};

class TPaxPlot {
 public:
  TPaxPlot();
  ~TPaxPlot();
  TPaxPlot(const TPaxPlot&) = delete;
  TPaxPlot& operator=(const TPaxPlot&) = delete;

  // Series are owned by the plot; pointers stay valid until they are removed.
  TPaxChartSeries* AddSeries(const QString& title);
  int SeriesCount() const { return static_cast<int>(FSeries.size()); }
  TPaxChartSeries* Series(int index) const;
  int IndexOf(const TPaxChartSeries* series) const;
  bool RemoveSeries(TPaxChartSeries* series);
  void RemoveAllSeries();  // last first

  QString Title;
  bool TitleVisible = true;
  QFont TitleFont;
  QColor TitleColor = Qt::blue;
  TPaxAxis BottomAxis, LeftAxis;
  TPaxAxis RightAxis;  // shown only while a visible series is on it
  QFont LabelFont, AxisTitleFont, LegendFont;
  bool LegendVisible = true;
  TPaxNumberSeparators Separators;
  QColor BackColor = Qt::white;                    // top of the background gradient
  QColor GradientColor = QColor(240, 240, 240);    // bottom: the button face colour
  QColor BackWallColor = Qt::white;
  QColor GridColor = QColor(208, 208, 208);
  QColor AxisColor = QColor(64, 64, 64);

  // 3D view: rotation about the vertical axis and elevation about the horizontal one,
  // in degrees; 360 (= 0, as which it is kept) is the plain front view. Rotations below 360
  // turn the chart so its left side shows, elevations below 360 show it from above.
  // Both stay within the legible range [MinRotation, 360] and [MinElevation, 360]: beyond
  // it the box turns edge-on and the labels, which stand at the front edges, would lie
  // over the data. Any angle is first taken modulo 360; one on the far side of the front
  // view (up to 180 past it) stops at the front view, one beyond the range at its limit.
  bool View3D() const { return FView3D; }
  void SetView3D(bool on);
  double Rotation() const { return FRotation; }
  void SetRotation(double degrees);
  double Elevation() const { return FElevation; }
  void SetElevation(double degrees);
  bool Orthogonal() const { return FOrthogonal; }
  void SetOrthogonal(bool on);
  int Depth3DPercent = 25;  // box depth in percent of the plot's smaller side, per two series
  bool Walls3D = true;      // the side wall and the floor of the 3D box (the back wall always shows)
  static constexpr double MinRotation = 315;
  static constexpr double MinElevation = 315;
  static double LegibleRotation(double degrees);
  static double LegibleElevation(double degrees);

  // Zoom: an explicit visible range; without it the ranges follow the data.
  bool Zoomed() const { return FZoomed; }
  void SetZoom(const TPaxRange& x, const TPaxRange& y);
  void ClearZoom();
  const TPaxRange& ZoomX() const { return FZoomX; }
  const TPaxRange& ZoomY() const { return FZoomY; }

  // ignoreZoom lays the chart out as if it were not zoomed (the target of an undo).
  TPaxPlotLayout Layout(const QRectF& bounds, bool ignoreZoom = false) const;
  void Paint(QPainter& painter, const QRectF& bounds) const;

  // Called on every change that needs a repaint (appends included).
  std::function<void()> OnChanged;
  void SeriesChanged();

 private:
  void Changed() { if (OnChanged) OnChanged(); }
  void DataRanges(TPaxRange& x, TPaxRange& y, TPaxRange& y2) const;
  void PaintBackground(QPainter& p, const TPaxPlotLayout& l) const;
  void Paint2D(QPainter& p, const TPaxPlotLayout& l) const;
  void Paint3D(QPainter& p, const TPaxPlotLayout& l) const;
  void PaintTexts(QPainter& p, const TPaxPlotLayout& l) const;
  void PaintLegend(QPainter& p, const TPaxPlotLayout& l) const;
  std::vector<TPaxChartSeries*> VisibleSeries() const;

  std::vector<std::unique_ptr<TPaxChartSeries>> FSeries;
  bool FView3D = false;
  double FRotation = 345, FElevation = 345;
  bool FOrthogonal = false;
  bool FZoomed = false;
  TPaxRange FZoomX, FZoomY;
  mutable std::vector<TPaxPixelPoint> FScratch;
};

// Colours given to series in the order they are added.
QColor PaxSeriesColor(int index);
