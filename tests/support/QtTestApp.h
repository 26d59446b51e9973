#pragma once
// One QApplication for the whole test program, on the offscreen platform unless
// the caller chose another.
#include <QApplication>
#include <QLocale>
#include <QColor>
#include <QRect>
#include <QSize>
#include <QString>

#include <ostream>

#include <gtest/gtest.h>

class QtTestApp : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "zymra_test";
    static char* argv[] = {name, nullptr};
    FApp = new QApplication(argc, argv);
    // The offscreen platform cannot shape windows; say so once, not per frame.
    static QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
          static bool told = false;
          if (message.contains(QLatin1String("does not support setting window masks"))) {
            if (told) return;
            told = true;
          }
          previous(type, context, message);
        });
    QLocale::setDefault(QLocale::c());
  }
  void TearDown() override { delete FApp; }

 private:
  QApplication* FApp = nullptr;
};

// A copy of a value, for fields of packed records: the test macros bind their
// arguments to references, which a packed field may not be aligned for.
template <class T>
T Copy(T value) {
  return value;
}

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QRect& r, std::ostream* os) {
  *os << "QRect(" << r.x() << ", " << r.y() << ", " << r.width() << ", " << r.height() << ")";
}
inline void PrintTo(const QSize& s, std::ostream* os) { *os << "QSize(" << s.width() << ", " << s.height() << ")"; }
inline void PrintTo(const QColor& c, std::ostream* os) {
  *os << "QColor(" << c.red() << ", " << c.green() << ", " << c.blue() << ")";
}

inline ::testing::Environment* const QtTestAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtTestApp);
