// zymra-cli sweep, sweep-merge and chart as a user runs them.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "LibZymra.h"

namespace {
// The summary without the lines that differ between a whole sweep and a merge.
std::string SummaryPart(const std::string& out) {
  const auto at = out.find("Runs:");
  return at == std::string::npos ? "" : out.substr(at);
}

const std::string kSweep = "sweep --vary Yield_Real=normal:0.5:0.04 --vary Maintenance_Real=0.02:0.03:2 --samples 5 "
                           "--seed 31 --set DischargeEachh=0";
}  // namespace

TEST(CliSweep, EveryRowIsReproducedBySimulateWithItsSeedAndValues) {
  const std::string one = TempPath("one.tsv"), two = TempPath("two.tsv");
  const TCliResult a = Cli(kSweep + " --threads 1 --out " + one);
  const TCliResult b = Cli(kSweep + " --threads 2 --out " + two);
  ASSERT_EQ(a.Code, 0) << a.Err;
  ASSERT_EQ(b.Code, 0) << b.Err;
  EXPECT_EQ(Slurp(one), Slurp(two));
  const std::vector<std::string> rows = LinesOf(Slurp(one));
  ASSERT_EQ(rows.size(), 11u);
  EXPECT_EQ(rows[0],
            "Index\tSeed\tYield_Real\tMaintenance_Real\tState\tProcessTime\tODreal\tODideal\tVolume\tFedTotal\t"
            "CriticalExceeded\tOverflowed\tSteps");
  for (int row : {1, 7, 10}) {
    const std::vector<std::string> c = Cells(rows[static_cast<std::size_t>(row)]);
    ASSERT_EQ(c.size(), 13u);
    EXPECT_EQ(c[0], std::to_string(row - 1));
    EXPECT_EQ(c[3], row <= 5 ? "0.02" : "0.029999999999999999");
    const std::string series = TempPath("series.tsv");
    const TCliResult s = Cli("simulate --set DischargeEachh=0 --seed " + c[1] + " --set Yield_Real=" + c[2] +
                             " --set Maintenance_Real=" + c[3] + " --series " + series);
    ASSERT_EQ(s.Code, 0) << s.Err;
    const std::vector<std::string> table = LinesOf(Slurp(series));
    const std::vector<std::string> last = Cells(table.back());
    EXPECT_EQ(last[0], c[5]) << "process time of row " << row;
    EXPECT_EQ(last[1], c[6]);
    EXPECT_EQ(last[2], c[7]);
    EXPECT_EQ(last[5], c[8]);
    EXPECT_EQ(std::to_string(table.size() - 2), c[12]);
    EXPECT_EQ(c[4], "TargetReached");
  }
  EXPECT_NE(a.Out.find("Reached the target OD:       10 (100.00 %)"), std::string::npos) << a.Out;
  EXPECT_NE(a.Out.find("Samples redrawn:             0"), std::string::npos);
  EXPECT_EQ(SummaryPart(a.Out), SummaryPart(b.Out));
}

// Part k of n of a sweep (kSweep with `extra` options) in a file of its own.
std::string Part(const std::string& name, int k, int n, const std::string& extra = "",
                 const std::string& sweep = kSweep) {
  const std::string file = TempPath(name + ".tsv");
  const TCliResult p = Cli(sweep + extra + " --part " + std::to_string(k) + "/" + std::to_string(n) + " --out " + file);
  EXPECT_EQ(p.Code, 0) << p.Err;
  return file;
}

std::string Replaced(const std::string& what, const std::string& with) {
  std::string sweep = kSweep;
  return sweep.replace(sweep.find(what), what.size(), with);
}

std::string Write(const std::string& name, const std::string& text) {
  const std::string file = TempPath(name + ".tsv");
  std::ofstream(file, std::ios::binary) << text;
  return file;
}

TEST(CliSweep, PartsMergeIntoTheWholeSweep) {
  const std::string whole = TempPath("whole.tsv"), merged = TempPath("merged.tsv");
  const TCliResult w = Cli(kSweep + " --out " + whole);
  ASSERT_EQ(w.Code, 0) << w.Err;
  // The same sweep however its values are spelled and however many threads run it.
  const std::string p1 = Part("part1", 1, 3), p2 = Part("part2", 2, 3, " --set DischargeEachh=0,0 --threads 1"),
                    p3 = Part("part3", 3, 3);
  const std::vector<std::string> head = LinesOf(Slurp(p2));
  ASSERT_GE(head.size(), 7u);
  EXPECT_EQ(std::vector<std::string>(head.begin(), head.begin() + 6),
            (std::vector<std::string>{"# zymra-cli sweep part 2/3: runs 3 to 5 (3 of 10)",
                                      "# program 2.0.3- free edition for teaching and research",
                                      "# runs 10, seed 31, samples 5, max-steps 1000000", "# set DischargeEachh=0",
                                      "# vary Yield_Real=normal:0.5:0.04", "# vary Maintenance_Real=0.02:0.03:2"}));
  EXPECT_EQ(head[6], LinesOf(Slurp(whole))[0]) << "then the whole sweep's column header";
  EXPECT_EQ(head.size(), 10u);

  const TCliResult m = Cli("sweep-merge " + p3 + " " + p1 + " " + p2 + " --out " + merged);
  ASSERT_EQ(m.Code, 0) << m.Err;
  EXPECT_EQ(Slurp(merged), Slurp(whole));
  EXPECT_EQ(SummaryPart(m.Out), SummaryPart(w.Out));
  EXPECT_NE(m.Out.find("Runs:                        10"), std::string::npos) << m.Out;
}

TEST(CliSweep, MergeRefusesAnythingButExactlyOneWholeSweep) {
  const std::string p1 = Part("r1", 1, 3), p2 = Part("r2", 2, 3), p3 = Part("r3", 3, 3), whole = TempPath("whole.tsv");
  ASSERT_EQ(Cli(kSweep + " --out " + whole).Code, 0);
  const std::string text3 = Slurp(p3);
  const std::size_t lastLine = text3.rfind('\n', text3.size() - 2) + 1;
  const std::size_t header = text3.find("\nIndex\t") + 1;
  const std::string header3 = text3.substr(0, text3.find('\n', header) + 1);
  struct TCase {
    std::string Parts, Says, Names, Out = "";
  } cases[] = {
      {p1 + " " + p2, "part 3/3 of the sweep is missing", "part 3/3"},
      {p1 + " " + p2 + " " + Write("short", text3.substr(0, lastLine)),
       "(part 3/3) ends after run 8, but holds runs 6 to 9", "short.tsv"},
      {p1 + " " + p2 + " " + Write("cut", text3.substr(0, text3.size() - 3)), "ends inside the line of run 9",
       "cut.tsv"},
      {p1 + " " + p2 + " " + Write("empty", header3), "(part 3/3) has no runs, but holds runs 6 to 9", "empty.tsv"},
      {p1 + " " + p2 + " " + Write("nocolumns", text3.substr(0, header)), "ends before its column header",
       "nocolumns.tsv"},
      {p1 + " " + p2 + " " + Part("seed", 3, 3, "", Replaced("--seed 31", "--seed 32")),
       "is a part of another sweep than '" + p1 + "' (part 1/3): '# runs 10, seed 32, samples 5", "seed.tsv"},
      {p1 + " " + p2 + " " + Part("set", 3, 3, " --set Uset=0.12"), "'# set Uset=0.12' where that has", "set.tsv"},
      {p1 + " " + p2 + " " + Part("grid", 3, 3, "", Replaced("0.02:0.03:2", "0.02:0.04:2")),
       "'# vary Maintenance_Real=0.02:0.04:2' where that has '# vary Maintenance_Real=0.02:0.03:2'", "grid.tsv"},
      {p1 + " " + Part("dist", 2, 3, "", Replaced("normal:0.5:0.04", "uniform:0.45:0.55")) + " " + p3,
       "'# vary Yield_Real=uniform:0.45:0.55' where that has '# vary Yield_Real=normal:0.5:0.04'", "dist.tsv"},
      {p1 + " " + p2 + " " + Part("extra", 3, 3, " --vary Uset=0.1:0.1:1"),
       "'# vary Uset=0.1:0.1:1' where that has nothing", "extra.tsv"},
      {p1 + " " + p2 + " " + Part("steps", 3, 3, " --max-steps 50"), "max-steps 50' where", "steps.tsv"},
      {p1 + " " + p2 + " " + p2 + " " + p3, "(part 2/3) is given twice", "r2.tsv"},
      {p1 + " " + Part("half", 2, 2), "is a part of 2, '" + p1 + "' (part 1/3) one of 3", "half.tsv"},
      {p1 + " " + p2 + " " +
           Write("edited", text3.substr(0, lastLine) + "6" + text3.substr(text3.find('\t', lastLine))),
       "has run 6 where run 9 belongs", "edited.tsv"},
      {whole + " " + p1, "is not a part file", "whole.tsv"},
      {p1 + " " + p2 + " " + p3, "is '" + p2 + "' (part 2/3) itself", "r2.tsv", p2},
  };
  const std::string refused = TempPath("refused.tsv"), text2 = Slurp(p2);
  for (const TCase& c : cases) {
    const std::string out = c.Out.empty() ? refused : c.Out;
    std::remove(refused.c_str());
    const TCliResult r = Cli("sweep-merge " + c.Parts + " --out " + out);
    EXPECT_EQ(r.Code, 2) << c.Says << ": " << r.Out;
    EXPECT_NE(r.Err.find(c.Says), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find(c.Names), std::string::npos) << "names the part: " << r.Err;
    EXPECT_EQ(LinesOf(r.Err).size(), 1u) << r.Err;
    EXPECT_EQ(r.Out.find("Runs:"), std::string::npos) << "no summary: " << r.Out;
    EXPECT_EQ(Slurp(out), c.Out.empty() ? "" : text2) << "no half-written file, no part lost: " << c.Says;
  }
}

TEST(CliSweep, BadInputGivesOneLineAndExitCodeTwo) {
  const char* cases[][2] = {
      {"sweep --vary Nope=1:2:3", "unknown setting 'Nope'"},
      {"sweep --vary Uset=0.2:0.1:3", "below the first"},
      {"sweep --vary Uset=0.1:0.2:0", "at least 1"},
      {"sweep --vary Uset=normal:0.1:-1", "negative"},
      {"sweep --vary Uset=uniform:2:3", "1000 redraws"},
      {"sweep --vary Uset=0.1:0.12:2 --vary Uset=0.1:0.12:2", "given twice"},
      {"sweep --part 2/3", "needs --seed"},
      {"sweep --part 4/3 --seed 1", "malformed --part"},
  };
  for (const auto& c : cases) {
    const std::string out = TempPath("bad.tsv");
    const TCliResult r = Cli(std::string(c[0]) + " --out " + out);
    EXPECT_EQ(r.Code, 2) << c[0];
    EXPECT_NE(r.Err.find(c[1]), std::string::npos) << c[0] << ": " << r.Err;
    EXPECT_EQ(LinesOf(r.Err).size(), 1u) << r.Err;
    EXPECT_EQ(Slurp(out), "") << "no half-written file";
  }
}

#ifdef ZYMRA_WITH_CHARTS
TEST(CliSweep, BandChartNamesMedianBandAndTwin) {
  const std::string png = TempPath("band.png"), svg = TempPath("band.svg");
  const TCliResult r = Cli("sweep --set IsBatch=0 --vary Yield_Real=normal:0.5:0.04 --samples 300 --seed 2 --chart 0:" +
                           png + " --chart 0:" + svg);
  ASSERT_EQ(r.Code, 0) << r.Err;
  const std::string text = Slurp(svg);
  for (const char* title : {"Optical Density Sweep of 300 Runs", "OD real median", "OD real 5 %", "OD real 95 %",
                            "OD real[Cf_real = Cf_theor.] median"})
    EXPECT_NE(text.find(title), std::string::npos) << title;
  // The band: a translucent fill in the median's colour.
  EXPECT_NE(text.find("fill=\"#dc0000\" fill-opacity=\"0.2"), std::string::npos);
  EXPECT_GT(Slurp(png).size(), 10000u);
}

TEST(CliChart, ComparisonNamesEveryChosenRun) {
  const std::string project = TempPath("three.zym");
  {
    TZymra p;
    for (const char* title : {"alpha", "beta", "gamma"}) {
      TZymra_Run* run = p.AddRun();
      run->Params.Title.Assign(title);
      run->BatchParams.IsBatch = 0;
    }
    p.Run(1)->Params.Yield_Real = 0.45;
    p.Run(2)->Params.Yield_Real = 0.55;
    ASSERT_TRUE(p.SaveToFile(project));
  }
  ASSERT_EQ(Cli("run " + project).Code, 0);
  const std::string all = TempPath("all.svg"), some = TempPath("some.svg");
  const TCliResult a = Cli("chart " + project + " --kind 0 --runs all --out " + all);
  ASSERT_EQ(a.Code, 0) << a.Err;
  const std::string text = Slurp(all);
  for (const char* caption : {"Run1 alpha", "Run2 beta", "Run3 gamma"})
    EXPECT_NE(text.find(caption), std::string::npos) << caption;
  const TCliResult s = Cli("chart " + project + " --kind 3 --runs 3,1 --out " + some);
  ASSERT_EQ(s.Code, 0) << s.Err;
  EXPECT_NE(Slurp(some).find("Run3 gamma"), std::string::npos);
  EXPECT_EQ(Slurp(some).find("Run2 beta"), std::string::npos);
  ASSERT_EQ(Cli("chart " + project + " --kind 0 --out " + TempPath("compare.png")).Code, 0);

  EXPECT_EQ(Cli("chart " + project + " --kind 0 --runs 4 --out " + some).Code, 2);
  EXPECT_EQ(Cli("chart " + project + " --kind 0 --runs 1,1 --out " + some).Code, 2);
  EXPECT_EQ(Cli("chart " + project + " --kind 0 --runs x --out " + some).Code, 2);
  EXPECT_EQ(Cli("chart " + project + " --kind 5 --out " + some).Code, 2);
  EXPECT_EQ(Cli("chart " + project + " --kind 0 --out " + TempPath("c.gif")).Code, 2);
}
#endif
