// zymra-cli: simulate fed-batch runs without the desktop program.
#include <CLI/CLI.hpp>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "KelCompDataList.h"
#include "LibZymra.h"
#include "ZymraHeadless.h"
#include "ZymraReport.h"

#ifdef ZYMRA_WITH_CHARTS
#include <QApplication>
#include <cstdlib>

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
  const std::vector<TChartRequest> charts = ParseCharts(args.Charts);
  int chartWidth = 0, chartHeight = 0;
  ParseSize(args.ChartSize, chartWidth, chartHeight);
#ifndef ZYMRA_WITH_CHARTS
  if (!charts.empty()) Fail(kExitBadArguments, "this build of zymra-cli has no chart output");
#endif
  TQueueSynchronizer sync;
  TZymra project(&sync);
  TZymra_Run* run = project.AddRun();
  if (args.Seed >= 0) RandSeed(static_cast<std::uint32_t>(args.Seed));

  for (const std::string& set : args.Sets) {
    const auto eq = set.find('=');
    if (eq == std::string::npos || eq == 0) Fail(kExitBadArguments, "malformed --set '" + set + "' (expected NAME=VALUE)");
    std::string error;
    if (!SetRunField(*run, set.substr(0, eq), set.substr(eq + 1), error)) Fail(kExitBadArguments, error);
  }
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
    std::string message = kValuesNotAppliedHeader;
    for (const std::string& line : failed) message += "- " + line + "\r\n";
    std::cerr << ForTerminal(message);
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
}  // namespace

int main(int argc, char** argv) {
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
  return kExitBadArguments;
}
