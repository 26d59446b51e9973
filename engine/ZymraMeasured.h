#pragma once
// Values measured in a real cultivation, to set beside a run and to fit it to.
//
// Read from a tab- or comma-separated text file: '#' lines are comments, the first
// other line names the columns. Time (h, process time as in the run's Time series) is
// required; any of ODreal, Volume, Substrate and OTRVt may follow, in the units of the
// run's series of the same name; an optional Replicate column (an integer) holds
// several cultivations run with the same settings. A tab-separated file may use a
// decimal comma; a comma-separated one uses the point. An empty cell is a value that
// was not measured (NaN here).
#include <array>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

enum class TMeasuredColumn { ODreal, Volume, Substrate, OTRVt };
constexpr int kMeasuredColumnCount = 4;
// "ODreal", "Volume", "Substrate", "OTRVt": the names of the run's series.
const char* MeasuredColumnName(TMeasuredColumn column);
// The index of the column of that name, or -1 for a name that is none of them.
int MeasuredColumnOf(std::string_view name);
// The run's series index (kRunSeriesNames) of a measured column.
int MeasuredColumnSeries(TMeasuredColumn column);

struct TMeasuredPoint {
  double Time = 0;
  int Replicate = 1;
  // NaN where the column was not measured at this time.
  std::array<double, kMeasuredColumnCount> Value{NAN, NAN, NAN, NAN};
  double Of(TMeasuredColumn column) const { return Value[static_cast<int>(column)]; }
};

struct TMeasuredData {
  // Where the points came from (the imported file's name), for display only.
  std::string Source;
  // In file order; within a replicate the times never decrease.
  std::vector<TMeasuredPoint> Points;

  bool Empty() const { return Points.empty(); }
  // True when at least one point has a value in that column.
  bool Has(TMeasuredColumn column) const;
  // The distinct replicate numbers in the order they first appear.
  std::vector<int> Replicates() const;
  // Number of measured values (cells that are not empty) over all columns.
  long long ValueCount() const;
  bool operator==(const TMeasuredData& other) const;
};

// Parses the text of a measured-data file. On failure returns false, leaves `out`
// untouched and gives one line naming the line (1-based) and the column, e.g.
// "line 4, column Volume: \"1,2x\" is not a number".
bool ParseMeasuredData(std::string_view text, TMeasuredData& out, std::string& error);
// Reads and parses a file; `error` then begins with the file's name.
bool ReadMeasuredData(const std::string& path, TMeasuredData& out, std::string& error);

// The data as a tab-separated file that ParseMeasuredData reads back unchanged: each
// line of `comment` as a '#' line, then Time, Replicate (unless all points are of
// replicate 1) and the measured columns, numbers with 17 significant digits, empty cells where
// nothing was measured.
std::string MeasuredDataText(const TMeasuredData& data, const std::string& comment);
