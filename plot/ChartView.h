#pragma once
// The chart as the operator sees it, without a toolkit: the files, which
// series are shown, the time range in view (zoom, pan, reset), two markers,
// the read-out; and its drawing onto any canvas (the window's painter, an SVG
// text). Values fit the shown series' points in view: pressure on the left
// axis, temperature on the right.

#include "plot/ChartData.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace tessary::plot {

struct Rect {
    double x = 0, y = 0, w = 0, h = 0;
    bool Contains(double px, double py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

struct Color {
    unsigned char r = 0, g = 0, b = 0;
};

class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void Fill(const Rect& r, Color c) = 0;
    virtual void Line(double x1, double y1, double x2, double y2, Color c, double width, bool dashed = false) = 0;
    // A run of connected points.
    virtual void Polyline(const std::vector<double>& xy, Color c) = 0;
    // align: 0 left, 1 centre, 2 right; y is the text's baseline.
    virtual void Text(double x, double y, const std::string& text, int align, Color c, bool bold = false) = 0;
    virtual double TextWidth(const std::string& text) const = 0;
    virtual void Clip(const std::optional<Rect>& r) = 0;
};

struct Layout {
    Rect plot;
    std::vector<Rect> legend;  // one per series, in series order
};

struct Marker {
    std::int64_t t = 0;
};

class ChartView {
public:
    // Adds a file's series; false (and nothing added) when it holds none.
    bool Add(ChartFile file);
    const std::vector<ChartFile>& Files() const { return files_; }
    std::vector<const Series*> AllSeries() const;
    std::vector<const Series*> ShownSeries() const;
    bool Shown(std::size_t k) const { return k < shown_.size() && shown_[k]; }
    void Toggle(std::size_t k);

    // The range of every point of every series; the view starts there.
    double FullFrom() const { return fullFrom_; }
    double FullTo() const { return fullTo_; }
    double From() const { return from_; }
    double To() const { return to_; }
    void SetRange(double from, double to);
    // factor < 1 zooms in, around time `at`.
    void Zoom(double factor, double at);
    void Pan(double seconds);
    void Reset();
    // Least and greatest of the shown series of a quantity in view (false: none).
    bool Values(Quantity q, double& lo, double& hi) const;

    std::string title;
    std::array<std::optional<std::int64_t>, 2> markers;
    // The shown series' values at or before t, as the read-out shows them:
    // "2007-05-17T12:30:03  box pressure 14.2  ...".
    std::vector<std::string> ReadOut(std::int64_t t) const;
    // The markers' difference for each shown series: "box pressure: Δt 60 s, Δ 0.5, 30 /h".
    std::vector<std::string> MarkerDelta() const;
    bool Relative() const;

    Layout Place(double width, double height, const Canvas& canvas) const;
    Layout Draw(Canvas& canvas, double width, double height, std::optional<std::int64_t> cursor = {}) const;
    // Time of a pixel column of the plot, and back.
    double TimeAt(const Layout& layout, double x) const;
    double XOf(const Layout& layout, double t) const;

    // The CSV of the shown series over the range in view.
    void WriteVisibleCsv(std::ostream& out) const;

private:
    std::vector<ChartFile> files_;
    std::vector<bool> shown_;
    double fullFrom_ = 0, fullTo_ = 1, from_ = 0, to_ = 1;
};

// Tick positions and labels of the time axis for [from, to] with room for
// about `room` labels: steps of 1 s to 30 days.
struct Tick {
    double t;
    std::string label;
};
std::vector<Tick> TimeTicks(double from, double to, int room, bool relative);
std::vector<double> ValueTicks(double lo, double hi, int room, double& step);

// A canvas that writes SVG.
class SvgCanvas : public Canvas {
public:
    SvgCanvas(double width, double height);
    void Fill(const Rect& r, Color c) override;
    void Line(double x1, double y1, double x2, double y2, Color c, double width, bool dashed) override;
    void Polyline(const std::vector<double>& xy, Color c) override;
    void Text(double x, double y, const std::string& text, int align, Color c, bool bold) override;
    double TextWidth(const std::string& text) const override;
    void Clip(const std::optional<Rect>& r) override;
    std::string Finish();

private:
    std::string out_;
    int clips_ = 0;
    bool clipped_ = false;
};

}  // namespace tessary::plot
