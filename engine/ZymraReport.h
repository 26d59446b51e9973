#pragma once
// The run's documentation texts: the tab-separated report file written by the data export,
// and the GLP print of the event log.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

class TZymra_Run;

// What the report needs from outside the run; injectable so that a report can be reproduced.
struct TReportContext {
  // The project's version text (heads the report).
  std::string VersionText;
  // The export date as days since 1899-12-30; unset means now.
  std::optional<double> ExportDate;
  // Short date pattern: d, dd, m, mm (M and MM alike), yy, yyyy; other characters are copied.
  // The user interface hands in the pattern of the user's locale.
  std::string ShortDateFormat = "yyyy-mm-dd";
};

// The calendar date of a date-time value (days since 1899-12-30; the fraction is the time of day and
// is ignored) in the given pattern. Values outside the years 1..9999, infinities and NaN give "".
std::string ShortDateText(double dateTime, const std::string& pattern);

// A typed text as one field of a tab-separated line: every line break (CR LF, CR or LF) and every
// tab becomes one blank, so the field neither ends its record nor opens another column.
std::string OneLineField(const std::string& text);

// The report as a list of lines without line ends. The user name and comment are written as
// OneLineField makes them, so every record of the file stays on its one line.
std::vector<std::string> ReportLines(const TZymra_Run& run, const std::string& userName, const std::string& comment,
                                     const TReportContext& context);
// The report file's contents: every line ended by CR LF, the last one too.
std::string ReportText(const TZymra_Run& run, const std::string& userName, const std::string& comment,
                       const TReportContext& context);

// Writes the report to a stream; false with a reason in error when the stream fails.
bool WriteReport(const TZymra_Run& run, std::ostream& out, const std::string& userName, const std::string& comment,
                 const TReportContext& context, std::string& error);
// Builds the report in memory and saves it in one operation. A file that cannot be created or
// completely written gives false and the reason in error; the data export reports it as a failed export.
bool WriteReport(const TZymra_Run& run, const std::string& fileName, const std::string& userName,
                 const std::string& comment, const TReportContext& context, std::string& error);

// ---- GLP print --------------------------------------------------------------------------------

// "GLP REPORT [caption]", CR LF, two blanks and the version text.
std::string GlpHeaderText(const std::string& runCaption, const std::string& versionText);

// Splits a text at CR LF, lone CR or lone LF, as a text memo shows it in lines. A line break at the very
// end does not open another line; an empty text has no lines.
std::vector<std::string> SplitTextLines(const std::string& text);

// The lines a printer prints for the GLP report: the header, an empty line, the memo's lines, with
// every tab replaced by four blanks.
std::vector<std::string> GlpPrintLines(const std::string& headerText, const std::vector<std::string>& memoLines);
// The same for a run: its caption as the header and its event log as the memo shows it.
std::vector<std::string> GlpPrintLines(const TZymra_Run& run, const std::string& versionText);

// Where each printed line goes. The printing code (in the user-interface layer) starts a print job on the
// default printer, measures the line height as the printer canvas's text height of "Dummy", takes the
// page height of the printer, and calls GlpPageLayout with both. It then draws each placement's text at
// (X, Y) of its page, starting a new page whenever Page changes; the job is begun before the first line
// and ended after the last, also when drawing fails on the way.
struct TGlpPlacement {
  int Page;  // 0-based
  int X;
  int Y;
  std::string Text;
};
// Lines per page = page height div line height (at least one, so that a page smaller than a line, or a
// printer reporting no height, still prints every line instead of dividing by zero or looping forever).
// After a full page a new page starts only when lines remain.
std::vector<TGlpPlacement> GlpPageLayout(const std::vector<std::string>& lines, int pageHeight, int lineHeight);
constexpr int kGlpLeftMargin = 20;
