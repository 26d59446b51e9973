// The desktop program end to end on a virtual display (tests/app/test_desktop_e2e.sh):
// a project of three prepared runs is started, finished and saved by keys; and
// ended by SIGTERM while it runs, then recovered at the next start.
#include "QtTestApp.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "LibZymra.h"
#include "ZymraModel.h"

#include <cstdio>

namespace {

struct TEndToEnd {
  QString Zymra, Cli, Out, Project;
  QString Skip;  // why the test cannot run here
};

// The built programs and a project of three prepared runs at `speed`; a run with
// `smallSteps` and no batch goes for hours at any speed. `finished` finished runs of
// 4000 rows each follow them, for a project of some weight.
TEndToEnd Prepare(const QString& folder, int speed, bool smallSteps = false, int finished = 0) {
  const QString build = QDir(ZYMRA_TEST_OUTPUT_DIR "/../..").absolutePath();
  TEndToEnd e{build + "/app/zymra", build + "/app/zymra-cli", ZYMRA_TEST_OUTPUT_DIR "/" + folder, {}, {}};
  if (!QFileInfo(e.Zymra).isExecutable() || !QFileInfo(e.Cli).isExecutable())
    e.Skip = "build the targets zymra and zymra-cli first";
  else if (QStandardPaths::findExecutable("xvfb-run").isEmpty() || QStandardPaths::findExecutable("xdotool").isEmpty())
    e.Skip = "xvfb-run or xdotool missing";
  if (!e.Skip.isEmpty()) return e;
  QDir().mkpath(e.Out);
  e.Project = e.Out + "/three.zym";
  TZymra three;
  for (int i = 0; i < 3; ++i) {
    TZymra_Run* run = three.AddRun();
    run->Params.Speed = speed;
    run->Params.Uset = 0.1 + 0.05 * i;
    if (smallSteps) {
      run->Params.SimInterval = 0.001;
      run->BatchParams.IsBatch = 0;
    }
  }
  for (int i = 0; i < finished; ++i) {
    TZymra_Run* run = three.AddRun();
    run->Params.SimInterval = 0.001;
    run->Params.TargetOD = 1e9;
    run->BatchParams.IsBatch = 0;
    InitRun(*run);
    double xpr = run->ODrealTheory.Last() * run->Params.DryMassPerOD_Real, xth = xpr;
    while (run->Time.Rows() < 4000) Step(*run, xpr, xth);
    run->Params.State = rsFinished;
  }
  three.Titles.Title.Assign("End to end");
  if (!three.SaveToFile(e.Project.toStdString())) e.Skip = QString::fromStdString(three.LastError);
  return e;
}

// Runs a script with the programs, the project and the output folder; its output.
QString RunScript(const TEndToEnd& e, const char* script, int& exitCode) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start("/bin/sh", {QString(ZYMRA_TEST_SOURCE_DIR "/../app/") + script, e.Zymra, e.Cli, e.Project, e.Out});
  exitCode = process.waitForFinished(90000) ? process.exitCode() : -1;
  return QString::fromLocal8Bit(process.readAll());
}

TEST(DesktopEndToEnd, StartFinishSaveByKeys) {
  const TEndToEnd e = Prepare("desktop_e2e", 8);  // 0.2 s a step: still running when the picture is taken
  if (!e.Skip.isEmpty()) GTEST_SKIP() << e.Skip.toStdString();
  int exitCode = 0;
  const QString output = RunScript(e, "test_desktop_e2e.sh", exitCode);
  if (exitCode == 77) GTEST_SKIP() << "no virtual display";
  EXPECT_EQ(exitCode, 0) << output.toStdString();
  EXPECT_TRUE(output.contains("End to end")) << output.toStdString();
  EXPECT_TRUE(QFileInfo(e.Out + "/running.png").size() > 0 || QStandardPaths::findExecutable("import").isEmpty());
}

TEST(DesktopEndToEnd, SigtermWhileRunningEndsQuicklyAndTheNextStartRecovers) {
  const TEndToEnd e = Prepare("desktop_sigterm", 10, true, 20);
  if (!e.Skip.isEmpty()) GTEST_SKIP() << e.Skip.toStdString();
  int exitCode = 0;
  const QString output = RunScript(e, "test_desktop_sigterm.sh", exitCode);
  if (exitCode == 77) GTEST_SKIP() << "no virtual display";
  EXPECT_EQ(exitCode, 0) << output.toStdString();
  EXPECT_TRUE(output.contains("End to end")) << output.toStdString();
  // The figure for the record.
  for (const QString& line : output.split('\n'))
    if (line.startsWith("SIGTERM to exit")) std::printf("%s\n", qPrintable(line));
}

}  // namespace
