// zymra-cli: simulate fed-batch runs without the desktop program.
#include <CLI/CLI.hpp>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "LibZymra.h"
#include "ZymraHeadless.h"

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

std::vector<TChartRequest> ParseCharts(const std::vector<std::string>& specs) {
  std::vector<TChartRequest> out;
  for (const std::string& spec : specs) {
    const auto colon = spec.find(':');
    if (colon != 1 || spec[0] < '0' || spec[0] > '4' || colon + 1 >= spec.size())
      Fail(kExitBadArguments, "malformed --chart '" + spec + "' (expected KIND:FILE with KIND 0 to 4)");
    const std::string file = spec.substr(colon + 1);
    const auto dot = file.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : Lower(file.substr(dot + 1));
    if (ext != "png" && ext != "svg" && ext != "pdf")
      Fail(kExitBadArguments, "chart file '" + file + "' must end in .png, .svg or .pdf");
    out.push_back({spec[0] - '0', file});
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
      Fail(kExitFileError, "cannot write chart '" + chart.File + "': " + error);
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

  RunHeadless(project, sync, {run}, options);

  std::ostringstream summary;
  WriteRunSummary(*run, summary);
  std::cout << summary.str() << "Event log:\n" << ForTerminal(run->EventLog);

  if (!args.LogFile.empty()) {
    std::ofstream log(args.LogFile, std::ios::binary);
    log << run->EventLog;
    if (!log.flush()) Fail(kExitFileError, "cannot write the event log to '" + args.LogFile + "'");
  }
  if (!args.SeriesFile.empty()) {
    if (args.SeriesFile == "-") {
      WriteSeriesTable(*run, std::cout);
    } else {
      std::ofstream series(args.SeriesFile, std::ios::binary);
      WriteSeriesTable(*run, series);
      if (!series.flush()) Fail(kExitFileError, "cannot write the series to '" + args.SeriesFile + "'");
    }
  }
#ifdef ZYMRA_WITH_CHARTS
  if (!charts.empty()) return RenderCharts(*run, charts, args.Chart3D, chartWidth, chartHeight);
#endif
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
  simulate->add_option("--chart", sim.Charts,
                       "Render chart group KIND (0 OD, 1 growth rate, 2 OTR, 3 volume, 4 substrate) into FILE "
                       "(.png, .svg or .pdf), KIND:FILE; repeatable");
  simulate->add_flag("--chart-3d", sim.Chart3D, "Render the charts in 3D with the run's rotation and elevation");
  simulate->add_option("--chart-size", sim.ChartSize, "Chart size in pixels, WxH (default 1000x600)");

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
  return kExitBadArguments;
}
