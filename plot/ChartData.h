#pragma once
// Capture and log dump files read into series, and what the chart and the
// command line make of them: the points of a pixel column, the CSV of a time
// range. Plain C++: the window and tessary-cli only draw.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <limits>
#include <string>
#include <vector>

namespace tessary::plot {

enum class Quantity { Pressure, Temperature };

// Times are seconds of the box's civil clock (no zone); a dump in the seconds
// form keeps its seconds since the log's start and is marked relative.
struct Series {
    std::string name;  // "<file name> pressure"
    Quantity quantity = Quantity::Pressure;
    bool relative = false;
    std::vector<std::int64_t> t;
    std::vector<double> v;  // NaN: a break (NoConnect, a gap); the line is not drawn across it
};

struct ChartFile {
    std::string path;
    std::string error;  // non-empty: nothing was read, this says why
    std::vector<Series> series;
    std::size_t lines = 0;
    std::size_t notUnderstood = 0;
    std::size_t firstNotUnderstood = 0;  // 1-based line number
    std::size_t longLines = 0;           // of those, longer than kMaxLineBytes
    // "12 lines not understood, first at line 5", or empty.
    std::string Summary() const;
};

// A line longer than this is no line the program writes: skipped unread.
inline constexpr std::size_t kMaxLineBytes = 4096;

// Reads a capture file or a dump file, whichever each line is.
ChartFile ReadChartFile(const std::string& path);
// The same over text held in memory (the fuzz target, the tests).
ChartFile ReadChartText(const std::string& name, const std::string& bytes);

inline constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// "2007-05-17T12:30:03" or "2007/05/17, 12:30:03" (or a whole number of
// seconds for relative series); false when it is neither.
bool ParseTime(const std::string& text, std::int64_t& seconds);
// "2007-05-17T12:30:03"; relative times as the seconds themselves.
std::string IsoTime(std::int64_t seconds, bool relative);

// One pixel column of a series: the first and last values in it, and the least
// and greatest. `breakBefore`: the line from the previous column is not drawn.
struct Column {
    int x = 0;
    double first = 0, last = 0, lo = 0, hi = 0;
    bool breakBefore = false;
};
// The series' points in [from, to] reduced to at most `columns` columns.
std::vector<Column> Decimate(const Series& s, double from, double to, int columns);

// The values of the series over [from, to]: least and greatest (false: none).
bool ValueRange(const Series& s, double from, double to, double& lo, double& hi);

// The CSV of [from, to]: "time,<name>,..." then one row per time any series
// has, its values, empty where a series has none then. Lines end "\r\n".
void WriteCsv(std::ostream& out, const std::vector<const Series*>& series, std::int64_t from, std::int64_t to);

// The value of a series at a time: the point at or before it, within `slack`
// seconds; false when there is none or it is a break.
bool ValueAt(const Series& s, std::int64_t t, std::int64_t slack, double& value, std::int64_t& at);

}  // namespace tessary::plot
