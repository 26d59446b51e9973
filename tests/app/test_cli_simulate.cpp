// zymra-cli simulate as a user runs it: output, files, exit codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "CliRunner.h"

namespace {
int Lines(const std::string& s) {
  int n = 0;
  for (char c : s) n += c == '\n';
  return n;
}

const std::string kFedBatch = "simulate --set IsBatch=0 --set DischargeEachh=0";
}  // namespace

TEST(CliSimulate, DefaultFedBatchReachesTheTarget) {
  const TCliResult r = Cli(kFedBatch);
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_NE(r.Out.find("Process time: 15:45:00"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("Steps:        63"), std::string::npos);
  EXPECT_NE(r.Out.find("State:        Finished"), std::string::npos);
  EXPECT_NE(r.Out.find("Finish-\tWell Done - terminated cause target OD has been reached"), std::string::npos);
}

TEST(CliSimulate, LogFileHoldsTheRunLogByteForByte) {
  const std::string path = TempPath("log.txt");
  ASSERT_EQ(Cli(kFedBatch + " --log " + path).Code, 0);
  const std::string log = Slurp(path);
  EXPECT_EQ(log,
            "15:45:00 [h:mm:ss]\tFinish-\tWell Done - terminated cause target OD has been reached\r\n\r\n"
            "0:00:00 [h:mm:ss]\t= t0 - Feed Constant: Cf = 0.0074 l\r\n");
}

TEST(CliSimulate, SeriesTableHasEveryRowAndFullPrecision) {
  const TCliResult r = Cli(kFedBatch + " --series -");
  ASSERT_EQ(r.Code, 0);
  const auto header = r.Out.find("Time\tODreal\tODideal\tuOD\tuCell\tVolume\tFeedRate\tOTRV0\tOTRVt\tODrealTheory\t"
                                 "ODidealTheory\tuODTheory\tuCellTheory\tSubstrate\n");
  ASSERT_NE(header, std::string::npos);
  const std::string table = r.Out.substr(header);
  EXPECT_EQ(Lines(table), 1 + 64);
  std::istringstream in(table);
  std::string line;
  std::getline(in, line);
  std::getline(in, line);
  std::getline(in, line);  // the first step
  double values[14];
  std::istringstream cells(line);
  for (double& v : values) cells >> v;
  EXPECT_DOUBLE_EQ(values[0], 0.25);
  EXPECT_NEAR(values[1], 24.58451, 5e-6);
  EXPECT_NEAR(values[6], 0.0075025, 5e-8);
  EXPECT_NE(line.find("24.584507341348342"), std::string::npos) << "17 significant digits: " << line;
}

TEST(CliSimulate, SeedMakesTheBatchLagReproducible) {
  const TCliResult a = Cli("simulate --seed 77 --series -");
  const TCliResult b = Cli("simulate --seed 77 --series -");
  const TCliResult c = Cli("simulate --seed 78 --series -");
  ASSERT_EQ(a.Code, 0);
  EXPECT_EQ(a.Out, b.Out);
  EXPECT_NE(a.Out, c.Out);
  EXPECT_NE(a.Out.find("Finish Batch-\tWell Done - Fed Batch will follow"), std::string::npos);
}

TEST(CliSimulate, MaxStepsFinishesAsTheUserDoes) {
  const TCliResult r = Cli("simulate --max-steps 10 --set IsBatch=0");
  ASSERT_EQ(r.Code, 0);
  EXPECT_NE(r.Out.find("Steps:        10"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("2:30:00 [h:mm:ss]\tFinish-\tNot Completed - Terminated By User"), std::string::npos);
}

TEST(CliSimulate, ActionsAreServedAtTheirTime) {
  const TCliResult r = Cli(kFedBatch + " --at 2:refill=0.5 --at 3:discharge=0.1 --at 4:correct-feed");
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_NE(r.Out.find("2:15:00 [h:mm:ss]\tRefill 0.5\t l"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("3:15:00 [h:mm:ss]\tDischarge 0.1\t l"), std::string::npos);
  EXPECT_NE(r.Out.find("4:15:00 [h:mm:ss]\t= t0 - Feed Correction: New Cf = "), std::string::npos);
}

TEST(CliSimulate, BadArgumentsExitWithTwoAndOneLine) {
  for (const char* args : {"simulate --set Nonsense=1", "simulate --set Uset=abc", "simulate --set IsBatch=2",
                           "simulate --set State=1", "simulate --bogus", "simulate --at 5:boil",
                           "simulate --set Speed=11", "simulate --max-steps -1", "frobnicate"}) {
    const TCliResult r = Cli(args);
    EXPECT_EQ(r.Code, 2) << args;
    EXPECT_EQ(Lines(r.Err), 1) << args << ": " << r.Err;
    EXPECT_TRUE(r.Out.empty()) << args;
  }
  EXPECT_NE(Cli("simulate --set Nonsense=1").Err.find("Nonsense"), std::string::npos);
}

TEST(CliSimulate, ValidationFailuresListEveryMessage) {
  const TCliResult r = Cli("simulate --set SimInterval=0 --set Yxo=5 --set Uset=0,2");
  EXPECT_EQ(r.Code, 2);
  EXPECT_EQ(r.Err,
            "Values Couldn\xC2\xB4t Be Applied To Run!\n==================================\n"
            "- SimInterval is out of bounds\n- \xC2\xB5" "critical is too high\n- Oxygen Yield is too high\n");
}

#ifdef ZYMRA_WITH_CHARTS
TEST(CliSimulate, ChartsAreWrittenByTheirExtension) {
  const std::string dir = std::string(ZYMRA_TEST_OUTPUT_DIR) + "/";
  const std::string png = dir + "cli-od.png", svg = dir + "cli-volume.svg", pdf = dir + "cli-mu3d.pdf";
  const TCliResult r = Cli("simulate --chart 0:" + png + " --chart 3:" + svg + " --chart 1:" + pdf +
                        " --chart-3d --chart-size 800x500");
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(Slurp(png).substr(0, 8), "\x89PNG\r\n\x1a\n");
  const std::string image = Slurp(svg);
  EXPECT_NE(image.find("<svg"), std::string::npos);
  EXPECT_NE(image.find("Reactor Volume"), std::string::npos);
  EXPECT_EQ(Slurp(pdf).substr(0, 5), "%PDF-");
  for (const char* bad : {"simulate --chart 5:a.png", "simulate --chart 0:a.bmp", "simulate --chart-size 10x10"})
    EXPECT_EQ(Cli(bad).Code, 2) << bad;
}
#endif
