#pragma once
// What the tests of the pages with long-running workers (sweep, fit) share.
#include <QDeadlineTimer>
#include <QLatin1Char>
#include <QString>
#include <QTest>

inline QString TestOutput(const QString& file) {
  return QStringLiteral(ZYMRA_TEST_OUTPUT_DIR) + QLatin1Char('/') + file;
}

// Lets the event loop run (the page's timer) until `done` holds or ms have passed.
template <class F>
bool WaitFor(F done, int ms = 60000) {
  QDeadlineTimer deadline(ms);
  while (!done() && !deadline.hasExpired()) QTest::qWait(5);
  return done();
}
