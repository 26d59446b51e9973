#include "ZymraMeasured.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "LibZymra.h"
#include "ZymraNumeric.h"

namespace {
const char* const kColumnNames[kMeasuredColumnCount] = {"ODreal", "Volume", "Substrate", "OTRVt"};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> SplitCells(std::string_view line, char separator) {
  std::vector<std::string_view> cells;
  for (;;) {
    const auto at = line.find(separator);
    cells.push_back(Trim(line.substr(0, at)));
    if (at == std::string_view::npos) return cells;
    line.remove_prefix(at + 1);
  }
}

bool ParseValue(std::string_view cell, bool decimalComma, double& value) {
  std::string text(cell);
  if (decimalComma) std::replace(text.begin(), text.end(), ',', '.');
  if (text.empty()) return false;
  const char* begin = text.data();
  if (*begin == '+') ++begin;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(begin, end, value);
  return ec == std::errc() && ptr == end && std::isfinite(value);
}

bool ParseInteger(std::string_view cell, int& value) {
  if (cell.empty()) return false;
  auto [ptr, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
  return ec == std::errc() && ptr == cell.data() + cell.size();
}

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

std::string NumberText(double v) {
  std::ostringstream out;
  out.precision(15);
  out << v;
  return out.str();
}

bool SameValue(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }
}  // namespace

const char* MeasuredColumnName(TMeasuredColumn column) { return kColumnNames[static_cast<int>(column)]; }

int MeasuredColumnOf(std::string_view name) {
  for (int c = 0; c < kMeasuredColumnCount; ++c)
    if (name == kColumnNames[c]) return c;
  return -1;
}

int MeasuredColumnSeries(TMeasuredColumn column) {
  for (int i = 0; i < kRunSeriesCount; ++i)
    if (std::strcmp(kRunSeriesNames[i], MeasuredColumnName(column)) == 0) return i;
  return -1;
}

bool TMeasuredData::Has(TMeasuredColumn column) const {
  return std::any_of(Points.begin(), Points.end(), [column](const TMeasuredPoint& p) { return !std::isnan(p.Of(column)); });
}

std::vector<int> TMeasuredData::Replicates() const {
  std::vector<int> out;
  for (const TMeasuredPoint& p : Points)
    if (std::find(out.begin(), out.end(), p.Replicate) == out.end()) out.push_back(p.Replicate);
  return out;
}

long long TMeasuredData::ValueCount() const {
  long long n = 0;
  for (const TMeasuredPoint& p : Points)
    for (double v : p.Value) n += !std::isnan(v);
  return n;
}

bool TMeasuredData::operator==(const TMeasuredData& other) const {
  if (Source != other.Source || Points.size() != other.Points.size()) return false;
  for (std::size_t i = 0; i < Points.size(); ++i) {
    const TMeasuredPoint &a = Points[i], &b = other.Points[i];
    if (!SameValue(a.Time, b.Time) || a.Replicate != b.Replicate) return false;
    for (int c = 0; c < kMeasuredColumnCount; ++c)
      if (!SameValue(a.Value[c], b.Value[c])) return false;
  }
  return true;
}

bool ParseMeasuredData(std::string_view text, TMeasuredData& out, std::string& error) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  // What each header cell is: -1 Time, -2 Replicate, else the measured column.
  constexpr int kTime = -1, kReplicate = -2;
  std::vector<int> roles;
  std::vector<std::string> names;
  char separator = '\t';
  bool decimalComma = true;
  TMeasuredData data;
  // Per replicate: the last time and the line it was on.
  struct TLast {
    int Replicate;
    double Time;
    int Line;
  };
  std::vector<TLast> last;
  int lineNo = 0, headerLine = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    const auto end = text.find('\n', start);
    std::string_view line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    start = end == std::string_view::npos ? text.size() + 1 : end + 1;
    if (end == std::string_view::npos && line.empty()) break;  // after the last line end
    ++lineNo;
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == '#') continue;
    const auto at = [&](std::size_t cell) { return "line " + std::to_string(lineNo) + ", column " + names[cell] + ": "; };
    if (!headerLine) {
      headerLine = lineNo;
      if (line.find('\t') == std::string_view::npos && line.find(',') != std::string_view::npos) {
        separator = ',';
        decimalComma = false;
      }
      bool hasTime = false, hasMeasured = false;
      std::size_t cell = 0;
      for (std::string_view name : SplitCells(line, separator)) {
        names.emplace_back(name);
        int role = name == "Time" ? kTime : name == "Replicate" ? kReplicate : -3;
        if (const int c = MeasuredColumnOf(name); c >= 0) role = c;
        if (role == -3) {
          error = at(cell) + "unknown column (expected Time, ODreal, Volume, Substrate, OTRVt or Replicate)";
          return false;
        }
        if (std::find(roles.begin(), roles.end(), role) != roles.end()) {
          error = at(cell) + "the column is named twice";
          return false;
        }
        hasTime = hasTime || role == kTime;
        hasMeasured = hasMeasured || role >= 0;
        roles.push_back(role);
        ++cell;
      }
      if (!hasTime) {
        error = "line " + std::to_string(lineNo) + ", column Time: the header names no Time column";
        return false;
      }
      if (!hasMeasured) {
        error = "line " + std::to_string(lineNo) +
                ", column " + std::to_string(roles.size() + 1) +
                ": no measured column (ODreal, Volume, Substrate or OTRVt) after Time";
        return false;
      }
      continue;
    }
    const std::vector<std::string_view> cells = SplitCells(line, separator);
    if (cells.size() > roles.size()) {
      error = "line " + std::to_string(lineNo) + ", column " + std::to_string(roles.size() + 1) + ": " +
              std::to_string(cells.size()) + " cells, but the header names " + std::to_string(roles.size()) +
              " columns";
      return false;
    }
    TMeasuredPoint p;
    bool hasTime = false;
    for (std::size_t c = 0; c < roles.size(); ++c) {
      const std::string_view cell = c < cells.size() ? cells[c] : std::string_view{};
      if (roles[c] == kReplicate) {
        if (!ParseInteger(cell, p.Replicate)) {
          error = at(c) + Quoted(cell) + " is not a whole number";
          return false;
        }
        continue;
      }
      if (cell.empty()) {
        if (roles[c] == kTime) {
          error = at(c) + "the time is missing";
          return false;
        }
        continue;
      }
      double v = 0;
      if (!ParseValue(cell, decimalComma, v)) {
        error = at(c) + Quoted(cell) + " is not a number";
        return false;
      }
      if (roles[c] == kTime) {
        p.Time = v;
        hasTime = true;
      } else {
        p.Value[roles[c]] = v;
      }
    }
    if (!hasTime) continue;  // unreachable: a missing time failed above
    auto seen = std::find_if(last.begin(), last.end(), [&](const TLast& l) { return l.Replicate == p.Replicate; });
    if (seen != last.end()) {
      if (p.Time < seen->Time) {
        const std::size_t timeCell = static_cast<std::size_t>(std::find(roles.begin(), roles.end(), kTime) - roles.begin());
        error = at(timeCell) + "time " + NumberText(p.Time) + " goes back from " + NumberText(seen->Time) +
                " on line " + std::to_string(seen->Line) + " (replicate " + std::to_string(p.Replicate) + ")";
        return false;
      }
      seen->Time = p.Time;
      seen->Line = lineNo;
    } else {
      last.push_back({p.Replicate, p.Time, lineNo});
    }
    data.Points.push_back(p);
  }
  if (!headerLine) {
    error = "line " + std::to_string(lineNo) + ", column Time: no header line (the file has only comments)";
    return false;
  }
  if (data.ValueCount() == 0) {
    const std::size_t first = static_cast<std::size_t>(
        std::find_if(roles.begin(), roles.end(), [](int role) { return role >= 0; }) - roles.begin());
    error = "line " + std::to_string(headerLine) + ", column " + names[first] + ": the file has no measured values";
    return false;
  }
  data.Source = std::move(out.Source);
  out = std::move(data);
  return true;
}

bool ReadMeasuredData(const std::string& path, TMeasuredData& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot be opened";
    return false;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = path + ": cannot be read";
    return false;
  }
  TMeasuredData data;
  if (!ParseMeasuredData(text, data, error)) {
    error = path + ": " + error;
    return false;
  }
  data.Source = path;
  out = std::move(data);
  return true;
}

std::string MeasuredDataText(const TMeasuredData& data, const std::string& comment) {
  std::string text;
  std::size_t start = 0;
  while (start < comment.size()) {
    const auto end = comment.find('\n', start);
    text += "# " + comment.substr(start, end == std::string::npos ? std::string::npos : end - start) + "\n";
    if (end == std::string::npos) break;
    start = end + 1;
  }
  // Left out only where reading it back gives the same: replicate 1 alone.
  const bool replicates = data.Replicates() != std::vector<int>{1};
  std::vector<int> columns;
  for (int c = 0; c < kMeasuredColumnCount; ++c)
    if (data.Has(static_cast<TMeasuredColumn>(c))) columns.push_back(c);
  text += "Time";
  if (replicates) text += "\tReplicate";
  for (int c : columns) text += std::string("\t") + kColumnNames[c];
  text += "\n";
  for (const TMeasuredPoint& p : data.Points) {
    text += G17(p.Time);
    if (replicates) text += "\t" + std::to_string(p.Replicate);
    for (int c : columns) {
      text += "\t";
      if (!std::isnan(p.Value[c])) text += G17(p.Value[c]);
    }
    text += "\n";
  }
  return text;
}
