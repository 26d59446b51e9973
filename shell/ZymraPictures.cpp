#include "ZymraPictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSvgRenderer>

#include <cmath>
#include <functional>

// Resources of a static library are only linked in when something refers to them.
static void InitPictureResources() { Q_INIT_RESOURCE(zymra_pictures); }

namespace {

// Every small image is drawn on a 16 x 16 grid and scaled to the size asked for.
using TDraw = std::function<void(QPainter&)>;

QPixmap Render(int size, const TDraw& draw) {
  if (size <= 0) return {};
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.scale(size / 16.0, size / 16.0);
  draw(p);
  p.end();
  return pixmap;
}

QIcon IconOf(const std::function<QPixmap(int)>& pixmapOf) {
  QIcon icon;
  for (int size : {16, 24, 32, 48}) icon.addPixmap(pixmapOf(size));
  return icon;
}

QPen Pen(const QColor& color, double width = 1.0) {
  QPen pen(color, width);
  pen.setJoinStyle(Qt::RoundJoin);
  pen.setCapStyle(Qt::RoundCap);
  return pen;
}

QLinearGradient Vertical(double y1, double y2, const QColor& top, const QColor& bottom) {
  QLinearGradient g(0, y1, 0, y2);
  g.setColorAt(0, top);
  g.setColorAt(1, bottom);
  return g;
}

// Palette shared by the images.
const QColor Outline(58, 64, 72);
const QColor Paper(252, 252, 248);
const QColor Amber(240, 176, 48);
const QColor AmberDark(176, 112, 16);
const QColor Go(46, 160, 67);
const QColor GoDark(24, 110, 40);
const QColor Stop(200, 48, 40);
const QColor StopDark(140, 24, 20);
const QColor Blue(44, 110, 190);
const QColor BlueDark(24, 70, 130);
const QColor Teal(20, 128, 140);
const QColor Broth(250, 200, 60);
const QColor BrothDark(214, 132, 20);

// A round badge in the lower right corner with a plus, a minus or an equals sign.
void Badge(QPainter& p, const QColor& fill, const QColor& edge, QChar sign) {
  p.setPen(Pen(edge, 0.8));
  p.setBrush(fill);
  p.drawEllipse(QRectF(8.6, 8.6, 6.8, 6.8));
  p.setPen(Pen(Qt::white, 1.3));
  const QPointF c(12.0, 12.0);
  if (sign == u'+' || sign == u'-') p.drawLine(QPointF(c.x() - 1.9, c.y()), QPointF(c.x() + 1.9, c.y()));
  if (sign == u'+') p.drawLine(QPointF(c.x(), c.y() - 1.9), QPointF(c.x(), c.y() + 1.9));
  if (sign == u'=') {
    p.setPen(Pen(Qt::white, 1.1));
    p.drawLine(QPointF(c.x() - 1.8, c.y() - 1.0), QPointF(c.x() + 1.8, c.y() - 1.0));
    p.drawLine(QPointF(c.x() - 1.8, c.y() + 1.0), QPointF(c.x() + 1.8, c.y() + 1.0));
  }
}

// A small culture flask: the run. Liquid level from 0 (empty) to 1 (full).
void Flask(QPainter& p, const QColor& liquidTop, const QColor& liquidBottom, double level = 0.55,
           double dx = 0) {
  QPainterPath body;
  body.moveTo(dx + 5.5, 1.5);
  body.lineTo(dx + 5.5, 5.5);
  body.lineTo(dx + 1.8, 12.6);
  body.quadTo(dx + 1.2, 14.5, dx + 3.2, 14.5);
  body.lineTo(dx + 11.8, 14.5);
  body.quadTo(dx + 13.8, 14.5, dx + 13.2, 12.6);
  body.lineTo(dx + 9.5, 5.5);
  body.lineTo(dx + 9.5, 1.5);
  body.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(235, 244, 250));
  p.drawPath(body);
  const double top = 14.5 - level * 9.0;
  QPainterPath liquid;
  liquid.addRect(QRectF(0, top, 16, 16));
  p.setBrush(Vertical(top, 14.5, liquidTop, liquidBottom));
  p.drawPath(body.intersected(liquid));
  p.setPen(Pen(Outline, 0.9));
  p.setBrush(Qt::NoBrush);
  p.drawPath(body);
  p.drawLine(QPointF(dx + 4.6, 1.5), QPointF(dx + 10.4, 1.5));
}

void DrawNew(QPainter& p) {
  QPainterPath page;
  page.moveTo(3.5, 1.5);
  page.lineTo(9.5, 1.5);
  page.lineTo(13.5, 5.5);
  page.lineTo(13.5, 14.5);
  page.lineTo(3.5, 14.5);
  page.closeSubpath();
  p.setPen(Pen(Outline, 0.9));
  p.setBrush(Vertical(1.5, 14.5, Qt::white, QColor(226, 232, 240)));
  p.drawPath(page);
  QPainterPath fold;
  fold.moveTo(9.5, 1.5);
  fold.lineTo(9.5, 5.5);
  fold.lineTo(13.5, 5.5);
  p.setBrush(QColor(210, 218, 228));
  p.drawPath(fold);
  // A spark: the page is fresh.
  p.setPen(Pen(Amber, 1.2));
  const QPointF c(4.0, 4.0);
  p.drawLine(QPointF(c.x() - 2.4, c.y()), QPointF(c.x() + 2.4, c.y()));
  p.drawLine(QPointF(c.x(), c.y() - 2.4), QPointF(c.x(), c.y() + 2.4));
  p.setPen(Pen(Amber, 0.8));
  p.drawLine(QPointF(c.x() - 1.5, c.y() - 1.5), QPointF(c.x() + 1.5, c.y() + 1.5));
  p.drawLine(QPointF(c.x() - 1.5, c.y() + 1.5), QPointF(c.x() + 1.5, c.y() - 1.5));
}

void DrawFolder(QPainter& p, bool open) {
  QPainterPath back;
  back.moveTo(1.5, 3.5);
  back.lineTo(6.0, 3.5);
  back.lineTo(7.5, 5.0);
  back.lineTo(14.5, 5.0);
  back.lineTo(14.5, 13.5);
  back.lineTo(1.5, 13.5);
  back.closeSubpath();
  p.setPen(Pen(AmberDark, 0.9));
  p.setBrush(Vertical(3.5, 13.5, QColor(246, 200, 92), QColor(226, 160, 40)));
  p.drawPath(back);
  QPainterPath front;
  if (open) {
    p.setPen(Qt::NoPen);
    p.setBrush(Paper);
    p.drawRect(QRectF(3.0, 6.0, 10.0, 5.0));
    front.moveTo(1.5, 13.5);
    front.lineTo(3.8, 7.5);
    front.lineTo(15.3, 7.5);
    front.lineTo(13.0, 13.5);
  } else {
    front.moveTo(1.5, 13.5);
    front.lineTo(1.5, 6.8);
    front.lineTo(14.5, 6.8);
    front.lineTo(14.5, 13.5);
  }
  front.closeSubpath();
  p.setPen(Pen(AmberDark, 0.9));
  p.setBrush(Vertical(6.8, 13.5, QColor(255, 222, 128), QColor(242, 180, 56)));
  p.drawPath(front);
}

void DrawSave(QPainter& p) {
  QPainterPath disk;
  disk.moveTo(1.5, 1.5);
  disk.lineTo(12.5, 1.5);
  disk.lineTo(14.5, 3.5);
  disk.lineTo(14.5, 14.5);
  disk.lineTo(1.5, 14.5);
  disk.closeSubpath();
  p.setPen(Pen(BlueDark, 0.9));
  p.setBrush(Vertical(1.5, 14.5, QColor(76, 140, 214), Blue));
  p.drawPath(disk);
  // Label at the top, shutter at the bottom.
  p.setPen(Pen(QColor(160, 176, 196), 0.6));
  p.setBrush(Paper);
  p.drawRect(QRectF(4.0, 1.5, 8.0, 5.5));
  p.setPen(Pen(QColor(140, 160, 190), 0.6));
  p.drawLine(QPointF(5.2, 3.4), QPointF(10.8, 3.4));
  p.drawLine(QPointF(5.2, 5.0), QPointF(10.8, 5.0));
  p.setPen(Pen(QColor(110, 120, 130), 0.6));
  p.setBrush(QColor(206, 212, 218));
  p.drawRect(QRectF(4.5, 9.5, 7.0, 5.0));
  p.setPen(Qt::NoPen);
  p.setBrush(BlueDark);
  p.drawRect(QRectF(9.0, 10.5, 1.5, 3.0));
}

void DrawRoundSign(QPainter& p, const QColor& top, const QColor& bottom, const QColor& edge,
                   const QString& sign) {
  p.setPen(Pen(edge, 0.9));
  p.setBrush(Vertical(1, 15, top, bottom));
  p.drawEllipse(QRectF(1.5, 1.5, 13.0, 13.0));
  QFont font(QStringLiteral("DejaVu Serif"));
  font.setBold(true);
  font.setPixelSize(11);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(1.5, 1.8, 13.0, 13.0), Qt::AlignCenter, sign);
}

void DrawInfo(QPainter& p) {
  DrawRoundSign(p, QColor(90, 156, 232), Blue, BlueDark, QStringLiteral("i"));
}

void DrawHelp(QPainter& p) {
  // A closed book with a question mark on its cover.
  QPainterPath cover;
  cover.addRoundedRect(QRectF(2.5, 1.5, 11.0, 13.0), 1.2, 1.2);
  p.setPen(Pen(GoDark, 0.9));
  p.setBrush(Vertical(1.5, 14.5, QColor(84, 190, 110), Go));
  p.drawPath(cover);
  p.setPen(Qt::NoPen);
  p.setBrush(Paper);
  p.drawRect(QRectF(3.6, 12.2, 9.3, 1.6));
  p.setPen(Pen(GoDark, 0.8));
  p.drawLine(QPointF(4.6, 1.8), QPointF(4.6, 12.0));
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setBold(true);
  font.setPixelSize(10);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(4.6, 1.2, 9.0, 11.0), Qt::AlignCenter, QStringLiteral("?"));
}

void DrawStart(QPainter& p) {
  QPainterPath play;
  play.moveTo(4.0, 2.0);
  play.lineTo(14.0, 8.0);
  play.lineTo(4.0, 14.0);
  play.closeSubpath();
  p.setPen(Pen(GoDark, 1.0));
  p.setBrush(Vertical(2, 14, QColor(96, 206, 112), Go));
  p.drawPath(play);
}

void DrawPause(QPainter& p) {
  p.setPen(Pen(BlueDark, 0.9));
  p.setBrush(Vertical(2, 14, QColor(104, 160, 230), Blue));
  p.drawRoundedRect(QRectF(3.0, 2.5, 3.8, 11.0), 0.8, 0.8);
  p.drawRoundedRect(QRectF(9.2, 2.5, 3.8, 11.0), 0.8, 0.8);
}

void DrawFinish(QPainter& p) {
  p.setPen(Pen(StopDark, 0.9));
  p.setBrush(Vertical(2.5, 13.5, QColor(232, 92, 80), Stop));
  p.drawRoundedRect(QRectF(2.5, 2.5, 11.0, 11.0), 1.5, 1.5);
}

void DrawReset(QPainter& p) {
  // Three quarters of a circle with its arrow head, turning back.
  p.setPen(Pen(Teal, 2.0));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(3.0, 3.0, 10.0, 10.0), 100 * 16, 270 * 16);
  QPainterPath head;
  head.moveTo(1.2, 3.0);
  head.lineTo(7.6, 0.8);
  head.lineTo(6.4, 6.6);
  head.closeSubpath();
  p.setPen(Pen(Teal, 0.6));
  p.setBrush(Teal);
  p.drawPath(head);
}

void DrawRun(QPainter& p, QChar sign) {
  Flask(p, QColor(255, 224, 110), BrothDark, 0.55, -1.5);
  if (sign == u'+')
    Badge(p, Go, GoDark, sign);
  else
    Badge(p, Stop, StopDark, sign);
}

void DrawEquatesSettings(QPainter& p) {
  // Three sliders: the run's settings.
  p.setPen(Pen(QColor(110, 118, 128), 1.1));
  for (double y : {3.0, 7.0, 11.0}) p.drawLine(QPointF(1.5, y), QPointF(13.5, y));
  p.setPen(Pen(BlueDark, 0.8));
  p.setBrush(QColor(120, 170, 230));
  p.drawRoundedRect(QRectF(8.0, 1.2, 2.6, 3.6), 0.6, 0.6);
  p.drawRoundedRect(QRectF(3.0, 5.2, 2.6, 3.6), 0.6, 0.6);
  p.drawRoundedRect(QRectF(5.6, 9.2, 2.6, 3.6), 0.6, 0.6);
  Badge(p, QColor(232, 132, 30), QColor(170, 84, 10), u'=');
}

void DrawEquatesCharts(QPainter& p) {
  p.setPen(Pen(Outline, 0.9));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(1.5, 1.5, 12.0, 11.0));
  QPainterPath curve;
  curve.moveTo(2.5, 11.0);
  curve.cubicTo(7.0, 10.5, 9.5, 8.0, 12.5, 2.8);
  p.setPen(Pen(Stop, 1.2));
  p.setBrush(Qt::NoBrush);
  p.drawPath(curve);
  p.setPen(Pen(Blue, 1.0));
  p.drawPolyline(QPolygonF({QPointF(2.5, 7.0), QPointF(5.5, 5.5), QPointF(8.5, 6.5), QPointF(12.5, 5.0)}));
  Badge(p, QColor(232, 132, 30), QColor(170, 84, 10), u'=');
}

void DrawFullScreen(QPainter& p) {
  p.setPen(Pen(Outline, 0.9));
  p.setBrush(Vertical(3.5, 12.5, QColor(200, 226, 250), QColor(140, 186, 236)));
  p.drawRect(QRectF(3.5, 3.5, 9.0, 9.0));
  // Arrows out of the four corners.
  p.setPen(Pen(BlueDark, 1.2));
  auto corner = [&p](QPointF tip, double sx, double sy) {
    p.drawLine(tip, QPointF(tip.x() + 3.0 * sx, tip.y()));
    p.drawLine(tip, QPointF(tip.x(), tip.y() + 3.0 * sy));
  };
  corner(QPointF(1.0, 1.0), 1, 1);
  corner(QPointF(15.0, 1.0), -1, 1);
  corner(QPointF(1.0, 15.0), 1, -1);
  corner(QPointF(15.0, 15.0), -1, -1);
}

// Tree: a bioreactor vessel whose broth and badge tell the run state.
void Vessel(QPainter& p, const QColor& top, const QColor& bottom, double level, bool selected) {
  if (selected) {
    QRadialGradient glow(QPointF(7.0, 8.5), 8.0);
    glow.setColorAt(0, QColor(255, 236, 150, 230));
    glow.setColorAt(1, QColor(255, 236, 150, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(QRectF(-1, 0, 16, 16));
  }
  QPainterPath body;
  body.moveTo(2.5, 3.5);
  body.lineTo(2.5, 11.0);
  body.quadTo(2.5, 14.5, 6.0, 14.5);
  body.lineTo(8.0, 14.5);
  body.quadTo(11.5, 14.5, 11.5, 11.0);
  body.lineTo(11.5, 3.5);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(236, 244, 250));
  p.drawPath(body);
  const double surface = 14.5 - level * 10.0;
  QPainterPath liquid;
  liquid.addRect(QRectF(0, surface, 16, 16));
  p.setBrush(Vertical(surface, 14.5, top, bottom));
  p.drawPath(body.intersected(liquid));
  p.setPen(Pen(selected ? QColor(20, 40, 80) : Outline, selected ? 1.1 : 0.9));
  p.setBrush(Qt::NoBrush);
  p.drawPath(body);
  p.setPen(Pen(selected ? QColor(20, 40, 80) : Outline, 1.0));
  p.drawLine(QPointF(1.5, 3.0), QPointF(12.5, 3.0));
  p.drawLine(QPointF(7.0, 0.8), QPointF(7.0, 11.0));
  p.drawLine(QPointF(5.2, 11.0), QPointF(8.8, 11.0));
}

void StateBadge(QPainter& p, int state) {
  const QRectF r(9.0, 9.0, 6.6, 6.6);
  switch (state) {
    case 0: {  // prepared: a pencil, the values may still change
      QPainterPath pencil;
      pencil.moveTo(9.4, 15.4);
      pencil.lineTo(10.0, 13.2);
      pencil.lineTo(14.0, 9.2);
      pencil.lineTo(15.6, 10.8);
      pencil.lineTo(11.6, 14.8);
      pencil.closeSubpath();
      p.setPen(Pen(QColor(90, 70, 30), 0.6));
      p.setBrush(Amber);
      p.drawPath(pencil);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(60, 60, 60));
      p.drawPolygon(QPolygonF({QPointF(9.4, 15.4), QPointF(9.8, 13.9), QPointF(10.9, 15.0)}));
      break;
    }
    case 1: {  // running
      p.setPen(Pen(GoDark, 0.7));
      p.setBrush(Go);
      p.drawEllipse(r);
      QPainterPath play;
      play.moveTo(11.3, 10.4);
      play.lineTo(14.2, 12.3);
      play.lineTo(11.3, 14.2);
      play.closeSubpath();
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      p.drawPath(play);
      break;
    }
    case 2:  // paused
      p.setPen(Pen(AmberDark, 0.7));
      p.setBrush(Amber);
      p.drawEllipse(r);
      p.setPen(Pen(Qt::white, 1.1));
      p.drawLine(QPointF(11.4, 10.7), QPointF(11.4, 13.9));
      p.drawLine(QPointF(13.2, 10.7), QPointF(13.2, 13.9));
      break;
    case 3:  // finished
      p.setPen(Pen(BlueDark, 0.7));
      p.setBrush(Blue);
      p.drawEllipse(r);
      p.setPen(Pen(Qt::white, 1.2));
      p.drawPolyline(QPolygonF({QPointF(10.6, 12.4), QPointF(11.9, 13.7), QPointF(14.0, 10.9)}));
      break;
  }
}

void DrawRunState(QPainter& p, int state, bool selected) {
  switch (state) {
    case 0: Vessel(p, QColor(230, 236, 214), QColor(200, 210, 180), 0.35, selected); break;
    case 1: Vessel(p, QColor(255, 220, 90), BrothDark, 0.6, selected); break;
    case 2: Vessel(p, QColor(250, 208, 96), QColor(200, 140, 40), 0.6, selected); break;
    default: Vessel(p, QColor(190, 150, 40), QColor(120, 80, 10), 0.8, selected); break;
  }
  StateBadge(p, state);
}

TDraw ToolDrawing(int index) {
  switch (index) {
    case tiNew: return DrawNew;
    case tiOpen: return [](QPainter& p) { DrawFolder(p, true); };
    case tiSave: return DrawSave;
    case tiInfo: return DrawInfo;
    case tiRemoveRun: return [](QPainter& p) { DrawRun(p, u'-'); };
    case tiAddRun: return [](QPainter& p) { DrawRun(p, u'+'); };
    case tiPause: return DrawPause;
    case tiStart: return DrawStart;
    case tiFinish: return DrawFinish;
    case tiReset: return DrawReset;
    case tiEquatesSettings: return DrawEquatesSettings;
    case tiEquatesCharts: return DrawEquatesCharts;
    case tiFullScreen: return DrawFullScreen;
    case tiHelp: return DrawHelp;
    default: return {};
  }
}

TDraw TreeDrawing(int index) {
  if (index >= 0 && index < 8) return [index](QPainter& p) { DrawRunState(p, index / 2, index % 2 == 1); };
  if (index == niRoot)
    return [](QPainter& p) { p.drawPixmap(QRectF(0, 0, 16, 16), ZymraEmblem(64), QRectF(0, 0, 64, 64)); };
  if (index == niGroup) return [](QPainter& p) { DrawFolder(p, false); };
  return {};
}

// ---- welcome picture -------------------------------------------------------

void WelcomeCurve(QPainter& p) {
  // A faint exponential growth curve on a grid behind the vessel.
  const QRectF area(18, 22, 352, 230);
  p.setPen(Pen(QColor(20, 128, 140, 40), 1.0));
  for (int i = 0; i <= 8; ++i) {
    const double x = area.left() + i * area.width() / 8;
    p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
  }
  for (int i = 0; i <= 5; ++i) {
    const double y = area.top() + i * area.height() / 5;
    p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
  }
  QPainterPath curve;
  for (int i = 0; i <= 100; ++i) {
    const double s = i / 100.0;
    const double x = area.left() + s * area.width();
    const double y = area.bottom() - (std::exp(3.2 * s) - 1) / (std::exp(3.2) - 1) * area.height();
    if (i == 0) curve.moveTo(x, y); else curve.lineTo(x, y);
  }
  p.setPen(Pen(QColor(214, 132, 20, 110), 3.0));
  p.setBrush(Qt::NoBrush);
  p.drawPath(curve);
  for (int i = 1; i <= 9; ++i) {
    const double s = i / 10.0;
    const double x = area.left() + s * area.width();
    const double y = area.bottom() - (std::exp(3.2 * s) - 1) / (std::exp(3.2) - 1) * area.height();
    p.setPen(Pen(QColor(214, 132, 20, 140), 1.2));
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawEllipse(QPointF(x, y), 3.2, 3.2);
  }
}

void WelcomeFeed(QPainter& p) {
  // Feed bottle on the right; its line runs through a peristaltic pump below it
  // and up into the vessel's lid.
  const QRectF bottle(298, 104, 60, 112);
  QPainterPath glass;
  glass.addRoundedRect(bottle, 10, 10);
  glass.addRoundedRect(QRectF(316, 88, 24, 20), 4, 4);
  glass.setFillRule(Qt::WindingFill);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(240, 246, 250, 230));
  p.drawPath(glass);
  QPainterPath liquid;
  liquid.addRect(QRectF(bottle.left(), 136, bottle.width(), 100));
  QLinearGradient feed(0, 136, 0, 216);
  feed.setColorAt(0, QColor(170, 226, 180));
  feed.setColorAt(1, QColor(96, 180, 120));
  p.setBrush(feed);
  p.drawPath(glass.intersected(liquid));
  p.setPen(Pen(QColor(70, 90, 100), 2.0));
  p.setBrush(Qt::NoBrush);
  p.drawPath(glass.simplified());
  p.setPen(Pen(QColor(70, 90, 100, 120), 1.0));
  for (double y = 152; y <= 200; y += 16) p.drawLine(QPointF(304, y), QPointF(316, y));

  // Pump housing and rotor with its rollers.
  const QPointF pump(328, 292);
  p.setPen(Pen(QColor(50, 60, 70), 2.0));
  QLinearGradient housing(0, pump.y() - 28, 0, pump.y() + 28);
  housing.setColorAt(0, QColor(96, 110, 124));
  housing.setColorAt(1, QColor(52, 62, 74));
  p.setBrush(housing);
  p.drawRoundedRect(QRectF(pump.x() - 34, pump.y() - 26, 68, 52), 8, 8);
  p.setBrush(QColor(220, 226, 232));
  p.drawEllipse(pump, 16, 16);
  for (int k = 0; k < 3; ++k) {
    const double a = k * 2.0944 + 0.4;
    const QPointF roller(pump.x() + 10 * std::cos(a), pump.y() + 10 * std::sin(a));
    p.setBrush(QColor(120, 132, 144));
    p.drawEllipse(roller, 4.5, 4.5);
  }
  p.setBrush(QColor(40, 48, 56));
  p.drawEllipse(pump, 3, 3);

  // The line: out of the bottle, half round the rotor, up and into the lid.
  QPainterPath tube;
  tube.moveTo(348, 216);
  tube.lineTo(348, 292);
  tube.arcTo(QRectF(308, 272, 40, 40), 0, -180);
  tube.lineTo(308, 268);
  tube.quadTo(308, 252, 290, 246);
  tube.lineTo(290, 96);
  tube.quadTo(290, 84, 278, 84);
  tube.lineTo(262, 84);
  tube.quadTo(250, 84, 250, 96);
  tube.lineTo(250, 104);
  p.setPen(Pen(QColor(60, 150, 90), 5.0));
  p.setBrush(Qt::NoBrush);
  p.drawPath(tube);
  p.setPen(Pen(QColor(200, 240, 210), 1.6));
  p.drawPath(tube);
}

void WelcomeVessel(QPainter& p) {
  const double left = 96, right = 266, top = 128, bottom = 318;
  const double radius = 52;
  QPainterPath body;
  body.moveTo(left, top);
  body.lineTo(left, bottom - radius);
  body.quadTo(left, bottom, left + radius, bottom);
  body.lineTo(right - radius, bottom);
  body.quadTo(right, bottom, right, bottom - radius);
  body.lineTo(right, top);

  // Glass.
  QLinearGradient glass(left, 0, right, 0);
  glass.setColorAt(0, QColor(214, 232, 244, 235));
  glass.setColorAt(0.35, QColor(246, 251, 255, 235));
  glass.setColorAt(1, QColor(200, 222, 238, 235));
  p.setPen(Qt::NoPen);
  p.setBrush(glass);
  p.drawPath(body);

  // Broth with a wavy surface.
  const double surface = 176;
  QPainterPath wave;
  wave.moveTo(0, surface);
  for (double x = 0; x <= 389; x += 4) wave.lineTo(x, surface + 3.0 * std::sin(x / 14.0));
  wave.lineTo(389, 349);
  wave.lineTo(0, 349);
  wave.closeSubpath();
  QLinearGradient broth(0, surface, 0, bottom);
  broth.setColorAt(0, QColor(255, 220, 90));
  broth.setColorAt(0.6, QColor(238, 170, 40));
  broth.setColorAt(1, QColor(196, 116, 16));
  p.setBrush(broth);
  const QPainterPath liquid = body.intersected(wave);
  p.drawPath(liquid);

  // Cells: small dark dots in the broth.
  p.setBrush(QColor(150, 92, 10, 120));
  for (int i = 0; i < 60; ++i) {
    const double x = left + 14 + std::fmod(i * 37.3, right - left - 28);
    const double y = surface + 14 + std::fmod(i * 53.7, bottom - surface - 36);
    if (liquid.contains(QPointF(x, y))) p.drawEllipse(QPointF(x, y), 1.6, 1.6);
  }

  // Sparger and rising air bubbles.
  p.setPen(Pen(QColor(90, 100, 110), 3.0));
  p.drawLine(QPointF(140, 300), QPointF(222, 300));
  p.setPen(Pen(QColor(255, 255, 255, 220), 1.4));
  p.setBrush(QColor(255, 250, 220, 150));
  const QPointF bubbles[] = {{150, 286}, {166, 262}, {146, 236}, {160, 208}, {202, 290},
                             {214, 262}, {198, 238}, {220, 214}, {182, 280}, {188, 196},
                             {132, 270}, {232, 244}};
  double r = 3.0;
  for (const QPointF& b : bubbles) {
    p.drawEllipse(b, r, r);
    r = r >= 6.0 ? 3.0 : r + 0.7;
  }

  // Stirrer: shaft and two Rushton-style impellers.
  p.setPen(Pen(QColor(80, 90, 100), 1.2));
  QLinearGradient steel(0, 0, 1, 0);
  steel.setCoordinateMode(QGradient::ObjectMode);
  steel.setColorAt(0, QColor(150, 160, 170));
  steel.setColorAt(0.5, QColor(236, 240, 244));
  steel.setColorAt(1, QColor(130, 140, 150));
  p.setBrush(steel);
  p.drawRect(QRectF(176, 96, 10, 196));
  for (double y : {214.0, 270.0}) {
    p.drawRect(QRectF(150, y - 3, 62, 6));
    p.drawRect(QRectF(152, y - 9, 8, 18));
    p.drawRect(QRectF(202, y - 9, 8, 18));
  }

  // Baffles and a reflection on the glass.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 120));
  p.drawRoundedRect(QRectF(left + 10, top + 12, 8, 150), 4, 4);
  p.setBrush(QColor(110, 124, 138, 90));
  p.drawRect(QRectF(right - 16, top + 20, 5, 130));

  // Glass outline.
  p.setPen(Pen(QColor(50, 70, 84), 3.0));
  p.setBrush(Qt::NoBrush);
  p.drawPath(body);

  // Scale on the left.
  p.setPen(Pen(QColor(50, 70, 84, 160), 1.2));
  for (int i = 0; i < 6; ++i) {
    const double y = 290 - i * 24;
    p.drawLine(QPointF(left + 2, y), QPointF(left + (i % 2 ? 10 : 16), y));
  }

  // Lid, ports and motor.
  QLinearGradient lid(0, top - 14, 0, top + 2);
  lid.setColorAt(0, QColor(224, 230, 236));
  lid.setColorAt(1, QColor(150, 162, 174));
  p.setPen(Pen(QColor(50, 70, 84), 2.0));
  p.setBrush(lid);
  p.drawRoundedRect(QRectF(left - 14, top - 14, right - left + 28, 16), 4, 4);
  p.setBrush(QColor(170, 182, 194));
  p.drawRect(QRectF(243, top - 24, 14, 10));
  p.drawRect(QRectF(108, top - 24, 12, 10));
  QLinearGradient motor(0, 0, 0, 1);
  motor.setCoordinateMode(QGradient::ObjectMode);
  motor.setColorAt(0, QColor(70, 84, 98));
  motor.setColorAt(1, QColor(36, 44, 54));
  p.setBrush(motor);
  p.drawRoundedRect(QRectF(156, 52, 50, 48), 6, 6);
  p.setPen(Pen(QColor(120, 136, 150), 1.2));
  for (double y = 62; y <= 90; y += 7) p.drawLine(QPointF(162, y), QPointF(200, y));

  // Exhaust gas line on the left with a small filter.
  p.setPen(Pen(QColor(90, 100, 110), 4.0));
  p.drawLine(QPointF(114, top - 24), QPointF(114, 78));
  p.drawLine(QPointF(114, 78), QPointF(80, 78));
  p.setPen(Pen(QColor(50, 70, 84), 1.6));
  p.setBrush(QColor(250, 250, 250));
  p.drawRoundedRect(QRectF(56, 66, 26, 24), 5, 5);
  p.setPen(Pen(QColor(20, 128, 140), 1.2));
  for (double x = 62; x <= 76; x += 4) p.drawLine(QPointF(x, 70), QPointF(x, 86));

  // Stand.
  p.setPen(Pen(QColor(50, 60, 70), 2.0));
  p.setBrush(QColor(96, 108, 120));
  p.drawRoundedRect(QRectF(70, 322, 222, 14), 4, 4);
}

}  // namespace

QPixmap ZymraToolPixmap(int index, int size) {
  const TDraw draw = ToolDrawing(index);
  return draw ? Render(size, draw) : QPixmap();
}

QIcon ZymraToolIcon(int index) {
  if (!ToolDrawing(index)) return {};
  return IconOf([index](int size) { return ZymraToolPixmap(index, size); });
}

QPixmap ZymraTreePixmap(int index, int size) {
  const TDraw draw = TreeDrawing(index);
  return draw ? Render(size, draw) : QPixmap();
}

QIcon ZymraTreeImage(int index) {
  if (!TreeDrawing(index)) return {};
  return IconOf([index](int size) { return ZymraTreePixmap(index, size); });
}

QPixmap ZymraWelcomePicture() {
  QPixmap pixmap(ZymraWelcomeWidth, ZymraWelcomeHeight);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  WelcomeCurve(p);
  WelcomeFeed(p);
  WelcomeVessel(p);
  p.end();
  return pixmap;
}

QPixmap ZymraEmblem(int size) {
  InitPictureResources();
  if (size <= 0) return {};
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QSvgRenderer svg(QStringLiteral(":/zymra/zymra.svg"));
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  svg.render(&p, QRectF(0, 0, size, size));
  p.end();
  return pixmap;
}

QIcon ZymraProgramIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(ZymraEmblem(size));
  return icon;
}

QPixmap ZymraLogo() {
  QPixmap pixmap(ZymraLogoWidth, ZymraLogoHeight);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.drawPixmap(2, 2, ZymraEmblem(52));
  QFont name(QStringLiteral("DejaVu Sans"));
  name.setPixelSize(30);
  name.setBold(true);
  name.setLetterSpacing(QFont::AbsoluteSpacing, 1);
  p.setFont(name);
  p.setPen(QColor(11, 79, 92));
  p.drawText(QRectF(62, 0, 178, 36), Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("Zymra"));
  QFont sub(QStringLiteral("DejaVu Sans"));
  sub.setPixelSize(12);
  p.setFont(sub);
  p.setPen(QColor(214, 132, 20));
  p.drawText(QRectF(63, 37, 177, 16), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Fed-Batch Simulation"));
  p.end();
  return pixmap;
}
