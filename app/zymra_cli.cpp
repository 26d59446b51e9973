// zymra-cli: simulate fed-batch runs without the desktop program.
#include <CLI/CLI.hpp>

#include <cctype>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "KelCompDataList.h"
#include "KelStreamWrapper.h"
#include "LibZymra.h"
#include "ZymraFit.h"
#include "ZymraHeadless.h"
#include "ZymraMeasured.h"
#include "ZymraNumeric.h"
#include "ZymraReport.h"
#include "ZymraSweep.h"

#ifdef ZYMRA_WITH_CHARTS
#include <QApplication>
#include <cstdlib>

#include "ZymraBandChart.h"
#include "ZymraCompareChart.h"
#include "ZymraFitChart.h"
#include "ZymraRunChart.h"
#endif

namespace {
constexpr int kExitBadArguments = 2;
constexpr int kExitFileError = 1;

[[noreturn]] void Fail(int code, const std::string& message) {
  std::cerr << "zymra-cli: " << message << '\n';
  std::exit(code);
}

// For failures once runs exist: their workers must be joined by the normal
// unwinding, so this returns the exit code instead of exiting on the spot.
int Error(int code, const std::string& message) {
  std::cerr << "zymra-cli: " << message << '\n';
  return code;
}

// Each --set NAME=VALUE onto the run, in the order given.
void ApplySets(TZymra_Run& run, const std::vector<std::string>& sets) {
  for (const std::string& set : sets) {
    const auto eq = set.find('=');
    if (eq == std::string::npos || eq == 0) Fail(kExitBadArguments, "malformed --set '" + set + "' (expected NAME=VALUE)");
    std::string error;
    if (!SetRunField(run, set.substr(0, eq), set.substr(eq + 1), error)) Fail(kExitBadArguments, error);
  }
}

// Log texts use CR LF; a terminal wants plain line ends and UTF-8.
std::string ForTerminal(const std::string& text) {
  std::string out;
  for (char c : Cp1252ToUtf8(text))
    if (c != '\r') out += c;
  return out;
}

struct TSimulateArgs {
  std::vector<std::string> Sets;
  std::vector<std::string> At;
  long long Seed = -1;
  bool Realtime = false;
  long long MaxSteps = 1000000;
  std::string LogFile;
  std::string SeriesFile;
  std::string SaveFile;
  std::vector<std::string> Charts;  // KIND:FILE
  bool Chart3D = false;
  std::string ChartSize = "1000x600";
};

struct TChartRequest {
  int Kind;
  std::string File;
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::vector<TChartRequest> ParseCharts(const std::vector<std::string>& arguments) {
  std::vector<TChartRequest> out;
  for (const std::string& arg : arguments) {
    const auto colon = arg.find(':');
    if (colon != 1 || arg[0] < '0' || arg[0] > '4' || colon + 1 >= arg.size())
      Fail(kExitBadArguments, "malformed --chart '" + arg + "' (expected KIND:FILE with KIND 0 to 4)");
    const std::string file = arg.substr(colon + 1);
    const auto dot = file.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : Lower(file.substr(dot + 1));
    if (ext != "png" && ext != "svg" && ext != "pdf")
      Fail(kExitBadArguments, "chart file '" + file + "' must end in .png, .svg or .pdf");
    out.push_back({arg[0] - '0', file});
  }
  return out;
}

void ParseSize(const std::string& text, int& width, int& height) {
  char x = 0;
  char rest = 0;
  if (std::sscanf(text.c_str(), "%d%c%d%c", &width, &x, &height, &rest) != 3 || (x != 'x' && x != 'X') ||
      width < 50 || height < 50 || width > 20000 || height > 20000)
    Fail(kExitBadArguments, "malformed --chart-size '" + text + "' (expected WxH, 50 to 20000 pixels)");
}

// The chart files asked for and their size; a build without charts refuses them.
struct TChartOutput {
  std::vector<TChartRequest> Charts;
  int Width = 0, Height = 0;
};

TChartOutput ParseChartOutput(const std::vector<std::string>& charts, const std::string& size) {
  TChartOutput out;
  out.Charts = ParseCharts(charts);
  ParseSize(size, out.Width, out.Height);
#ifndef ZYMRA_WITH_CHARTS
  if (!out.Charts.empty()) Fail(kExitBadArguments, "this build of zymra-cli has no chart output");
#endif
  return out;
}

#ifdef ZYMRA_WITH_CHARTS
int RenderCharts(const TZymra_Run& run, const std::vector<TChartRequest>& charts, bool view3d, int width,
                 int height) {
  // Chart files are made without a screen unless one is there.
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int argc = 1;
  char name[] = "zymra-cli";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  for (const TChartRequest& chart : charts) {
    std::string error;
    if (!RenderRunChart(run, chart.Kind, view3d, width, height, chart.File, error))
      return Error(kExitFileError, "cannot write chart '" + chart.File + "': " + error);
  }
  return 0;
}
#endif

int Simulate(const TSimulateArgs& args) {
  [[maybe_unused]] const auto [charts, chartWidth, chartHeight] = ParseChartOutput(args.Charts, args.ChartSize);
  TQueueSynchronizer sync;
  TZymra project(&sync);
  TZymra_Run* run = project.AddRun();
  if (args.Seed >= 0) RandSeed(static_cast<std::uint32_t>(args.Seed));

  ApplySets(*run, args.Sets);
  THeadlessOptions options;
  options.Realtime = args.Realtime;
  options.MaxSteps = args.MaxSteps;
  for (const std::string& at : args.At) {
    TRunAction action;
    std::string error;
    if (!ParseRunAction(at, action, error)) Fail(kExitBadArguments, error);
    options.Actions.push_back(action);
  }
  const std::vector<std::string> failed = CheckRunValues(run->Params, run->BatchParams);
  if (!failed.empty()) {
    std::cerr << ForTerminal(ValuesNotAppliedText(failed) + "\r\n");
    return kExitBadArguments;
  }

  RunHeadless(sync, {run}, options);

  WriteRunSummary(*run, std::cout);
  std::cout << "Event log:\n" << ForTerminal(run->EventLog);

  if (!args.LogFile.empty()) {
    std::ofstream log(args.LogFile, std::ios::binary);
    log << run->EventLog;
    if (!log.flush()) return Error(kExitFileError, "cannot write the event log to '" + args.LogFile + "'");
  }
  if (!args.SeriesFile.empty()) {
    if (args.SeriesFile == "-") {
      WriteSeriesTable(*run, std::cout);
    } else {
      std::ofstream series(args.SeriesFile, std::ios::binary);
      WriteSeriesTable(*run, series);
      if (!series.flush()) return Error(kExitFileError, "cannot write the series to '" + args.SeriesFile + "'");
    }
  }
  if (!args.SaveFile.empty() && !project.SaveToFile(args.SaveFile))
    return Error(kExitFileError, "cannot save '" + args.SaveFile + "': " + Cp1252ToUtf8(project.LastError));
#ifdef ZYMRA_WITH_CHARTS
  if (!charts.empty()) return RenderCharts(*run, charts, args.Chart3D, chartWidth, chartHeight);
#endif
  return 0;
}

void Load(TZymra& project, const std::string& file) {
  if (!project.LoadFromFile(file))
    Fail(kExitFileError, "cannot read '" + file + "': " + Cp1252ToUtf8(project.LastError));
}

int RunProject(const std::string& file, const std::string& out) {
  TQueueSynchronizer sync;
  TZymra project(&sync);
  Load(project, file);
  std::vector<TZymra_Run*> runs;
  for (int i = 0; i < project.RunCount(); ++i)
    if (project.Run(i)->IsInStates({rsPrepare, rsPaused})) runs.push_back(project.Run(i));
  RunHeadless(sync, runs, THeadlessOptions{});
  for (TZymra_Run* run : runs) {
    std::cout << Cp1252ToUtf8(run->RunCaption()) << '\n';
    WriteRunSummary(*run, std::cout);
    std::cout << '\n';
  }
  const std::string target = out.empty() ? file : out;
  if (!project.SaveToFile(target))
    return Error(kExitFileError, "cannot save '" + target + "': " + Cp1252ToUtf8(project.LastError));
  std::cout << runs.size() << " run(s) simulated, saved to " << target << '\n';
  return 0;
}

int Info(const std::string& file, bool blocks) {
  TZymra project;
  Load(project, file);
  std::cout << "Title:         " << Cp1252ToUtf8(project.Titles.Title.Str()) << '\n'
            << "Culture/Stock: " << Cp1252ToUtf8(project.Titles.Stock.Str()) << '\n'
            << "Comment:       " << ForTerminal(project.Comment) << '\n'
            << "Runs:          " << project.RunCount() << '\n';
  char buf[512];
  for (int i = 0; i < project.RunCount(); ++i) {
    const TZymra_Run& r = *project.Run(i);
    const TRunParameters& p = r.Params;
    std::snprintf(buf, sizeof buf,
                  "  %s\n    state %s, phase %s (%d), %d rows, process time %s\n"
                  "    dt %g h, reactor %g l, \xC2\xB5set %g 1/h, target OD %g, batch %s, "
                  "feed CSubstr %g g/l (real %g g/l)\n",
                  Cp1252ToUtf8(r.RunCaption()).c_str(), r.StateText(), PhaseText(r.BatchParams.Phase),
                  r.BatchParams.Phase, r.Time.Rows(), r.ProcessTimeText().c_str(), +p.SimInterval, +p.ReactorSize,
                  +p.Uset, +p.TargetOD, r.BatchParams.IsBatch ? "yes" : "no", +p.CSubstr, +p.CSubstr_Real);
    std::cout << buf;
  }
  if (blocks) {
    std::vector<std::string> lines;
    std::string error;
    if (!ListStreamHeaders(file, true, lines, error))
      Fail(kExitFileError, "cannot read the blocks of '" + file + "': " + Cp1252ToUtf8(error));
    std::cout << '\n';
    for (const std::string& line : lines) std::cout << Cp1252ToUtf8(line) << '\n';
  }
  return 0;
}

int Export(const std::string& file, int runNumber, const std::string& out, const std::string& user,
           const std::string& comment) {
  TZymra project;
  Load(project, file);
  if (runNumber < 1 || runNumber > project.RunCount())
    Fail(kExitBadArguments, "--run " + std::to_string(runNumber) + " is not a run of '" + file + "' (it has " +
                                std::to_string(project.RunCount()) + ")");
  const TZymra_Run& run = *project.Run(runNumber - 1);
  const std::string target = out.empty() ? Cp1252ToUtf8(run.RunCaption()) + ".csv" : out;
  TReportContext context;
  context.VersionText = TZymra::VersionText();
  std::string error;
  if (!WriteReport(run, target, Utf8ToCp1252(user), Utf8ToCp1252(comment), context, error))
    Fail(kExitFileError, "cannot write the report: " + Cp1252ToUtf8(error));
  std::cout << "Report of " << Cp1252ToUtf8(run.RunCaption()) << " written to " << target << '\n';
  return 0;
}
// ---- sweep, sweep-merge, chart ----

struct TSweepArgs {
  std::vector<std::string> Sets;
  std::vector<std::string> Varies;
  long long Samples = 0;
  long long Seed = -1;
  int Threads = 0;
  long long MaxSteps = 1000000;
  std::string Out;
  std::vector<std::string> Charts;  // KIND:FILE
  std::string ChartSize = "1000x600";
  std::string Part;  // K/N
};

#ifdef ZYMRA_WITH_CHARTS
// Chart files are made without a screen unless one is there.
std::unique_ptr<QApplication> ChartApplication() {
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "zymra-cli";
  static char* argv[] = {name, nullptr};
  return std::make_unique<QApplication>(argc, argv);
}
#endif

void ParsePart(const std::string& text, long long& k, long long& n) {
  char slash = 0, rest = 0;
  if (std::sscanf(text.c_str(), "%lld%c%lld%c", &k, &slash, &n, &rest) != 3 || slash != '/' || n < 1 || k < 1 ||
      k > n)
    Fail(kExitBadArguments, "malformed --part '" + text + "' (expected K/N with 1 <= K <= N)");
}

int Sweep(const TSweepArgs& args) {
  [[maybe_unused]] const auto [charts, chartWidth, chartHeight] = ParseChartOutput(args.Charts, args.ChartSize);
  TSweepSpec plan;
  {
    TZymra_Run base;
    ApplySets(base, args.Sets);
    plan.Params = base.Params;
    plan.Batch = base.BatchParams;
  }
  std::vector<std::string> names;
  for (const std::string& text : args.Varies) {
    TSweepVary vary;
    std::string error;
    if (!ParseSweepVary(text, vary, error)) Fail(kExitBadArguments, error);
    for (const std::string& name : names)
      if (name == vary.Name) Fail(kExitBadArguments, "--vary " + name + " is given twice");
    names.push_back(vary.Name);
    plan.Varies.push_back(vary);
  }
  plan.Samples = args.Samples;
  plan.MaxSteps = args.MaxSteps;
  long long partK = 1, partN = 1;
  if (!args.Part.empty()) {
    ParsePart(args.Part, partK, partN);
    if (args.Seed < 0) Fail(kExitBadArguments, "--part needs --seed: every part must draw the same runs");
  }
  plan.Seed = args.Seed >= 0 ? static_cast<std::uint64_t>(args.Seed) : RandomSweepSeed();
  const long long count = plan.RunCount();
  if (count < 0) Fail(kExitBadArguments, "the sweep has more than " + std::to_string(kSweepMaxRuns) + " runs");

  TSweepOptions options;
  options.Threads = args.Threads;
  SweepPart(count, partK, partN, options.First, options.Last);
  for (const TChartRequest& chart : charts) options.BandKinds.push_back(chart.Kind);

  std::ofstream out;
  if (!args.Out.empty()) {
    out.open(args.Out, std::ios::binary);
    if (!out) Fail(kExitFileError, "cannot write '" + args.Out + "'");
    if (!args.Part.empty()) out << SweepPartHeader(plan, partK, partN);
    out << SweepTsvHeader(names);
    options.OnOutcome = [&out](const TSweepOutcome& o) { out << SweepTsvRow(o); };
  }
  TSweepResult result;
  std::string error;
  const auto start = std::chrono::steady_clock::now();
  if (!RunSweep(plan, options, result, error)) {
    if (out.is_open()) {
      out.close();
      std::remove(args.Out.c_str());
    }
    Fail(kExitBadArguments, error);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (out.is_open() && !out.flush()) return Error(kExitFileError, "cannot write '" + args.Out + "'");

  std::cout << "Sweep:                       " << count << " runs, seed " << plan.Seed;
  if (!args.Part.empty())
    std::cout << ", part " << partK << "/" << partN << " (indexes " << options.First << " to " << options.Last - 1
              << ")";
  std::cout << "\nThreads:                     " << result.Threads << " (" << seconds << " s)\n"
            << "Samples redrawn:             " << result.Redraws << '\n';
  result.Summary.Write(std::cout);
#ifdef ZYMRA_WITH_CHARTS
  if (!charts.empty()) {
    auto app = ChartApplication();
    for (std::size_t i = 0; i < charts.size(); ++i)
      if (!RenderBandChart(result.Curves[i], result.Summary.Runs(), chartWidth, chartHeight, charts[i].File, error))
        return Error(kExitFileError, "cannot write chart '" + charts[i].File + "': " + error);
  }
#endif
  return 0;
}

// Joins the parts of a sweep. Each part says which slice of which sweep it holds, so
// anything but exactly the slices 1 to N of one sweep, each whole, is refused before
// a summary could mislead: the parts then follow one another in the order of K.
int SweepMerge(const std::vector<std::string>& files, const std::string& outFile) {
  struct TPart {
    std::string File;
    std::unique_ptr<std::ifstream> In;
    TSweepPartLine Slice;
    std::vector<std::string> Sweep;  // the header lines after the first
    std::string Columns;
    std::string Name() const {
      return "'" + File + "' (part " + std::to_string(Slice.K) + "/" + std::to_string(Slice.N) + ")";
    }
  };
  auto readLine = [](std::istream& in, std::string& line) {
    if (!std::getline(in, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  };
  std::vector<TPart> parts;
  for (const std::string& file : files) {
    TPart p;
    p.File = file;
    p.In = std::make_unique<std::ifstream>(file, std::ios::binary);
    if (!*p.In) Fail(kExitFileError, "cannot read '" + file + "'");
    std::string line;
    if (!readLine(*p.In, line) || !ParseSweepPartLine(line, p.Slice))
      Fail(kExitBadArguments, "'" + file + "' is not a part file: it does not start with the line '" +
                                  kSweepPartPrefix + "K/N: ...' that sweep --part K/N --out writes");
    for (;;) {
      if (!readLine(*p.In, line)) Fail(kExitBadArguments, p.Name() + " ends before its column header (cut short?)");
      if (line.empty() || line[0] != '#') break;
      p.Sweep.push_back(line);
    }
    p.Columns = line;
    parts.push_back(std::move(p));
  }
  const TPart& first = parts.front();
  std::vector<const TPart*> byK(static_cast<std::size_t>(first.Slice.N), nullptr);
  for (const TPart& p : parts) {
    if (p.Slice.N != first.Slice.N)
      Fail(kExitBadArguments, p.Name() + " is a part of " + std::to_string(p.Slice.N) + ", " + first.Name() +
                                  " one of " + std::to_string(first.Slice.N));
    if (p.Sweep != first.Sweep) {
      std::size_t i = 0;
      while (i < p.Sweep.size() && i < first.Sweep.size() && p.Sweep[i] == first.Sweep[i]) ++i;
      const std::string mine = i < p.Sweep.size() ? "'" + p.Sweep[i] + "'" : "nothing";
      const std::string theirs = i < first.Sweep.size() ? "'" + first.Sweep[i] + "'" : "nothing";
      Fail(kExitBadArguments, p.Name() + " is a part of another sweep than " + first.Name() + ": " + mine +
                                  " where that has " + theirs);
    }
    if (p.Columns != first.Columns)
      Fail(kExitBadArguments, p.Name() + " has other columns than " + first.Name());
    const TPart*& slot = byK[static_cast<std::size_t>(p.Slice.K - 1)];
    if (slot) Fail(kExitBadArguments, p.Name() + " is given twice (also as '" + slot->File + "')");
    slot = &p;
  }
  for (std::size_t k = 0; k < byK.size(); ++k)
    if (!byK[k])
      Fail(kExitBadArguments, "part " + std::to_string(k + 1) + "/" + std::to_string(byK.size()) +
                                  " of the sweep is missing (only " + std::to_string(parts.size()) + " of " +
                                  std::to_string(byK.size()) + " parts are given)");

  std::ofstream out;
  if (!outFile.empty()) {
    // Writing over a part would lose it: the refusal below removes what was written.
    std::error_code ignored;
    for (const TPart& p : parts)
      if (std::filesystem::equivalent(outFile, p.File, ignored))
        Fail(kExitBadArguments, "--out '" + outFile + "' is " + p.Name() + " itself");
    out.open(outFile, std::ios::binary);
    if (!out) Fail(kExitFileError, "cannot write '" + outFile + "'");
    out << first.Columns << '\n';
  }
  auto failMerge = [&](const std::string& message) {
    if (out.is_open()) {
      out.close();
      std::remove(outFile.c_str());
    }
    Fail(kExitBadArguments, message);
  };
  const std::vector<std::string> columns = SplitTabs(first.Columns);
  TSweepSummary summary;
  for (const TPart* p : byK) {
    long long expected = p->Slice.First;
    std::string line;
    TSweepOutcome row;
    while (readLine(*p->In, line)) {
      // Every line of a part ends in a line feed: without one the file was cut inside it.
      if (p->In->eof())
        failMerge(p->Name() + " ends inside the line of run " + std::to_string(expected) + " (cut short?)");
      if (!ParseSweepTsvRow(columns, line, row))
        failMerge(p->Name() + " has a malformed line: " + line.substr(0, 80));
      if (expected >= p->Slice.Last)
        failMerge(p->Name() + " has more than its runs " + std::to_string(p->Slice.First) + " to " +
                  std::to_string(p->Slice.Last - 1));
      if (row.Index != expected)
        failMerge(p->Name() + " has run " + std::to_string(row.Index) + " where run " + std::to_string(expected) +
                  " belongs");
      summary.Add(row);
      if (out.is_open()) out << line << '\n';
      ++expected;
    }
    if (expected < p->Slice.Last)
      failMerge(p->Name() +
                (expected == p->Slice.First ? " has no runs" : " ends after run " + std::to_string(expected - 1)) +
                ", but holds runs " + std::to_string(p->Slice.First) + " to " + std::to_string(p->Slice.Last - 1) +
                " (cut short?)");
  }
  if (out.is_open() && !out.flush()) return Error(kExitFileError, "cannot write '" + outFile + "'");
  std::cout << "Merged:                      " << parts.size() << " part(s)\n";
  summary.Write(std::cout);
  return 0;
}

int CompareChart([[maybe_unused]] const std::string& file, int kind, [[maybe_unused]] const std::string& runsText,
                 const std::string& outFile, const std::string& size) {
  int width = 0, height = 0;
  ParseSize(size, width, height);
  ParseCharts({std::to_string(kind) + ":" + outFile});
#ifndef ZYMRA_WITH_CHARTS
  Fail(kExitBadArguments, "this build of zymra-cli has no chart output");
#else
  TZymra project;
  Load(project, file);
  std::vector<const TZymra_Run*> runs;
  if (runsText == "all") {
    for (int i = 0; i < project.RunCount(); ++i) runs.push_back(project.Run(i));
  } else {
    std::size_t start = 0;
    for (;;) {
      const auto comma = runsText.find(',', start);
      const std::string item = runsText.substr(start, comma - start);
      int n = 0;
      char rest = 0;
      if (std::sscanf(item.c_str(), "%d%c", &n, &rest) != 1)
        Fail(kExitBadArguments, "malformed --runs '" + runsText + "' (expected all or numbers like 1,3)");
      if (n < 1 || n > project.RunCount())
        Fail(kExitBadArguments, "--runs " + item + " is not a run of '" + file + "' (it has " +
                                    std::to_string(project.RunCount()) + ")");
      for (const TZymra_Run* r : runs)
        if (r == project.Run(n - 1)) Fail(kExitBadArguments, "--runs names run " + item + " twice");
      runs.push_back(project.Run(n - 1));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  if (runs.empty()) Fail(kExitBadArguments, "'" + file + "' has no runs");
  auto app = ChartApplication();
  std::string error;
  if (!RenderCompareChart(runs, kind, width, height, outFile, error))
    return Error(kExitFileError, "cannot write chart '" + outFile + "': " + error);
  std::cout << "Chart of " << runs.size() << " run(s) written to " << outFile << '\n';
  return 0;
#endif
}

// ---- fit ----

struct TFitArgs {
  std::vector<std::string> Sets;
  std::vector<std::string> Data;
  std::vector<std::string> Estimates;
  std::vector<std::string> Errors;  // COLUMN=LEVEL
  long long Seed = 0;
  int Threads = 0;
  int Starts = 8;
  bool Profile = false;
  std::string Out;
  std::vector<std::string> Charts;  // KIND:FILE
  bool Chart3D = false;
  std::string ChartSize = "1000x600";
};

// COLUMN=LEVEL of --error and --noise: a measured column's name and a finite number.
bool ParseColumnLevel(const std::string& text, int& column, double& level) {
  const auto eq = text.find('=');
  if (eq == std::string::npos) return false;
  column = MeasuredColumnOf(std::string_view(text).substr(0, eq));
  return column >= 0 && ParseNumber(text.substr(eq + 1), level);
}

int Fit(const TFitArgs& args) {
  [[maybe_unused]] const auto [charts, chartWidth, chartHeight] = ParseChartOutput(args.Charts, args.ChartSize);
  TZymra_Run base;
  ApplySets(base, args.Sets);
  const std::vector<std::string> failed = CheckRunValues(base.Params, base.BatchParams);
  if (!failed.empty()) {
    std::cerr << ForTerminal(ValuesNotAppliedText(failed) + "\r\n");
    return kExitBadArguments;
  }
  TFitProblem problem = FitProblemFromRun(base);
  for (const std::string& text : args.Estimates) {
    TFitParameter parameter;
    std::string error;
    if (!ParseFitParameter(text, parameter, error)) Fail(kExitBadArguments, error);
    problem.Estimate.push_back(parameter);
  }
  for (const std::string& text : args.Errors) {
    int column = -1;
    double level = 0;
    if (!ParseColumnLevel(text, column, level))
      Fail(kExitBadArguments, "malformed --error '" + text + "' (expected ODreal=CV, Volume=, Substrate= or OTRVt=LEVEL)");
    problem.ErrorLevel[static_cast<std::size_t>(column)] = level;
  }
  for (const std::string& file : args.Data) {
    TMeasuredData data;
    std::string error;
    if (!ReadMeasuredData(file, data, error)) Fail(kExitBadArguments, error);
    problem.Data.push_back(std::move(data));
  }
  std::string error;
  if (!CheckFitProblem(problem, error)) Fail(kExitBadArguments, error);

  TFitOptions options;
  options.Seed = static_cast<std::uint64_t>(args.Seed);
  options.Threads = args.Threads;
  options.Starts = args.Starts;
  options.Profile = args.Profile;
  TFitResult result;
  if (!RunFit(problem, options, result, error)) return Error(kExitFileError, "the fit failed: " + error);

  std::cout << "Name\tEstimate\tStdError\tCI95Low\tCI95High\n";
  for (std::size_t j = 0; j < result.Names.size(); ++j) {
    const double low = args.Profile ? result.ProfileLow[j] : result.CILow[j];
    const double high = args.Profile ? result.ProfileHigh[j] : result.CIHigh[j];
    std::cout << result.Names[j] << '\t' << G17(result.Estimate[j]) << '\t' << G17(result.StdError[j]) << '\t'
              << G17(low) << '\t' << G17(high) << '\n';
  }
  std::cout << "SSE\t" << G17(result.SSE) << "\nPoints\t" << result.Points << "\nEvaluations\t" << result.Evaluations
            << '\n';
  for (const std::string& warning : result.Warnings) std::cout << "Warning\t" << warning << '\n';

  if (!args.Out.empty()) {
    std::ofstream out(args.Out, std::ios::binary);
    out << "# Measured values against the run simulated with the estimates\n# Error levels:";
    for (int k = 0; k < kMeasuredColumnCount; ++k)
      if (!std::isnan(result.ErrorLevel[k]))
        out << ' ' << MeasuredColumnName(static_cast<TMeasuredColumn>(k)) << (k == 0 ? " CV " : " ")
            << G17(result.ErrorLevel[k]) << (result.ErrorEstimated[k] ? " (estimated)" : " (given)");
    out << "\n# Intervals: " << (result.Quantile == 't' ? "t" : "normal") << " quantile " << G17(result.QuantileValue);
    if (result.Quantile == 't') out << " with " << result.DegreesOfFreedom << " degrees of freedom";
    out << "\n# Correlation:";
    for (const std::string& name : result.Names) out << '\t' << name;
    for (std::size_t a = 0; a < result.Names.size(); ++a) {
      out << "\n# " << result.Names[a];
      for (double v : result.Correlation[a]) out << '\t' << G17(v);
    }
    out << "\nFile\tReplicate\tTime\tColumn\tMeasured\tSimulated\tResidual\tWeighted\tBeyondRun\n";
    for (const TFitResidual& r : result.Residuals)
      out << args.Data[static_cast<std::size_t>(r.DataSet)] << '\t' << r.Replicate << '\t' << G17(r.Time) << '\t'
          << MeasuredColumnName(r.Column) << '\t' << G17(r.Measured) << '\t' << G17(r.Simulated) << '\t'
          << G17(r.Residual) << '\t' << G17(r.Weighted) << '\t' << (r.BeyondRun ? 1 : 0) << '\n';
    if (!out.flush()) return Error(kExitFileError, "cannot write '" + args.Out + "'");
  }
#ifdef ZYMRA_WITH_CHARTS
  if (!charts.empty()) {
    TZymra_Run fitted;
    RunSweepRun(fitted, result.Params, result.Batch, static_cast<std::uint32_t>(args.Seed), 1000000);
    auto app = ChartApplication();
    for (const TChartRequest& chart : charts)
      if (!RenderFitChart(fitted, problem.Data, chart.Kind, args.Chart3D, chartWidth, chartHeight, chart.File, error))
        return Error(kExitFileError, "cannot write chart '" + chart.File + "': " + error);
  }
#endif
  return 0;
}

// ---- measure: data made from known constants ----

struct TMeasureArgs {
  std::vector<std::string> Sets;
  std::string Times;                // A:B:N
  std::vector<std::string> Noises;  // COLUMN=LEVEL
  int Replicates = 1;
  long long Seed = 0;
  std::string Out;
  std::string CommandLine;
};

int Measure(const TMeasureArgs& args) {
  TZymra_Run base;
  ApplySets(base, args.Sets);
  const std::vector<std::string> failed = CheckRunValues(base.Params, base.BatchParams);
  if (!failed.empty()) Fail(kExitBadArguments, "the run's values fail the start page's checks: " + Cp1252ToUtf8(failed.front()));
  TSyntheticDesign design;
  double a = 0, b = 0;
  long long n = 0;
  char c1 = 0, c2 = 0, rest = 0;
  if (std::sscanf(args.Times.c_str(), "%lf%c%lf%c%lld%c", &a, &c1, &b, &c2, &n, &rest) != 5 || c1 != ':' || c2 != ':' ||
      n < 1 || n > 100000 || b < a)
    Fail(kExitBadArguments, "malformed --times '" + args.Times + "' (expected FIRST:LAST:COUNT)");
  for (long long k = 0; k < n; ++k)
    design.Times.push_back(n == 1 ? a : a + (b - a) * static_cast<double>(k) / static_cast<double>(n - 1));
  for (const std::string& text : args.Noises) {
    int column = -1;
    double level = 0;
    if (!ParseColumnLevel(text, column, level) || level < 0)
      Fail(kExitBadArguments, "malformed --noise '" + text + "' (expected ODreal=CV, Volume=, Substrate= or OTRVt=SD)");
    design.Noise[static_cast<std::size_t>(column)] = level;
  }
  if (args.Noises.empty()) Fail(kExitBadArguments, "name at least one column with --noise");
  design.Replicates = args.Replicates;
  design.Seed = static_cast<std::uint64_t>(args.Seed);
  design.LagSeed = static_cast<std::uint32_t>(args.Seed);
  const TMeasuredData data = SyntheticMeasuredData(base.Params, base.BatchParams, design);
  const std::string comment =
      "Made by zymra-cli from known constants plus seeded noise, not measured:\n" + args.CommandLine +
      "\nOD noise is relative (value x (1 + CV x N(0,1))), the others absolute (value + SD x N(0,1)).";
  const std::string text = MeasuredDataText(data, comment);
  if (args.Out.empty() || args.Out == "-") {
    std::cout << text;
    return 0;
  }
  std::ofstream out(args.Out, std::ios::binary);
  out << text;
  if (!out.flush()) return Error(kExitFileError, "cannot write '" + args.Out + "'");
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  // A save past the file-size limit fails with its reason instead of killing the tool.
  IgnoreFileSizeSignal();
  CLI::App app{"zymra-cli: fed-batch cultivation simulator without a window"};
  app.require_subcommand(1);

  TSimulateArgs sim;
  CLI::App* simulate = app.add_subcommand("simulate", "Simulate one run and print its summary and event log");
  simulate->add_option("--set", sim.Sets, "Set a run input by field name, NAME=VALUE (flags 0/1); repeatable");
  simulate->add_option("--seed", sim.Seed, "Seed the random generator (batch lag)")->check(CLI::Range(0LL, 4294967295LL));
  simulate->add_option("--at", sim.At,
                       "At process time T before the step: refill=LITRES, discharge=LITRES or correct-feed "
                       "(T:ACTION); repeatable");
  simulate->add_flag("--realtime", sim.Realtime, "Sleep between steps as the desktop program does");
  simulate->add_option("--max-steps", sim.MaxSteps, "Finish the run after this many steps (default 1000000)")
      ->check(CLI::NonNegativeNumber);
  simulate->add_option("--log", sim.LogFile, "Write the event log as stored (CR LF, newest first)");
  simulate->add_option("--series", sim.SeriesFile, "Write all fourteen series as tab-separated text ('-': stdout)");
  simulate->add_option("--save", sim.SaveFile, "Save the simulated run as the only run of a new project file");
  simulate->add_option("--chart", sim.Charts,
                       "Render chart group KIND (0 OD, 1 growth rate, 2 OTR, 3 volume, 4 substrate) into FILE "
                       "(.png, .svg or .pdf), KIND:FILE; repeatable");
  simulate->add_flag("--chart-3d", sim.Chart3D, "Render the charts in 3D with the run's rotation and elevation");
  simulate->add_option("--chart-size", sim.ChartSize, "Chart size in pixels, WxH (default 1000x600)");

  std::string runFile, runOut;
  CLI::App* runCmd = app.add_subcommand("run", "Simulate every prepared run of a project side by side and save it");
  runCmd->add_option("FILE", runFile, "Project file (.zym)")->required();
  runCmd->add_option("--save", runOut, "Save to this file instead of back to FILE");

  std::string infoFile;
  bool infoBlocks = false;
  CLI::App* infoCmd = app.add_subcommand("info", "Show a project's title, comment and runs");
  infoCmd->add_option("FILE", infoFile, "Project file (.zym)")->required();
  infoCmd->add_flag("--blocks", infoBlocks, "Also list the stream header and every block header");

  std::string exportFile, exportOut, exportUser, exportComment;
  int exportRun = 0;
  CLI::App* exportCmd = app.add_subcommand("export", "Write the tab-separated report of one run");
  exportCmd->add_option("FILE", exportFile, "Project file (.zym)")->required();
  exportCmd->add_option("--run", exportRun, "Run number, 1-based as in the run captions")->required();
  exportCmd->add_option("--out", exportOut, "Report file (default: the run's caption + .csv)");
  exportCmd->add_option("--user", exportUser, "User name for the report");
  exportCmd->add_option("--comment", exportComment, "Comment for the report");

  TSweepArgs sweepArgs;
  CLI::App* sweepCmd = app.add_subcommand("sweep", "Simulate many copies of one run with varied values on all cores");
  sweepCmd->add_option("--set", sweepArgs.Sets, "Set a value common to every run, NAME=VALUE; repeatable");
  sweepCmd->add_option("--vary", sweepArgs.Varies,
                       "Vary a numeric input: NAME=A:B:N (grid of N values), NAME=normal:MEAN:SD or "
                       "NAME=uniform:LOW:HIGH (drawn per run); repeatable, grids multiply");
  sweepCmd->add_option("--samples", sweepArgs.Samples,
                       "Runs per grid point (default 100 with a drawn value, else 1)")
      ->check(CLI::PositiveNumber);
  sweepCmd->add_option("--seed", sweepArgs.Seed, "Seed of the sweep (default: from the clock, printed)")
      ->check(CLI::Range(0LL, 9007199254740991LL));
  sweepCmd->add_option("--threads", sweepArgs.Threads, "Worker threads (default: one per core)")
      ->check(CLI::Range(1, 1024));
  sweepCmd->add_option("--max-steps", sweepArgs.MaxSteps, "Finish each run after this many steps (default 1000000)")
      ->check(CLI::NonNegativeNumber);
  sweepCmd->add_option("--out", sweepArgs.Out, "Write one tab-separated line per run, in index order");
  sweepCmd->add_option("--chart", sweepArgs.Charts,
                       "Band chart of KIND (0 OD real, 1 growth rate, 2 OTR, 3 volume, 4 substrate) into FILE "
                       "(.png, .svg or .pdf), KIND:FILE; repeatable");
  sweepCmd->add_option("--chart-size", sweepArgs.ChartSize, "Chart size in pixels, WxH (default 1000x600)");
  sweepCmd->add_option("--part", sweepArgs.Part, "Run only slice K of N equal slices of the runs, K/N (needs --seed)");

  std::vector<std::string> mergeFiles;
  std::string mergeOut;
  CLI::App* mergeCmd = app.add_subcommand("sweep-merge", "Join the parts of a sweep and summarise them");
  mergeCmd->add_option("PART", mergeFiles, "Part files written by sweep --part --out")->required();
  mergeCmd->add_option("--out", mergeOut, "Write the joined lines to this file");

  std::string chartFile, chartRuns = "all", chartOut, chartSize = "1000x600";
  int chartKind = 0;
  CLI::App* chartCmd = app.add_subcommand("chart", "Draw one quantity of several runs of a project in one chart");
  chartCmd->add_option("FILE", chartFile, "Project file (.zym)")->required();
  chartCmd->add_option("--kind", chartKind, "0 OD real, 1 growth rate, 2 OTR, 3 volume, 4 substrate")
      ->required()
      ->check(CLI::Range(0, 4));
  chartCmd->add_option("--runs", chartRuns, "all, or run numbers such as 1,3 (default all)");
  chartCmd->add_option("--out", chartOut, "Chart file (.png, .svg or .pdf)")->required();
  chartCmd->add_option("--chart-size", chartSize, "Chart size in pixels, WxH (default 1000x600)");

  TFitArgs fitArgs;
  CLI::App* fitCmd = app.add_subcommand("fit", "Estimate a run's real constants from measured data");
  fitCmd->add_option("--set", fitArgs.Sets, "Set a run input by field name, NAME=VALUE; repeatable");
  fitCmd->add_option("--data", fitArgs.Data,
                     "Measured data file (tab- or comma-separated, Time and any of ODreal, Volume, Substrate, "
                     "OTRVt, optional Replicate); repeatable, each file's replicates kept apart")
      ->required();
  fitCmd->add_option("--estimate", fitArgs.Estimates,
                     "Constant to estimate, NAME or NAME=LOW:HIGH (Yield_Real, Maintenance_Real, DryMassPerOD_Real, "
                     "CSubstr_Real, Batchumax, BatchOD, FedBatchOD); repeatable")
      ->required();
  fitCmd->add_option("--error", fitArgs.Errors,
                     "Error level of a column, ODreal=CV (relative) or Volume=, Substrate=, OTRVt=LEVEL (absolute); "
                     "default: estimated from the residuals");
  fitCmd->add_option("--seed", fitArgs.Seed, "Seed of the starts and of the batch lag (default 0)")
      ->check(CLI::Range(0LL, 4294967295LL));
  fitCmd->add_option("--threads", fitArgs.Threads, "Worker threads (default: one per core)")->check(CLI::Range(1, 1024));
  fitCmd->add_option("--starts", fitArgs.Starts, "Local searches from different starts (default 8)")
      ->check(CLI::Range(1, 10000));
  fitCmd->add_flag("--profile", fitArgs.Profile,
                   "CI95Low and CI95High from the profile likelihood instead of the Jacobian");
  fitCmd->add_option("--out", fitArgs.Out, "Write every measured value with its simulated value and residual");
  fitCmd->add_option("--chart", fitArgs.Charts,
                     "Chart group KIND (0 OD, 1 growth rate, 2 OTR, 3 volume, 4 substrate) of the fitted run with the "
                     "measured values, into FILE (.png, .svg or .pdf), KIND:FILE; repeatable");
  fitCmd->add_flag("--chart-3d", fitArgs.Chart3D, "Render the charts in 3D");
  fitCmd->add_option("--chart-size", fitArgs.ChartSize, "Chart size in pixels, WxH (default 1000x600)");

  TMeasureArgs measureArgs;
  CLI::App* measureCmd =
      app.add_subcommand("measure", "Write measured-data text made from a simulated run plus seeded noise");
  measureCmd->add_option("--set", measureArgs.Sets, "Set a run input by field name, NAME=VALUE; repeatable");
  measureCmd->add_option("--times", measureArgs.Times, "Sampling times FIRST:LAST:COUNT (h)")->required();
  measureCmd->add_option("--noise", measureArgs.Noises,
                         "A column to make with its noise: ODreal=CV (relative) or Volume=, Substrate=, OTRVt=SD; "
                         "repeatable")
      ->required();
  measureCmd->add_option("--replicates", measureArgs.Replicates, "Replicates (default 1)")->check(CLI::Range(1, 1000));
  measureCmd->add_option("--seed", measureArgs.Seed, "Seed of the noise and of the batch lag (default 0)")
      ->check(CLI::Range(0LL, 4294967295LL));
  measureCmd->add_option("--out", measureArgs.Out, "File to write (default: standard output)");
  for (int k = 0; k < argc; ++k) {
    if (k) measureArgs.CommandLine += ' ';
    measureArgs.CommandLine += k ? argv[k] : "zymra-cli";
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return 0;
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) {
      std::cout << app.help();
      return 0;
    }
    std::string what = e.what();
    for (char& c : what)
      if (c == '\n') c = ' ';
    Fail(kExitBadArguments, what);
  }
  if (simulate->parsed()) return Simulate(sim);
  if (runCmd->parsed()) return RunProject(runFile, runOut);
  if (infoCmd->parsed()) return Info(infoFile, infoBlocks);
  if (exportCmd->parsed()) return Export(exportFile, exportRun, exportOut, exportUser, exportComment);
  if (sweepCmd->parsed()) return Sweep(sweepArgs);
  if (mergeCmd->parsed()) return SweepMerge(mergeFiles, mergeOut);
  if (fitCmd->parsed()) return Fit(fitArgs);
  if (measureCmd->parsed()) return Measure(measureArgs);
  if (chartCmd->parsed()) return CompareChart(chartFile, chartKind, chartRuns, chartOut, chartSize);
  return kExitBadArguments;
}
