#pragma once
// The strip that heads every run page: the page's name in large bold type and,
// beside it, the shown run's caption in the highlight colour.
#include <QString>

class QLabel;
class QWidget;

struct TPageHeader {
  QWidget* Panel = nullptr;
  QLabel* Title = nullptr;
  QLabel* Caption = nullptr;
};

// A 40-pixel strip in the pages' lavender, parented to parent.
TPageHeader MakePageHeader(const QString& title, QWidget* parent);
