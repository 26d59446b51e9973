// Project files through the command-line tool: save, run, info and export.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "CliRunner.h"

#include "LibZymra.h"

TEST(CliProject, SimulateSaveLoadsBackWithEqualData) {
  const std::string file = TempPath("sim.zym"), series = TempPath("sim.tsv");
  ASSERT_EQ(Cli("simulate --seed 5 --set Uset=0,12 --save " + file + " --series " + series).Code, 0);
  TZymra project;
  ASSERT_TRUE(project.LoadFromFile(file)) << project.LastError;
  ASSERT_EQ(project.RunCount(), 1);
  const TZymra_Run& run = *project.Run(0);
  EXPECT_EQ(+run.Params.Uset, 0.12);
  EXPECT_EQ(run.State(), rsFinished);
  EXPECT_NE(run.EventLog.find("Finish Batch-"), std::string::npos);
  // Every stored series equals what the simulation printed.
  std::istringstream table(Slurp(series));
  std::string line;
  std::getline(table, line);
  int row = 0;
  while (std::getline(table, line)) {
    std::istringstream cells(line);
    for (int s = 0; s < kRunSeriesCount - 1; ++s) {
      double v;
      cells >> v;
      ASSERT_EQ(v, run.Series(s).Value(row)) << kRunSeriesNames[s] << " row " << row;
    }
    ++row;
  }
  EXPECT_EQ(row, run.Time.Rows());
  EXPECT_EQ(run.Substrate.Rows(), 0);
  std::remove(file.c_str());
  std::remove(series.c_str());
}

TEST(CliProject, RunSimulatesEveryPreparedRunAndSaves) {
  const std::string file = TempPath("prep.zym"), out = TempPath("done.zym");
  {
    TZymra project;
    project.Titles.Title.Assign("three runs");
    for (double uset : {0.08, 0.1, 0.12}) {
      TZymra_Run* r = project.AddRun();
      r->Params.Uset = uset;
      r->BatchParams.IsBatch = 0;
    }
    project.Run(2)->Params.State = rsFinished;  // finished runs stay as they are
    ASSERT_TRUE(project.SaveToFile(file));
  }
  const TCliResult r = Cli("run " + file + " --save " + out);
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_NE(r.Out.find("2 run(s) simulated"), std::string::npos) << r.Out;
  TZymra done;
  ASSERT_TRUE(done.LoadFromFile(out)) << done.LastError;
  EXPECT_EQ(done.Titles.Title.Str(), "three runs");
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(done.Run(i)->State(), rsFinished);
    EXPECT_GE(done.Run(i)->ODreal.Last(), 100);
  }
  EXPECT_EQ(done.Run(2)->Time.Rows(), 0);
  TZymra untouched;
  ASSERT_TRUE(untouched.LoadFromFile(file));
  EXPECT_EQ(untouched.Run(0)->State(), rsPrepare) << "with --save the input stays";
  std::remove(file.c_str());
  std::remove(out.c_str());
}

TEST(CliProject, InfoListsRunsAndBlocks) {
  const std::string file = TempPath("info.zym");
  ASSERT_EQ(Cli("simulate --set IsBatch=0 --set DischargeEachh=0 --set Title=fast --save " + file).Code, 0);
  const TCliResult r = Cli("info " + file + " --blocks");
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_NE(r.Out.find("Title:         unknown"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("Run1 fast"), std::string::npos);
  EXPECT_NE(r.Out.find("state Finished, phase Fed Batch (0), 64 rows"), std::string::npos);
  EXPECT_NE(r.Out.find("ClassName                     \t: TZymra_Run"), std::string::npos);
  EXPECT_NE(r.Out.find("Objectversion                 \t: 1.0.2"), std::string::npos);
  std::remove(file.c_str());
}

TEST(CliProject, ExportWritesTheRunReport) {
  const std::string file = TempPath("exp.zym"), csv = TempPath("exp.csv");
  ASSERT_EQ(Cli("simulate --set IsBatch=0 --set DischargeEachh=0 --save " + file).Code, 0);
  const TCliResult r = Cli("export " + file + " --run 1 --out " + csv + " --user Ada --comment 'first try'");
  ASSERT_EQ(r.Code, 0) << r.Err;
  const std::string report = Slurp(csv);
  EXPECT_NE(report.find("User Name\tAda"), std::string::npos);
  EXPECT_NE(report.find("first try"), std::string::npos);
  EXPECT_NE(report.find("Feed Rate  / ml/h"), std::string::npos);
  EXPECT_NE(report.find("\t7.5\t"), std::string::npos) << "the first feed row, 0.0075 l/h, in ml/h";
  EXPECT_NE(report.find("\r\n"), std::string::npos);
  std::remove(csv.c_str());
  std::remove(file.c_str());
}

TEST(CliProject, FileAndArgumentErrors) {
  const std::string missing = TempPath("missing.zym"), bad = TempPath("bad.zym");
  std::ofstream(bad) << "this is no project";
  for (const std::string& args : {"info " + missing, "info " + bad, "run " + bad, "export " + bad + " --run 1"}) {
    const TCliResult r = Cli(args);
    EXPECT_EQ(r.Code, 1) << args;
    EXPECT_NE(r.Err.find("cannot read"), std::string::npos) << r.Err;
  }
  const std::string good = TempPath("good.zym");
  ASSERT_EQ(Cli("simulate --max-steps 1 --save " + good).Code, 0);
  EXPECT_EQ(Cli("export " + good + " --run 2").Code, 2);
  EXPECT_EQ(Cli("export " + good).Code, 2) << "--run is required";
  EXPECT_EQ(Cli("info").Code, 2);
  EXPECT_EQ(Cli("simulate --save /nonexistent-folder/x.zym").Code, 1);
  std::remove(bad.c_str());
  std::remove(good.c_str());
}
