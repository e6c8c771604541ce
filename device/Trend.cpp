#include "device/Trend.h"

#include <algorithm>
#include <cmath>

namespace tessary::device {

namespace {

template <class Get> TrendRange RangeOf(const std::deque<TrendPoint>& points, Get get) {
    if (points.empty()) return {};
    double lo = get(points.front()), hi = lo;
    for (const auto& p : points) {
        lo = std::min(lo, get(p));
        hi = std::max(hi, get(p));
    }
    // A tenth of the range either side; a flat line gets a small band around it.
    const double pad = hi > lo ? (hi - lo) * 0.1 : std::max(std::abs(hi) * 1e-4, 1e-3);
    return {lo - pad, hi + pad};
}

}  // namespace

TrendBuffer::TrendBuffer(double spanSeconds, std::size_t maxPoints)
    : span_(spanSeconds), minStep_(maxPoints ? spanSeconds / static_cast<double>(maxPoints) : 0.0) {}

bool TrendBuffer::Add(double t, double pressure, double temperature) {
    if (!std::isfinite(t) || !std::isfinite(pressure) || !std::isfinite(temperature)) return false;
    if (!points_.empty()) {
        if (t < points_.back().t) points_.clear();
        // The tolerance keeps a steady stream at exactly the step from losing
        // every other point to rounding.
        else if (t - points_.back().t < minStep_ * (1.0 - 1e-9)) return false;
    }
    points_.push_back({t, pressure, temperature});
    while (points_.front().t < t - span_) points_.pop_front();
    return true;
}

TrendRange TrendBuffer::PressureRange() const {
    return RangeOf(points_, [](const TrendPoint& p) { return p.pressure; });
}

TrendRange TrendBuffer::TemperatureRange() const {
    return RangeOf(points_, [](const TrendPoint& p) { return p.temperature; });
}

}  // namespace tessary::device
