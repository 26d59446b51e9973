// zymra-cli measure and fit as a user runs them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CliRunner.h"

namespace {
const std::string kFit = "fit --set IsBatch=0 --estimate Yield_Real --estimate DryMassPerOD_Real=0.3:0.9 "
                         "--estimate FedBatchOD --seed 4 --threads 2";
}  // namespace

TEST(CliFit, PrintsTheEstimatesInTheirLayoutAndWritesResidualsAndCharts) {
  const std::string data = TempPath("measured.tsv"), out = TempPath("residuals.tsv"), chart = TempPath("od.png");
  const TCliResult m = Cli("measure --set IsBatch=0 --set Yield_Real=0.46 --times 0.25:15:40 --noise ODreal=0.05 "
                           "--noise OTRVt=2 --replicates 3 --seed 9 --out " + data);
  ASSERT_EQ(m.Code, 0) << m.Err;
  const std::vector<std::string> file = LinesOf(Slurp(data));
  ASSERT_EQ(file.size(), 124u);
  EXPECT_EQ(file[0], "# Made by zymra-cli from known constants plus seeded noise, not measured:");
  EXPECT_EQ(file[3], "Time\tReplicate\tODreal\tOTRVt");

  std::string args = kFit + " --data " + data + " --out " + out;
#ifdef ZYMRA_WITH_CHARTS
  args += " --chart 0:" + chart;
#endif
  const TCliResult r = Cli(args);
  ASSERT_EQ(r.Code, 0) << r.Err;
  const std::vector<std::string> lines = LinesOf(r.Out);
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(lines[0], "Name\tEstimate\tStdError\tCI95Low\tCI95High");
  const char* names[] = {"Yield_Real", "DryMassPerOD_Real", "FedBatchOD"};
  const double truth[] = {0.46, 0.52, 24};
  for (int j = 0; j < 3; ++j) {
    const std::vector<std::string> c = Cells(lines[static_cast<std::size_t>(j + 1)]);
    ASSERT_EQ(c.size(), 5u);
    EXPECT_EQ(c[0], names[j]);
    // 17 significant digits: the text gives the double back exactly.
    const double estimate = std::strtod(c[1].c_str(), nullptr);
    char again[40];
    std::snprintf(again, sizeof again, "%.17g", estimate);
    EXPECT_EQ(c[1], again);
    EXPECT_LT(std::strtod(c[3].c_str(), nullptr), estimate) << names[j];
    EXPECT_GT(std::strtod(c[4].c_str(), nullptr), estimate) << names[j];
    EXPECT_NEAR(estimate, truth[j], 0.05 * truth[j]) << names[j];
  }
  EXPECT_EQ(lines[4].rfind("SSE\t", 0), 0u);
  EXPECT_EQ(lines[5], "Points\t240");
  EXPECT_EQ(lines[6].rfind("Evaluations\t", 0), 0u);
  for (std::size_t k = 7; k < lines.size(); ++k) EXPECT_EQ(lines[k].rfind("Warning\t", 0), 0u) << lines[k];

  const std::vector<std::string> residuals = LinesOf(Slurp(out));
  ASSERT_EQ(residuals.size(), 7u + 1 + 240);  // comments (levels, intervals, correlations), header, values
  EXPECT_EQ(residuals[6].rfind("# FedBatchOD\t", 0), 0u);
  EXPECT_EQ(residuals[7], "File\tReplicate\tTime\tColumn\tMeasured\tSimulated\tResidual\tWeighted\tBeyondRun");
  const std::vector<std::string> first = Cells(residuals[8]);
  ASSERT_EQ(first.size(), 9u);
  EXPECT_EQ(first[0], data);
  EXPECT_EQ(first[1], "1");
  EXPECT_EQ(first[3], "ODreal");
#ifdef ZYMRA_WITH_CHARTS
  EXPECT_EQ(Slurp(chart).substr(1, 3), "PNG");
#endif

  // Two files: the same replicates twice over, kept apart.
  const TCliResult two = Cli(kFit + " --data " + data + " --data " + data);
  ASSERT_EQ(two.Code, 0) << two.Err;
  EXPECT_EQ(LinesOf(two.Out)[5], "Points\t480");
  std::remove(data.c_str());
  std::remove(out.c_str());
  std::remove(chart.c_str());
}

TEST(CliFit, BadArgumentsAndUnreadableDataExitWithTwoAFailedFitWithOne) {
  const std::string good = TempPath("good.tsv"), bad = TempPath("bad.tsv"), few = TempPath("few.tsv");
  std::ofstream(good) << "Time\tODreal\n0\t24\n1\t26\n2\t28\n";
  std::ofstream(bad) << "# a comment\nTime\tODreal\n0\t24\n1\t2x6\n";
  std::ofstream(few) << "Time\tODreal\n0\t24\n";
  const struct {
    std::string Args;
    int Code;
    std::string Err;
  } cases[] = {
      {"fit --data " + bad + " --estimate Yield_Real", 2,
       "zymra-cli: " + bad + ": line 4, column ODreal: \"2x6\" is not a number\n"},
      {"fit --data /nonexistent.tsv --estimate Yield_Real", 2, "zymra-cli: /nonexistent.tsv: cannot be opened\n"},
      {"fit --data " + good + " --estimate Yield_Real=0.2:1.2", 2,
       "zymra-cli: Yield_Real=1.2: Real Substrate Yield is out of bounds\n"},
      {"fit --data " + good + " --estimate Uset", 2,
       "zymra-cli: 'Uset' cannot be estimated (choose from Yield_Real, Maintenance_Real, DryMassPerOD_Real, "
       "CSubstr_Real, Batchumax, BatchOD, FedBatchOD)\n"},
      {"fit --data " + good + " --estimate Yield_Real --estimate Yield_Real", 2,
       "zymra-cli: Yield_Real is to be estimated twice\n"},
      {"fit --data " + good + " --estimate Yield_Real --error pH=2", 2,
       "zymra-cli: malformed --error 'pH=2' (expected ODreal=CV, Volume=, Substrate= or OTRVt=LEVEL)\n"},
      {"fit --data " + good + " --estimate Yield_Real --error ODreal=nan", 2,
       "zymra-cli: malformed --error 'ODreal=nan' (expected ODreal=CV, Volume=, Substrate= or OTRVt=LEVEL)\n"},
      {"measure --times 1:5:3 --noise OTRVt=inf", 2,
       "zymra-cli: malformed --noise 'OTRVt=inf' (expected ODreal=CV, Volume=, Substrate= or OTRVt=SD)\n"},
      {"fit --data " + few + " --estimate Yield_Real", 1,
       "zymra-cli: the fit failed: 1 measured value(s) cannot determine 1 constant(s)\n"},
  };
  for (const auto& c : cases) {
    const TCliResult r = Cli(c.Args);
    EXPECT_EQ(r.Code, c.Code) << c.Args;
    EXPECT_EQ(r.Err, c.Err) << c.Args;
    EXPECT_EQ(r.Out, "") << c.Args;
  }
  for (const std::string& f : {good, bad, few}) std::remove(f.c_str());
}
