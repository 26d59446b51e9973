#pragma once
// The one application object of a benchmark program that shows widgets: made at the
// first call, on the offscreen platform unless QT_QPA_PLATFORM names another.
#include <QApplication>

inline QApplication& BenchApp(const char* programName) {
  static QApplication* app = [programName] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static QByteArray name(programName);
    static char* argv[] = {name.data(), nullptr};
    return new QApplication(argc, argv);
  }();
  return *app;
}
