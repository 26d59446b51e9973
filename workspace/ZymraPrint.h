#pragma once
// The GLP print of a run: its caption and the version text over the event log, line
// after line, page after page, on whatever printer (or PDF file) the caller set up.
#include <QString>

#include <string>

class QPrinter;
class TZymra_Run;

// Prints the run's GLP report. The document is always ended once begun, also when
// printing fails on the way. False with the reason in error when the printer could
// not be started or reported an error.
bool PrintGlp(QPrinter& printer, const TZymra_Run& run, const std::string& versionText, QString& error);
