#pragma once
// Driving runs without a user interface: the command-line tool and tests.
#include <ostream>
#include <string>
#include <vector>

#include "LibZymra.h"

// Sets a user input or operating setting of the run's records by its field name.
// Returns false with a one-line reason for an unknown name or a malformed value.
bool SetRunField(TZymra_Run& run, const std::string& name, const std::string& value, std::string& error);
// The same in steps, for callers that hold typed values rather than text: the field of
// a user input or operating setting (nullptr with the reason otherwise), then a value
// of its type (false with the reason for a value out of range). Texts are UTF-8.
const TRunField* FindSettableRunField(const std::string& name, std::string& error);
bool SetRunNumber(TZymra_Run& run, const TRunField& field, double value, std::string& error);
bool SetRunFlag(TZymra_Run& run, const TRunField& field, bool value, std::string& error);
bool SetRunInteger(TZymra_Run& run, const TRunField& field, long long value, std::string& error);
bool SetRunText(TZymra_Run& run, const TRunField& field, const std::string& utf8, std::string& error);

// An intervention at a process time: before the first step that starts at a time >= At.
struct TRunAction {
  enum Kind { Refill, Discharge, CorrectFeed };
  double At = 0;
  Kind What = Refill;
  double Litres = 0;
};
// Parses "T:refill=L", "T:discharge=L" or "T:correct-feed".
bool ParseRunAction(const std::string& text, TRunAction& action, std::string& error);

struct THeadlessOptions {
  std::vector<TRunAction> Actions;
  bool Realtime = false;
  long long MaxSteps = 1000000;
};

// Runs every listed run of the project side by side, each in its worker, until all are
// finished. Pauses the workers make themselves are continued as a user would; a run
// that reaches MaxSteps steps is finished as the user's Stop does. The runs' project must
// use `sync` as its synchroniser; this thread drains it.
void RunHeadless(TQueueSynchronizer& sync, const std::vector<TZymra_Run*>& runs,
                 const THeadlessOptions& options);

// Number of model steps a run has made.
inline long long StepCount(const TZymra_Run& run) { return run.Time.Rows() > 0 ? run.Time.Rows() - 1 : 0; }

// All fourteen series as tab-separated text, 17 significant digits.
void WriteSeriesTable(const TZymra_Run& run, std::ostream& out);
// A short summary of where the run ended.
void WriteRunSummary(const TZymra_Run& run, std::ostream& out);
