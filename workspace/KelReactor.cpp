#include "KelReactor.h"

#include "KelCmpStandard.h"

#include <QContextMenuEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QMenu>
#include <QPainter>
#include <QPalette>

#include <climits>
#include <cmath>
#include <vector>

// Resources of a static library are only linked in when something refers to them.
static void InitWorkspaceResources() { Q_INIT_RESOURCE(zymra_workspace); }

namespace {

// Nearest integer, halves to even; values beyond int range are pinned to it.
int RoundEven(double x) {
  if (std::isnan(x)) return 0;
  const double r = std::nearbyint(x);
  if (r >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (r <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(r);
}

struct TTick {
  int Y;
  QString Label;
};

// A runaway axis (tiny or non-positive step) must not hang the painting.
constexpr int MaxTicks = 10000;

}  // namespace

TPaxReactor::TPaxReactor(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  FAxisDecSep = TPaxDecimalEdit::SystemDecimalSeparator();
  FBgrColor = palette().color(QPalette::Button);
  resize(100, 100);
}

QImage TPaxReactor::VesselPicture() {
  InitWorkspaceResources();
  return QImage(QStringLiteral(":/zymra/vessel.png"));
}

void TPaxReactor::ApplyVesselLayout() {
  SetBitmap(VesselPicture());
  SetBitmapIndent(70);
  SetAxisX(6);
  SetAxisMax(50);
  SetAxisStep(10);
  SetAxisDecimals(1);
  SetAxisDecSep(',');
  SetAxisDash(5);
  SetAxisName(QStringLiteral("[Liter]"));
  SetVolume(2);
  SetDensity(QColor(128, 128, 128));
  SetRectX1(7);
  SetRectY1(53);
  SetRectX2(107);
  SetRectY2(171);
  SetShowAxis(true);
}

void TPaxReactor::Changed() { update(); }

void TPaxReactor::SetBitmap(const QImage& picture) {
  FBitmap = picture.copy();
  // Pixels of the bottom-left pixel's colour let the background through; worked
  // out once here instead of on every paint.
  FKeyedBitmap = QImage();
  if (!FBitmap.isNull()) {
    FKeyedBitmap = FBitmap.convertToFormat(QImage::Format_ARGB32);
    const QRgb transparent = FKeyedBitmap.pixel(0, FKeyedBitmap.height() - 1);
    for (int y = 0; y < FKeyedBitmap.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(FKeyedBitmap.scanLine(y));
      for (int x = 0; x < FKeyedBitmap.width(); ++x)
        if (line[x] == transparent) line[x] = qRgba(0, 0, 0, 0);
    }
  }
  resize(FBitmap.width(), FBitmap.height());
  Changed();
}

void TPaxReactor::SetBitmapIndent(int value) {
  FBitmapIndent = value;
  resize(FBitmap.isNull() ? value + 100 : FBitmap.width() + value, height());
  Changed();
}

void TPaxReactor::SetAxisX(int value) { FAxisX = value; Changed(); }

void TPaxReactor::SetAxisMax(double value) {
  if (value == FAxisMax || value == 0 || std::isnan(value)) return;
  FAxisMax = value;
  if (FVolume > value) FVolume = value;
  Changed();
}

void TPaxReactor::SetAxisStep(double value) {
  if (value == 0 || std::isnan(value)) return;
  FAxisStep = value;
  Changed();
}

void TPaxReactor::SetAxisDecimals(int value) { FAxisDecimals = value; Changed(); }

void TPaxReactor::SetAxisDecSep(char value) {
  if ((value != '.' && value != ',') || value == FAxisDecSep) return;
  FAxisDecSep = value;
  Changed();
}

void TPaxReactor::SetAxisDash(int value) { FAxisDash = value; Changed(); }
void TPaxReactor::SetAxisName(const QString& value) { FAxisName = value; Changed(); }

void TPaxReactor::SetVolume(double value) {
  if (std::isnan(value)) value = 0;
  if (value > FAxisMax) value = FAxisMax;
  if (value < 0) value = 0;
  FVolume = value;
  Changed();
}

void TPaxReactor::SetDensity(const QColor& value) { FDensity = value; Changed(); }
void TPaxReactor::SetRectX1(int value) { FRectX1 = value; Changed(); }
void TPaxReactor::SetRectY1(int value) { FRectY1 = value; Changed(); }
void TPaxReactor::SetRectX2(int value) { FRectX2 = value; Changed(); }
void TPaxReactor::SetRectY2(int value) { FRectY2 = value; Changed(); }
void TPaxReactor::SetShowAxis(bool value) { FShowAxis = value; Changed(); }
void TPaxReactor::SetBgrColor(const QColor& value) { FBgrColor = value; Changed(); }
void TPaxReactor::SetDesigning(bool value) { FDesigning = value; Changed(); }

void TPaxReactor::SetParentFont(bool value) {
  if (value) {
    setFont(QFont());
    setAttribute(Qt::WA_SetFont, false);
  } else {
    setFont(font());
  }
  Changed();
}

int TPaxReactor::LiquidTop() const {
  const int h = FRectY2 - FRectY1;
  int top = FRectY2 - RoundEven(FVolume / FAxisMax * h);
  if (top < FRectY1) top = FRectY1;
  if (top > FRectY2) top = FRectY2;
  return top;
}

static std::vector<TTick> AxisTicks(double axisMax, double step, int decimals, char decSep,
                                    int rectY1, int rectY2) {
  std::vector<TTick> ticks;
  const int h = rectY2 - rectY1;
  double v = 0;
  while (v <= axisMax && static_cast<int>(ticks.size()) < MaxTicks) {
    QString label = QString::number(v, 'f', decimals > 0 ? decimals : 0);
    const qsizetype dot = label.indexOf(u'.');
    if (dot >= 0) label[dot] = QChar::fromLatin1(decSep);
    ticks.push_back({rectY2 - RoundEven(v / axisMax * h), label});
    if (!(step > 0) || !std::isfinite(step)) break;
    v += step;
  }
  return ticks;
}

QStringList TPaxReactor::AxisLabels() const {
  QStringList labels;
  for (const TTick& tick :
       AxisTicks(FAxisMax, FAxisStep, FAxisDecimals, FAxisDecSep, FRectY1, FRectY2))
    labels << tick.Label;
  return labels;
}

QFont TPaxReactor::TitleFont() const {
  const QFont& base = font();
  QFont title(base.family() == QLatin1String("MS Sans Serif") ? QStringLiteral("Arial")
                                                               : base.family());
  title.setPixelSize(QFontInfo(base).pixelSize());
  title.setWeight(base.bold() ? QFont::Bold : QFont::Normal);
  title.setItalic(base.italic());
  title.setUnderline(base.underline());
  title.setStrikeOut(base.strikeOut());
  title.setStyleHint(QFont::SansSerif);
  return title;
}

QImage TPaxReactor::Render() const {
  if (width() <= 0 || height() <= 0) return QImage();
  QImage image(width(), height(), QImage::Format_RGB32);
  image.fill(FBgrColor);

  {
    QPainter painter(&image);
    painter.translate(FBitmapIndent, 0);
    if (!FKeyedBitmap.isNull()) painter.drawImage(0, 0, FKeyedBitmap);
    const int top = LiquidTop();
    painter.fillRect(QRect(QPoint(FRectX1, top), QPoint(FRectX2, FRectY2)), FDensity);
  }

  // The rounded bottom of the vessel lies below the rectangular region.
  FloodFillSurface(image, QPoint((FRectX1 + FRectX2) / 2 + FBitmapIndent, FRectY2 + 1), FDensity);

  QPainter painter(&image);
  painter.translate(FBitmapIndent, 0);
  if (FShowAxis) {
    painter.setFont(font());
    painter.setPen(QPen(Qt::black, 1, Qt::SolidLine));
    const QFontMetrics metrics(font());
    const int fontHeight = QFontInfo(font()).pixelSize();
    int widest = 0;
    for (const TTick& tick :
         AxisTicks(FAxisMax, FAxisStep, FAxisDecimals, FAxisDecSep, FRectY1, FRectY2)) {
      if (FAxisDash > 0)
        painter.drawLine(FAxisX - FAxisDash, tick.Y, FAxisX - 1, tick.Y);
      painter.setPen(palette().color(QPalette::WindowText));
      const int left = -FBitmapIndent;
      const int right = FAxisX - FAxisDash - 1;
      painter.drawText(QRect(left, tick.Y - fontHeight, right - left, 2 * fontHeight),
                       Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, tick.Label);
      painter.setPen(QPen(Qt::black, 1, Qt::SolidLine));
      const int labelWidth = metrics.horizontalAdvance(tick.Label);
      if (labelWidth > widest) widest = labelWidth;
    }
    const QFont title = TitleFont();
    const QFontMetrics titleMetrics(title);
    const int x = FAxisX - FAxisDash - 1 - widest - 2;
    painter.save();
    painter.setFont(title);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.translate(x, (FRectY1 + FRectY2) / 2);
    painter.rotate(-90);  // reads bottom to top; the text's bottom faces right
    painter.drawText(QPointF(-titleMetrics.horizontalAdvance(FAxisName) / 2.0,
                             -titleMetrics.descent()),
                     FAxisName);
    painter.restore();
  }
  if (FDesigning) {
    const QColor hatch(100, 157, 215);
    painter.setPen(hatch);
    painter.setBrush(QBrush(hatch, Qt::BDiagPattern));
    painter.drawRect(QRect(QPoint(FRectX1, FRectY1), QPoint(FRectX2, FRectY2)));
  }
  return image;
}

void TPaxReactor::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, Render());
}

void TPaxReactor::contextMenuEvent(QContextMenuEvent* event) {
  if (FPopupMenu) {
    FPopupMenu->popup(event->globalPos());
    event->accept();
  } else {
    QWidget::contextMenuEvent(event);
  }
}

void FloodFillSurface(QImage& image, QPoint seed, const QColor& color) {
  if (!image.rect().contains(seed)) return;
  if (image.format() != QImage::Format_RGB32) image = image.convertToFormat(QImage::Format_RGB32);
  const QRgb target = image.pixel(seed);
  const QRgb fill = color.rgb();
  if (target == fill) return;
  const int w = image.width();
  const int h = image.height();
  std::vector<QPoint> stack{seed};
  while (!stack.empty()) {
    const QPoint p = stack.back();
    stack.pop_back();
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(p.y()));
    if (line[p.x()] != target) continue;
    int left = p.x();
    while (left > 0 && line[left - 1] == target) --left;
    int right = p.x();
    while (right + 1 < w && line[right + 1] == target) ++right;
    for (int x = left; x <= right; ++x) line[x] = fill;
    // Seed the rows above and below once per run of matching pixels.
    for (int ny : {p.y() - 1, p.y() + 1}) {
      if (ny < 0 || ny >= h) continue;
      const auto* next = reinterpret_cast<const QRgb*>(image.constScanLine(ny));
      bool inRun = false;
      for (int x = left; x <= right; ++x) {
        if (next[x] == target) {
          if (!inRun) stack.emplace_back(x, ny);
          inRun = true;
        } else {
          inRun = false;
        }
      }
    }
  }
}
