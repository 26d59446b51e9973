// zymra-cli: simulate fed-batch runs without the desktop program.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "LibZymra.h"
#include "ZymraHeadless.h"

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
};

int Simulate(const TSimulateArgs& args) {
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
