#include "ZymraPageHeader.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QWidget>

TPageHeader MakePageHeader(const QString& title, QWidget* parent) {
  TPageHeader h;
  h.Panel = new QWidget(parent);
  h.Panel->setObjectName(QStringLiteral("PnlHeader"));
  h.Panel->setFixedHeight(40);
  h.Panel->setAutoFillBackground(true);
  QPalette headerPalette = h.Panel->palette();
  headerPalette.setColor(QPalette::Window, QColor(226, 230, 240));
  h.Panel->setPalette(headerPalette);
  h.Title = new QLabel(title, h.Panel);
  QFont headerFont(QStringLiteral("Verdana"));
  headerFont.setPixelSize(19);
  headerFont.setBold(true);
  h.Title->setFont(headerFont);
  h.Caption = new QLabel(h.Panel);
  h.Caption->setObjectName(QStringLiteral("LblCaption"));
  QFont captionFont = h.Caption->font();
  captionFont.setBold(true);
  h.Caption->setFont(captionFont);
  QPalette captionPalette = h.Caption->palette();
  captionPalette.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::Highlight));
  h.Caption->setPalette(captionPalette);
  auto* layout = new QHBoxLayout(h.Panel);
  layout->setContentsMargins(10, 0, 10, 0);
  layout->setSpacing(16);
  layout->addWidget(h.Title);
  layout->addWidget(h.Caption, 1);
  return h;
}
