#pragma once
// The recent past of one panel's pressure and temperature, for its trend chart:
// a sliding window in time, thinned so a fast loop does not flood the chart.

#include <cstddef>
#include <deque>

namespace tessary::device {

struct TrendPoint {
    double t = 0;  // seconds, on any clock that only moves forward
    double pressure = 0;
    double temperature = 0;
};

// Lowest and highest value of a series, widened so that a flat line still has
// a range to be drawn in.
struct TrendRange {
    double lo = 0, hi = 1;
};

class TrendBuffer {
public:
    // Keeps `spanSeconds` back from the newest point, at most about `maxPoints`
    // points: a point closer than span/maxPoints to the last one kept is skipped.
    explicit TrendBuffer(double spanSeconds = 300.0, std::size_t maxPoints = 1500);

    // False when the point was skipped. A time before the newest point (the
    // clock was set back) starts the trend afresh.
    bool Add(double t, double pressure, double temperature);
    void Clear() { points_.clear(); }

    const std::deque<TrendPoint>& Points() const { return points_; }
    double Span() const { return span_; }
    TrendRange PressureRange() const;
    TrendRange TemperatureRange() const;

private:
    double span_;
    double minStep_;
    std::deque<TrendPoint> points_;
};

}  // namespace tessary::device
