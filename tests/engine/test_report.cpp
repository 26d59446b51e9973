#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "LibZymra.h"
#include "ZymraReport.h"

namespace {

const std::string kVersion = "2.0.3- test build";

TReportContext Context() {
  TReportContext c;
  c.VersionText = kVersion;
  c.ExportDate = 45000.75;  // 2023-03-15, 18:00
  c.ShortDateFormat = "dd.mm.yyyy";
  return c;
}

std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    cells.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos) return cells;
    start = tab + 1;
  }
}

// Splits at CR LF only and checks that every line is ended by one.
std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "unterminated last line";
    if (end == std::string::npos) break;
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

class DecimalSeparatorGuard {
 public:
  explicit DecimalSeparatorGuard(char c) : saved_(DecimalSeparator) { DecimalSeparator = c; }
  ~DecimalSeparatorGuard() { DecimalSeparator = saved_; }

 private:
  char saved_;
};

// A run whose every reported parameter differs, with decimals beyond what the report prints,
// so that a swapped field or a wrong decimal count shows.
void SetDistinctParameters(TZymra_Run& run) {
  TRunParameters& p = run.Params;
  p.ReactorSize = 5.04;
  p.SimInterval = 0.1234;
  p.ReactorVol = 1.87;
  p.FedBatchOD = 22.46;
  p.DryMassPerOD = 0.51234;
  p.Yield = 0.49876;
  p.Maintenance = 0.03141;
  p.CSubstr = 612.7;
  p.DryMassPerOD_Real = 0.54321;
  p.Yield_Real = 0.47777;
  p.Maintenance_Real = 0.02718;
  p.CSubstr_Real = 598.2;
  p.Uset = 0.1239;
  p.TargetOD = 87.6;
  p.Yxo = 1.4567;
  p.StopByuCrit = 0;
  p.uCritical = 0.1666;
  p.ProcessDate = 45001.3;  // 2023-03-16
  TRunBatchParameters& b = run.BatchParams;
  b.BatchStartVol = 1.66;
  b.BatchSubConc = 21.23456;
  b.Batchumax = 0.4321;
  b.BatchOD = 0.0432109;
  b.ODCritical = 31.7;
}

}  // namespace

TEST(ReportParameters, PreparedBatchRunWithDefaultsGivesTheFullHeaderAndParameterBlock) {
  TZymra_Run run;
  const std::string text = ReportText(run, "jdoe", "first try", Context());
  const std::vector<std::string> lines = CrLfLines(text);
  const std::vector<std::string> expected = {
      "",
      "Version\t" + kVersion + "\t",
      "",
      "Header",
      "User Name\tjdoe\t",
      "Comment\tfirst try\t",
      "Process Time\t0:00:00\th:min:sec",
      "Date of Export\t15.03.2023\t",
      "Date of Process\t30.12.1899\t",  // never started: date-time 0
      "",
      "Global Simulation Conditions",
      "Reactor Size\t4.0\tl",
      "Sim. Interval dt\t0.250\th",
      "",
      "Batch/Fed Batch Parameters",
      "Batch Process\tYes\t?",
      "Reactor Volume\t2.0\tl",
      "Substrate Conc.\t25.000\tg/l",
      "Max. Growth Rate \xB5set\t0.450\t1/h",
      "OD (Batch Begin)\t0.05000\t-",
      "",
      "Substrate Feeding/Consumption",
      "Dry Mass per OD (Feed)\t0.5200\tg/l",
      "Yield Yx/s (Feed)\t0.5060\tg/g",
      "Maintenance m (Feed)\t0.0250\t1/h",
      "Substrate Conc.(Feed)\t750\tg/l",
      "Dry Mass per OD (Consumption)\t0.5200\tg/l",
      "Yield Yx/s (Consumption)\t0.5060\tg/g",
      "Maintenance m (Consumption)\t0.0250\t1/h",
      "Substrate Conc.(Consumption)\t750\tg/l",
      "",
      "Fed Batch",
      "Set Cell Growth Rate \xB5set\t0.100\t1/h",
      "Target OD\t100\t1/h",
      "",
      "optional",
      "Yield Yx/o\t1.600\tg/g",
      "toxic inhibition by acetat production",
      "stop if acetat production is critical\tYes\t?",
      "Critical Growth Rate \xB5set\t0.150\t1/h",
      "Critical OD\t28\t-",
      "",
      "Values:",
  };
  ASSERT_EQ(lines.size(), 43u);
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i], expected[i]) << "line " << i + 1;
}

TEST(ReportParameters, EachFieldIsWrittenWithItsOwnDecimalCount) {
  TZymra_Run run;
  SetDistinctParameters(run);
  run.BatchParams.IsBatch = 0;
  const std::vector<std::string> lines = ReportLines(run, "u", "c", Context());
  ASSERT_EQ(lines.size(), 41u);
  EXPECT_EQ(lines[8], "Date of Process\t16.03.2023\t");
  EXPECT_EQ(lines[11], "Reactor Size\t5.0\tl");
  EXPECT_EQ(lines[12], "Sim. Interval dt\t0.123\th");
  EXPECT_EQ(lines[15], "Batch Process\tNo\t?");
  EXPECT_EQ(lines[16], "Reactor Vol (Fed Batch Begin)\t1.9\tl");
  EXPECT_EQ(lines[17], "OD (Fed Batch Begin)\t22.5\t-");
  EXPECT_EQ(lines[18], "");
  EXPECT_EQ(lines[20], "Dry Mass per OD (Feed)\t0.5123\tg/l");
  EXPECT_EQ(lines[21], "Yield Yx/s (Feed)\t0.4988\tg/g");
  EXPECT_EQ(lines[22], "Maintenance m (Feed)\t0.0314\t1/h");
  EXPECT_EQ(lines[23], "Substrate Conc.(Feed)\t613\tg/l");
  EXPECT_EQ(lines[24], "Dry Mass per OD (Consumption)\t0.5432\tg/l");
  EXPECT_EQ(lines[25], "Yield Yx/s (Consumption)\t0.4778\tg/g");
  EXPECT_EQ(lines[26], "Maintenance m (Consumption)\t0.0272\t1/h");
  EXPECT_EQ(lines[27], "Substrate Conc.(Consumption)\t598\tg/l");
  EXPECT_EQ(lines[30], "Set Cell Growth Rate \xB5set\t0.124\t1/h");
  EXPECT_EQ(lines[31], "Target OD\t88\t1/h");
  EXPECT_EQ(lines[34], "Yield Yx/o\t1.457\tg/g");
  EXPECT_EQ(lines[36], "stop if acetat production is critical\tNo\t?");
  EXPECT_EQ(lines[37], "Critical Growth Rate \xB5set\t0.167\t1/h");
  EXPECT_EQ(lines[38], "Critical OD\t32\t-");
  EXPECT_EQ(lines.back(), "Values:");

  run.BatchParams.IsBatch = 1;
  const std::vector<std::string> batch = ReportLines(run, "u", "c", Context());
  ASSERT_EQ(batch.size(), 43u);
  EXPECT_EQ(batch[16], "Reactor Volume\t1.7\tl");
  EXPECT_EQ(batch[17], "Substrate Conc.\t21.235\tg/l");
  EXPECT_EQ(batch[18], "Max. Growth Rate \xB5set\t0.432\t1/h");
  EXPECT_EQ(batch[19], "OD (Batch Begin)\t0.04321\t-");
  EXPECT_EQ(batch[20], "");
}

TEST(ReportParameters, UserTextsStayInTheirRowAndNumbersAreWrittenAsGiven) {
  TZymra_Run run;
  run.Time.Append(1.263);
  DecimalSeparatorGuard comma(',');
  // Every kind of line break, and a tab, in a comment keeps the Comment row in one line and two fields.
  const std::string comment = "line one\r\nline two \xB5\nthree\rfour\tfive";
  const std::string text = ReportText(run, "M\xFC\nller", comment, Context());
  EXPECT_NE(text.find("\r\nUser Name\tM\xFC ller\t\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nComment\tline one line two \xB5 three four five\t\r\n"), std::string::npos);
  EXPECT_EQ(ReportLines(run, "M\xFC\nller", comment, Context()).size(), ReportLines(run, "M", "c", Context()).size());
  std::size_t breaks = 0, lines = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    breaks += text[i] == '\n' || text[i] == '\r';
    lines += text.compare(i, 2, "\r\n") == 0;
  }
  EXPECT_EQ(breaks, 2 * lines);
  EXPECT_EQ(lines, ReportLines(run, "M", "c", Context()).size());
  EXPECT_NE(text.find("\r\nProcess Time\t1:15:46\th:min:sec\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nSim. Interval dt\t0,250\th\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\n1,26\t"), std::string::npos);
}

TEST(ReportValues, TableHasTheColumnTitlesAndOneLinePerTimeRow) {
  TZymra project;
  TZymra_Run* run = project.AddRun();
  run->BatchParams.IsBatch = 0;
  const int rows = 64;
  for (int i = 0; i < rows; ++i) {
    for (int s = 0; s < kRunSeriesCount; ++s) run->Series(s).Append(i * 0.25 + s);
  }
  const std::vector<std::string> lines = CrLfLines(ReportText(*run, "", "", Context()));
  ASSERT_EQ(lines.size(), 41u + 1u + rows);
  EXPECT_EQ(lines[40], "Values:");
  EXPECT_EQ(lines[41],
            "Process Time /h\tODreal (practice)/ -\tODideal(practice)/ -\tOD Growth Rate \xB5OD / 1/h\t"
            "Cell Growth Rate \xB5" "Cell / 1/h\tReactor Volume / 1/h\tFeed Rate  / ml/h\tOTR V0  / ml/h\t"
            "OTR Vt  / ml/h\tODreal  (theory)/ -\tODideal (theory)/ -\tSubstrate Conc. / g/l");
  EXPECT_EQ(Cells(lines[42])[0], "0.00");
  EXPECT_EQ(Cells(lines.back())[0], "15.75");
}

TEST(ReportValues, CellsFollowTheColumnOrderAndDecimals) {
  TZymra_Run run;
  // In series order; FeedRate is in l/h and the two theory growth rates are not reported.
  const double values[kRunSeriesCount] = {12.3456, 45.6789, 46.7891, 0.123456, 0.098765, 2.345, 0.0042,
                                          77.77,   66.66,   51.234,  52.345,   0.5,      0.6,   0.0567};
  for (int s = 0; s < kRunSeriesCount; ++s) run.Series(s).Append(values[s]);
  const std::vector<std::string> expected = {"12.35", "45.68", "46.79", "0.123", "0.099", "2.3",
                                             "4.2",   "77.8",  "66.7",  "51.2",  "52.3",  "0.06"};
  EXPECT_EQ(Cells(ReportLines(run, "", "", Context()).back()), expected);
}

TEST(ReportValues, FeedRateColumnIsInMillilitresPerHour) {
  TZymra_Run run;
  const double feeds[] = {0.0, 0.00137, 0.0375, 0.25};
  for (double f : feeds) {
    run.Time.Append(0);
    run.FeedRate.Append(f);
  }
  const std::vector<std::string> lines = ReportLines(run, "", "", Context());
  const std::size_t first = lines.size() - 4;
  EXPECT_EQ(Cells(lines[first])[6], "0.0");
  EXPECT_EQ(Cells(lines[first + 1])[6], "1.4");
  EXPECT_EQ(Cells(lines[first + 2])[6], "37.5");
  EXPECT_EQ(Cells(lines[first + 3])[6], "250.0");
  EXPECT_EQ(run.FeedRate.Value(1), 0.00137) << "the stored series keeps l/h";
}

TEST(ReportValues, SeriesShorterThanTimeLeaveEmptyCellsAndLongerOnesAreCut) {
  TZymra_Run run;
  for (int i = 0; i < 3; ++i) {
    for (int s = 0; s < kRunSeriesCount - 1; ++s) run.Series(s).Append(1.0);
  }
  run.ODreal.Clear();
  run.ODreal.Append(2.0);  // one row only
  run.Volume.Append(9.0);  // four rows against three times
  const std::vector<std::string> lines = ReportLines(run, "", "", Context());
  ASSERT_EQ(lines.size(), 43u + 1u + 3u);
  const std::vector<std::string> row0 = Cells(lines[44]);
  const std::vector<std::string> row2 = Cells(lines[46]);
  ASSERT_EQ(row0.size(), 12u);
  ASSERT_EQ(row2.size(), 12u);
  EXPECT_EQ(row0[1], "2.00");
  EXPECT_EQ(row2[1], "");
  EXPECT_EQ(row2[11], "") << "no substrate values";
  EXPECT_EQ(row2[5], "1.0");
}

TEST(ReportFile, FileHoldsExactlyTheReportBytes) {
  const std::filesystem::path path = std::filesystem::path(ZYMRA_TEST_OUTPUT_DIR) / "report_written.txt";
  std::filesystem::remove(path);
  TZymra_Run run;
  run.Time.Append(0.5);
  run.FeedRate.Append(0.003);
  std::string error = "stale";
  ASSERT_TRUE(WriteReport(run, path.string(), "user", "note", Context(), error)) << error;
  EXPECT_EQ(error, "");
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, ReportText(run, "user", "note", Context()));
  EXPECT_NE(bytes.find("\tOD Growth Rate \xB5OD / 1/h\t"), std::string::npos) << "single-byte micro sign";

  std::ostringstream stream;
  ASSERT_TRUE(WriteReport(run, stream, "user", "note", Context(), error));
  EXPECT_EQ(stream.str(), bytes);
}

TEST(ReportFile, FailedWritesReportFailureWithTheReason) {
  TZymra_Run run;
  const std::filesystem::path dir = std::filesystem::path(ZYMRA_TEST_OUTPUT_DIR);
  std::string error;

  const std::string missing = (dir / "no_such_folder" / "report.txt").string();
  EXPECT_FALSE(WriteReport(run, missing, "", "", Context(), error));
  EXPECT_NE(error.find(missing), std::string::npos) << error;
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;

  error.clear();
  EXPECT_FALSE(WriteReport(run, dir.string(), "", "", Context(), error)) << "a folder is no file";
  EXPECT_FALSE(error.empty());

  error.clear();
  EXPECT_FALSE(WriteReport(run, std::string(), "", "", Context(), error));
  EXPECT_FALSE(error.empty());

  // A full disk only shows when the buffered bytes are flushed.
  if (std::filesystem::exists("/dev/full")) {
    error.clear();
    EXPECT_FALSE(WriteReport(run, "/dev/full", "", "", Context(), error));
    EXPECT_NE(error.find("No space"), std::string::npos) << error;
  }

  std::ostringstream broken;
  broken.setstate(std::ios::badbit);
  error.clear();
  EXPECT_FALSE(WriteReport(run, broken, "", "", Context(), error));
  EXPECT_FALSE(error.empty());
}

TEST(ReportDates, ShortDatePatternsAndOutOfRangeValues) {
  EXPECT_EQ(ShortDateText(2.99, "yyyy-mm-dd"), "1900-01-01");
  EXPECT_EQ(ShortDateText(45000.9, "d/M/yy"), "15/3/23");
  EXPECT_EQ(ShortDateText(61, "MM/dd/yyyy"), "03/01/1900") << "1900 was no leap year";
  EXPECT_EQ(ShortDateText(-1.5, "yyyy-mm-dd"), "1899-12-29") << "the day is the whole part";
  EXPECT_EQ(ShortDateText(-693593, "yyyy-mm-dd"), "0001-01-01");
  EXPECT_EQ(ShortDateText(2958466, "yyyy-mm-dd"), "") << "after 9999-12-31";
  EXPECT_EQ(ShortDateText(std::nan(""), "yyyy"), "");
}

TEST(GlpPrint, HeaderAndEventLogWithTabsExpanded) {
  TZymra project;
  TZymra_Run* run = project.AddRun();
  run->EventLog =
      "Finish-\tWell Done - terminated cause target OD has been reached\r\n"
      "= t0 - Feed Constant: Cf = 0.0074 l\r\n";
  EXPECT_EQ(GlpHeaderText(run->RunCaption(), kVersion), "GLP REPORT [Run1 default]\r\n  " + kVersion);
  const std::vector<std::string> expected = {
      "GLP REPORT [Run1 default]",
      "  " + kVersion,
      "",
      "Finish-    Well Done - terminated cause target OD has been reached",
      "= t0 - Feed Constant: Cf = 0.0074 l",
  };
  EXPECT_EQ(GlpPrintLines(*run, kVersion), expected);

  const std::vector<std::string> memo = {"a\t\tb", "\t", "x\ty"};
  const std::vector<std::string> fromMemo = GlpPrintLines("H\r\n  V", memo);
  ASSERT_EQ(fromMemo.size(), 6u);
  EXPECT_EQ(fromMemo[3], "a        b");
  EXPECT_EQ(fromMemo[4], "    ");
  EXPECT_EQ(fromMemo[5], "x    y");
}

TEST(GlpPrint, EmptyLogStillPrintsTheHeader) {
  TZymra_Run loose;
  const std::vector<std::string> lines = GlpPrintLines(loose, kVersion);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "GLP REPORT []");
  EXPECT_EQ(lines[1], "  " + kVersion);
  for (std::size_t i = 2; i < lines.size(); ++i) EXPECT_EQ(lines[i], "");
}

TEST(GlpPrint, TextLinesSplitAtAnyLineBreak) {
  EXPECT_EQ(SplitTextLines(""), std::vector<std::string>{});
  EXPECT_EQ(SplitTextLines("a\r\nb\r\n"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SplitTextLines("a\nb\rc"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(SplitTextLines("a\r\n\r\nb"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitTextLines("\n"), std::vector<std::string>{""});
}

TEST(GlpPrint, PagesHoldPageHeightDivLineHeightLines) {
  const std::vector<std::string> five = {"1", "2", "3", "4", "5"};
  const std::vector<TGlpPlacement> p = GlpPageLayout(five, 130, 40);  // three lines a page
  ASSERT_EQ(p.size(), 5u);
  const int pages[] = {0, 0, 0, 1, 1};
  const int ys[] = {0, 40, 80, 0, 40};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(p[i].Page, pages[i]) << i;
    EXPECT_EQ(p[i].Y, ys[i]) << i;
    EXPECT_EQ(p[i].X, 20);
    EXPECT_EQ(p[i].Text, five[i]);
  }
  // A page filled exactly opens no further page.
  const std::vector<TGlpPlacement> full = GlpPageLayout({"a", "b", "c", "d"}, 80, 40);
  EXPECT_EQ(full.back().Page, 1);
  EXPECT_EQ(full.back().Y, 40);
  // A page lower than one line, or no measurable line height, still puts every line somewhere.
  const std::vector<TGlpPlacement> tiny = GlpPageLayout({"a", "b"}, 10, 40);
  EXPECT_EQ(tiny[1].Page, 1);
  EXPECT_EQ(tiny[1].Y, 0);
  const std::vector<TGlpPlacement> flat = GlpPageLayout({"a", "b"}, 100, 0);
  ASSERT_EQ(flat.size(), 2u);
  EXPECT_NE(flat[0].Y, flat[1].Y);
}
