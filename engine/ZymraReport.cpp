#include "ZymraReport.h"

#include "KelDateTime.h"
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "LibZymra.h"
#include "ZymraText.h"

namespace {

const char* const kCrLf = "\r\n";

class TLineBuilder {
 public:
  std::vector<std::string> Lines;

  void Plain(const std::string& text) { Lines.push_back(text); }
  void Empty() { Lines.emplace_back(); }
  void Text(const std::string& label, const std::string& value, const std::string& unit) {
    Lines.push_back(label + "\t" + value + "\t" + unit);
  }
  void Number(const std::string& label, double value, int decimals, const std::string& unit) {
    Text(label, FixedText(value, decimals), unit);
  }
  void YesNo(const std::string& label, bool value, const std::string& unit) { Text(label, value ? "Yes" : "No", unit); }
};

struct TReportColumn {
  const char* Title;
  const tDoubleMatrix TZymra_Run::*Series;
  int Decimals;
  double Scale;
};

// Titles are kept letter for letter, double blanks and odd units included, so that exported files keep
// the layout their readers know.
const TReportColumn kReportColumns[] = {
    {"Process Time /h", &TZymra_Run::Time, 2, 1},
    {"ODreal (practice)/ -", &TZymra_Run::ODreal, 2, 1},
    {"ODideal(practice)/ -", &TZymra_Run::ODideal, 2, 1},
    {"OD Growth Rate \xB5OD / 1/h", &TZymra_Run::uOD, 3, 1},
    {"Cell Growth Rate \xB5" "Cell / 1/h", &TZymra_Run::uCell, 3, 1},
    {"Reactor Volume / 1/h", &TZymra_Run::Volume, 1, 1},
    // Stored in l/h; a realistic feed is a few ml/h, which at one decimal in l/h would print 0.0.
    {"Feed Rate  / ml/h", &TZymra_Run::FeedRate, 1, 1000},
    {"OTR V0  / ml/h", &TZymra_Run::OTRV0, 1, 1},
    {"OTR Vt  / ml/h", &TZymra_Run::OTRVt, 1, 1},
    {"ODreal  (theory)/ -", &TZymra_Run::ODrealTheory, 1, 1},
    {"ODideal (theory)/ -", &TZymra_Run::ODidealTheory, 1, 1},
    {"Substrate Conc. / g/l", &TZymra_Run::Substrate, 2, 1},
};

std::string Padded(long long value, int width) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*lld", width, value);
  return buf;
}

std::string ReplaceTabs(const std::string& line) {
  std::string out;
  out.reserve(line.size());
  for (char c : line) {
    if (c == '\t')
      out += "    ";
    else
      out += c;
  }
  return out;
}

}  // namespace

std::string ShortDateText(double dateTime, const std::string& pattern) {
  // Day 1 of year 1 and the last day of 9999, counted from 1899-12-30.
  static const double kFirst = static_cast<double>(DaysFromCivil(1, 1, 1) - DaysFromCivil(1899, 12, 30));
  static const double kLast = static_cast<double>(DaysFromCivil(9999, 12, 31) - DaysFromCivil(1899, 12, 30));
  if (!std::isfinite(dateTime)) return "";
  // The day is the whole part; before the epoch the fraction still counts forwards from midnight.
  const double day = std::trunc(dateTime);
  if (day < kFirst || day > kLast) return "";
  long long y;
  unsigned m, d;
  CivilFromDays(static_cast<long long>(day) + DaysFromCivil(1899, 12, 30), y, m, d);

  std::string out;
  std::size_t i = 0;
  auto runOf = [&](char lower) {
    std::size_t n = 0;
    while (i + n < pattern.size() && (pattern[i + n] | 0x20) == lower) ++n;
    return n;
  };
  while (i < pattern.size()) {
    const char c = static_cast<char>(pattern[i] | 0x20);
    if (c == 'y') {
      const std::size_t n = runOf('y');
      out += n <= 2 ? Padded(y % 100, 2) : Padded(y, 4);
      i += n;
    } else if (c == 'm') {
      const std::size_t n = runOf('m');
      out += n == 1 ? std::to_string(m) : Padded(m, 2);
      i += n;
    } else if (c == 'd') {
      const std::size_t n = runOf('d');
      out += n == 1 ? std::to_string(d) : Padded(d, 2);
      i += n;
    } else {
      out += pattern[i++];
    }
  }
  return out;
}

std::string OneLineField(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;  // CR LF is one break
    out += c == '\r' || c == '\n' || c == '\t' ? ' ' : c;
  }
  return out;
}

std::vector<std::string> ReportLines(const TZymra_Run& run, const std::string& userName, const std::string& comment,
                                     const TReportContext& context) {
  const TRunParameters& p = run.Params;
  const TRunBatchParameters& b = run.BatchParams;
  const double exportDate = context.ExportDate ? *context.ExportDate : NowDateTime();
  TLineBuilder r;

  r.Empty();
  r.Text("Version", context.VersionText, "");
  r.Empty();
  r.Plain("Header");
  r.Text("User Name", OneLineField(userName), "");
  r.Text("Comment", OneLineField(comment), "");
  r.Text("Process Time", run.ProcessTimeText(), "h:min:sec");
  r.Text("Date of Export", ShortDateText(exportDate, context.ShortDateFormat), "");
  r.Text("Date of Process", ShortDateText(p.ProcessDate, context.ShortDateFormat), "");
  r.Empty();

  r.Plain("Global Simulation Conditions");
  r.Number("Reactor Size", p.ReactorSize, 1, "l");
  r.Number("Sim. Interval dt", p.SimInterval, 3, "h");
  r.Empty();

  r.Plain("Batch/Fed Batch Parameters");
  r.YesNo("Batch Process", b.IsBatch != 0, "?");
  if (b.IsBatch) {
    // The fed-batch start values are overwritten when the batch ends; a batch run documents its batch start.
    r.Number("Reactor Volume", b.BatchStartVol, 1, "l");
    r.Number("Substrate Conc.", b.BatchSubConc, 3, "g/l");
    r.Number("Max. Growth Rate \xB5set", b.Batchumax, 3, "1/h");
    r.Number("OD (Batch Begin)", b.BatchOD, 5, "-");
  } else {
    r.Number("Reactor Vol (Fed Batch Begin)", p.ReactorVol, 1, "l");
    r.Number("OD (Fed Batch Begin)", p.FedBatchOD, 1, "-");
  }
  r.Empty();

  r.Plain("Substrate Feeding/Consumption");
  r.Number("Dry Mass per OD (Feed)", p.DryMassPerOD, 4, "g/l");
  r.Number("Yield Yx/s (Feed)", p.Yield, 4, "g/g");
  r.Number("Maintenance m (Feed)", p.Maintenance, 4, "1/h");
  r.Number("Substrate Conc.(Feed)", p.CSubstr, 0, "g/l");
  r.Number("Dry Mass per OD (Consumption)", p.DryMassPerOD_Real, 4, "g/l");
  r.Number("Yield Yx/s (Consumption)", p.Yield_Real, 4, "g/g");
  r.Number("Maintenance m (Consumption)", p.Maintenance_Real, 4, "1/h");
  r.Number("Substrate Conc.(Consumption)", p.CSubstr_Real, 0, "g/l");
  r.Empty();

  r.Plain("Fed Batch");
  r.Number("Set Cell Growth Rate \xB5set", p.Uset, 3, "1/h");
  r.Number("Target OD", p.TargetOD, 0, "1/h");
  r.Empty();

  r.Plain("optional");
  r.Number("Yield Yx/o", p.Yxo, 3, "g/g");
  r.Plain("toxic inhibition by acetat production");
  r.YesNo("stop if acetat production is critical", p.StopByuCrit != 0, "?");
  r.Number("Critical Growth Rate \xB5set", p.uCritical, 3, "1/h");
  r.Number("Critical OD", b.ODCritical, 0, "-");
  r.Empty();

  r.Plain("Values:");
  const int rows = run.Time.Rows();
  if (rows <= 0) return std::move(r.Lines);

  std::string titles;
  for (const TReportColumn& column : kReportColumns) {
    if (!titles.empty()) titles += '\t';
    titles += column.Title;
  }
  r.Plain(titles);
  r.Lines.reserve(r.Lines.size() + static_cast<std::size_t>(rows));
  for (int row = 0; row < rows; ++row) {
    std::string line;
    bool first = true;
    for (const TReportColumn& column : kReportColumns) {
      if (!first) line += '\t';
      first = false;
      // A series may be shorter than Time (a loaded run has no substrate values): its cell stays empty.
      const tDoubleMatrix& series = run.*column.Series;
      if (row < series.Rows()) line += FixedText(series.Value(row) * column.Scale, column.Decimals);
    }
    r.Lines.push_back(std::move(line));
  }
  return std::move(r.Lines);
}

std::string ReportText(const TZymra_Run& run, const std::string& userName, const std::string& comment,
                       const TReportContext& context) {
  const std::vector<std::string> lines = ReportLines(run, userName, comment, context);
  std::size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const std::string& line : lines) {
    text += line;
    text += kCrLf;
  }
  return text;
}

bool WriteReport(const TZymra_Run& run, std::ostream& out, const std::string& userName, const std::string& comment,
                 const TReportContext& context, std::string& error) {
  const std::string text = ReportText(run, userName, comment, context);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.flush();
  if (!out) {
    error = "The report could not be written.";
    return false;
  }
  error.clear();
  return true;
}

bool WriteReport(const TZymra_Run& run, const std::string& fileName, const std::string& userName,
                 const std::string& comment, const TReportContext& context, std::string& error) {
  if (fileName.empty()) {
    error = "No file name given for the report.";
    return false;
  }
  // Built completely before the file is touched, so a failure while building leaves an old file intact.
  const std::string text = ReportText(run, userName, comment, context);
  std::FILE* file = std::fopen(fileName.c_str(), "wb");
  if (!file) {
    error = "Cannot create file \"" + fileName + "\": " + std::strerror(errno);
    return false;
  }
  const std::size_t written = std::fwrite(text.data(), 1, text.size(), file);
  int reason = written == text.size() ? 0 : errno;
  // Buffered data reaches the disk only on closing: a full disk shows up here.
  if (std::fclose(file) != 0 && reason == 0) reason = errno != 0 ? errno : EIO;
  if (written != text.size() && reason == 0) reason = EIO;
  if (reason != 0) {
    error = "Cannot write file \"" + fileName + "\": " + std::strerror(reason);
    return false;
  }
  error.clear();
  return true;
}

std::string GlpHeaderText(const std::string& runCaption, const std::string& versionText) {
  return "GLP REPORT [" + runCaption + "]" + kCrLf + "  " + versionText;
}

std::vector<std::string> SplitTextLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(text.substr(start, i - start));
      i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string> GlpPrintLines(const std::string& headerText, const std::vector<std::string>& memoLines) {
  std::string text = headerText + kCrLf + kCrLf;
  for (std::size_t i = 0; i < memoLines.size(); ++i) {
    if (i > 0) text += kCrLf;
    text += memoLines[i];
  }
  // Split after the whole text is put together: the header and log entries may hold line breaks of their own.
  std::vector<std::string> lines = SplitTextLines(text);
  for (std::string& line : lines) line = ReplaceTabs(line);
  return lines;
}

std::vector<std::string> GlpPrintLines(const TZymra_Run& run, const std::string& versionText) {
  return GlpPrintLines(GlpHeaderText(run.RunCaption(), versionText), SplitTextLines(run.EventLog));
}

std::vector<TGlpPlacement> GlpPageLayout(const std::vector<std::string>& lines, int pageHeight, int lineHeight) {
  if (lineHeight < 1) lineHeight = 1;
  int perPage = pageHeight > 0 ? pageHeight / lineHeight : 0;
  if (perPage < 1) perPage = 1;
  std::vector<TGlpPlacement> placements;
  placements.reserve(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int index = static_cast<int>(i);
    placements.push_back({index / perPage, kGlpLeftMargin, (index % perPage) * lineHeight, lines[i]});
  }
  return placements;
}
