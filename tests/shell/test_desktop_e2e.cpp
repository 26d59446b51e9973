// The desktop program end to end on a virtual display (tests/app/test_desktop_e2e.sh):
// a project of three prepared runs is started, finished and saved by keys.
#include "QtTestApp.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "LibZymra.h"

namespace {

TEST(DesktopEndToEnd, StartFinishSaveByKeys) {
  const QString build = QDir(ZYMRA_TEST_OUTPUT_DIR "/../..").absolutePath();
  const QString zymra = build + "/app/zymra";
  const QString cli = build + "/app/zymra-cli";
  if (!QFileInfo(zymra).isExecutable() || !QFileInfo(cli).isExecutable())
    GTEST_SKIP() << "build the targets zymra and zymra-cli first";
  if (QStandardPaths::findExecutable("xvfb-run").isEmpty() || QStandardPaths::findExecutable("xdotool").isEmpty())
    GTEST_SKIP() << "xvfb-run or xdotool missing";

  const QString out = ZYMRA_TEST_OUTPUT_DIR "/desktop_e2e";
  QDir().mkpath(out);
  const QString project = out + "/three.zym";
  {
    TZymra three;
    for (int i = 0; i < 3; ++i) {
      TZymra_Run* run = three.AddRun();
      run->Params.Speed = 8;  // 0.2 s a step: still running when the picture is taken
      run->Params.Uset = 0.1 + 0.05 * i;
    }
    three.Titles.Title.Assign("End to end");
    ASSERT_TRUE(three.SaveToFile(project.toStdString())) << three.LastError;
  }

  QProcess script;
  script.setProcessChannelMode(QProcess::MergedChannels);
  script.start("/bin/sh", {ZYMRA_TEST_SOURCE_DIR "/../app/test_desktop_e2e.sh", zymra, cli, project, out});
  ASSERT_TRUE(script.waitForFinished(90000));
  const QString output = QString::fromLocal8Bit(script.readAll());
  if (script.exitCode() == 77) GTEST_SKIP() << "no virtual display";
  EXPECT_EQ(script.exitCode(), 0) << output.toStdString();
  EXPECT_TRUE(output.contains("End to end")) << output.toStdString();
  EXPECT_TRUE(QFileInfo(out + "/running.png").size() > 0 || QStandardPaths::findExecutable("import").isEmpty());
}

}  // namespace
