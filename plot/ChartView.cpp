#include "plot/ChartView.h"

#include "capture/CaptureText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tessary::plot {

namespace {

constexpr Color kPalette[] = {{31, 119, 180}, {214, 39, 40},  {44, 160, 44},  {255, 127, 14},
                              {148, 103, 189}, {140, 86, 75}, {227, 119, 194}, {23, 190, 207}};
constexpr Color kInk{40, 40, 40}, kGrid{225, 225, 225}, kPaper{255, 255, 255}, kMarker{120, 120, 120};
constexpr double kLegendRow = 18;

std::string Number(double v, double step) {
    int decimals = 0;
    while (decimals < 8 && step * std::pow(10.0, decimals) < 0.999) ++decimals;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

std::string Plain(double v) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

std::string Duration(double s) {
    char buf[48];
    const double a = std::fabs(s);
    if (a < 120) std::snprintf(buf, sizeof buf, "%.0f s", s);
    else if (a < 7200) std::snprintf(buf, sizeof buf, "%.1f min", s / 60);
    else if (a < 172800) std::snprintf(buf, sizeof buf, "%.2f h", s / 3600);
    else std::snprintf(buf, sizeof buf, "%.2f d", s / 86400);
    return buf;
}

}  // namespace

bool ChartView::Add(ChartFile file) {
    if (file.series.empty()) return false;
    files_.push_back(std::move(file));
    shown_.clear();
    bool any = false;
    for (const Series* s : AllSeries()) {
        shown_.push_back(true);
        if (s->t.empty()) continue;
        // Sorted: the first and the last are the series' range.
        const auto a = static_cast<double>(s->t.front()), b = static_cast<double>(s->t.back());
        fullFrom_ = any ? std::min(fullFrom_, a) : a;
        fullTo_ = any ? std::max(fullTo_, b) : b;
        any = true;
    }
    if (fullTo_ <= fullFrom_) fullTo_ = fullFrom_ + 1;
    Reset();
    return true;
}

std::vector<const Series*> ChartView::AllSeries() const {
    std::vector<const Series*> all;
    for (const auto& f : files_)
        for (const auto& s : f.series) all.push_back(&s);
    return all;
}

std::vector<const Series*> ChartView::ShownSeries() const {
    std::vector<const Series*> shown;
    const auto all = AllSeries();
    for (std::size_t k = 0; k < all.size(); ++k)
        if (Shown(k)) shown.push_back(all[k]);
    return shown;
}

void ChartView::Toggle(std::size_t k) {
    if (k < shown_.size()) shown_[k] = !shown_[k];
}

void ChartView::SetRange(double from, double to) {
    // Never narrower than a few seconds: the box's clock has whole seconds.
    if (to - from < 4) {
        const double mid = (from + to) / 2;
        from = mid - 2;
        to = mid + 2;
    }
    from_ = from;
    to_ = to;
}

void ChartView::Zoom(double factor, double at) {
    SetRange(at - (at - from_) * factor, at + (to_ - at) * factor);
}

void ChartView::Pan(double seconds) { SetRange(from_ + seconds, to_ + seconds); }

void ChartView::Reset() {
    const double pad = (fullTo_ - fullFrom_) * 0.01;
    SetRange(fullFrom_ - pad, fullTo_ + pad);
}

bool ChartView::Values(Quantity q, double& lo, double& hi) const {
    bool any = false;
    for (const Series* s : ShownSeries()) {
        double a = 0, b = 0;
        if (s->quantity != q || !ValueRange(*s, from_, to_, a, b)) continue;
        lo = any ? std::min(lo, a) : a;
        hi = any ? std::max(hi, b) : b;
        any = true;
    }
    return any;
}

bool ChartView::Relative() const {
    const auto all = AllSeries();
    return !all.empty() && std::all_of(all.begin(), all.end(), [](const Series* s) { return s->relative; });
}

std::vector<std::string> ChartView::ReadOut(std::int64_t t) const {
    std::vector<std::string> lines{IsoTime(t, Relative())};
    for (const Series* s : ShownSeries()) {
        double v = 0;
        std::int64_t at = 0;
        // A point counts for as long as a tenth of the view, so a slow capture still reads.
        const auto slack = static_cast<std::int64_t>(std::max(2.0, (to_ - from_) / 10));
        lines.push_back(s->name + " " + (ValueAt(*s, t, slack, v, at) ? Plain(v) : std::string("-")));
    }
    return lines;
}

std::vector<std::string> ChartView::MarkerDelta() const {
    std::vector<std::string> lines;
    if (!markers[0] || !markers[1]) return lines;
    const double dt = static_cast<double>(*markers[1] - *markers[0]);
    lines.push_back("\u0394t " + Duration(dt));
    const auto slack = static_cast<std::int64_t>(std::max(2.0, (to_ - from_) / 10));
    for (const Series* s : ShownSeries()) {
        double a = 0, b = 0;
        std::int64_t ta = 0, tb = 0;
        if (!ValueAt(*s, *markers[0], slack, a, ta) || !ValueAt(*s, *markers[1], slack, b, tb)) {
            lines.push_back(s->name + ": -");
            continue;
        }
        std::string line = s->name + ": \u0394 " + Plain(b - a);
        if (tb != ta) line += ", " + Plain((b - a) * 3600.0 / static_cast<double>(tb - ta)) + " /h";
        lines.push_back(line);
    }
    return lines;
}

Layout ChartView::Place(double width, double height, const Canvas& canvas) const {
    Layout layout;
    double x = 64, y = title.empty() ? 8 : 30;
    const auto all = AllSeries();
    for (const Series* s : all) {
        const double w = 22 + canvas.TextWidth(s->name + " \u2192") + 20;
        if (x + w > width - 8 && x > 64) {
            x = 64;
            y += kLegendRow;
        }
        layout.legend.push_back({x, y, w, kLegendRow});
        x += w;
    }
    const double top = y + kLegendRow + 10;
    layout.plot = {64, top, std::max(10.0, width - 128), std::max(10.0, height - top - 44)};
    return layout;
}

double ChartView::TimeAt(const Layout& layout, double x) const {
    return from_ + (x - layout.plot.x) / layout.plot.w * (to_ - from_);
}

double ChartView::XOf(const Layout& layout, double t) const {
    return layout.plot.x + (t - from_) / (to_ - from_) * layout.plot.w;
}

Layout ChartView::Draw(Canvas& canvas, double width, double height, std::optional<std::int64_t> cursor) const {
    const Layout layout = Place(width, height, canvas);
    const Rect& p = layout.plot;
    canvas.Fill({0, 0, width, height}, kPaper);
    if (!title.empty()) canvas.Text(width / 2, 20, title, 1, kInk, true);

    // Legend: a swatch, the name; a hidden series is greyed.
    const auto all = AllSeries();
    for (std::size_t k = 0; k < all.size(); ++k) {
        const Rect& r = layout.legend[k];
        const Color c = Shown(k) ? kPalette[k % 8] : kGrid;
        canvas.Line(r.x, r.y + 9, r.x + 16, r.y + 9, c, 3);
        canvas.Text(r.x + 20, r.y + 13, all[k]->name + (all[k]->quantity == Quantity::Temperature ? " \u2192" : ""),
                    0, Shown(k) ? kInk : kMarker);
    }

    // Time axis.
    const bool relative = Relative();
    for (const Tick& tick : TimeTicks(from_, to_, std::max(2, static_cast<int>(p.w / 110)), relative)) {
        const double x = XOf(layout, tick.t);
        canvas.Line(x, p.y, x, p.y + p.h, kGrid, 1);
        canvas.Text(x, p.y + p.h + 16, tick.label, 1, kInk);
    }
    if (!relative) {
        // The date the view starts on, for ticks that show only the time.
        const std::string start = IsoTime(static_cast<std::int64_t>(std::floor(from_)), false);
        const std::string end = IsoTime(static_cast<std::int64_t>(std::floor(to_)), false);
        canvas.Text(p.x, p.y + p.h + 34, start.substr(0, 10), 0, kMarker);
        canvas.Text(p.x + p.w, p.y + p.h + 34, end.substr(0, 10), 2, kMarker);
    }

    // Value axes: pressure left, temperature right.
    double ranges[2][2];
    bool have[2];
    for (int q = 0; q < 2; ++q) {
        double lo = 0, hi = 1;
        have[q] = Values(static_cast<Quantity>(q), lo, hi);
        const double pad = hi > lo ? (hi - lo) * 0.05 : std::max(1e-3, std::fabs(lo) * 0.01);
        ranges[q][0] = lo - pad;
        ranges[q][1] = hi + pad;
        if (!have[q]) continue;
        double step = 1;
        for (double v : ValueTicks(ranges[q][0], ranges[q][1], std::max(2, static_cast<int>(p.h / 40)), step)) {
            const double y = p.y + p.h - (v - ranges[q][0]) / (ranges[q][1] - ranges[q][0]) * p.h;
            if (q == 0 || !have[0]) canvas.Line(p.x, y, p.x + p.w, y, kGrid, 1);
            canvas.Text(q == 0 ? p.x - 4 : p.x + p.w + 4, y + 4, Number(v, step), q == 0 ? 2 : 0, kInk);
        }
    }
    if (have[0]) canvas.Text(8, p.y - 6, "pressure", 0, kInk, true);
    if (have[1]) canvas.Text(width - 8, p.y - 6, "temperature", 2, kInk, true);
    canvas.Line(p.x, p.y, p.x, p.y + p.h, kInk, 1);
    canvas.Line(p.x, p.y + p.h, p.x + p.w, p.y + p.h, kInk, 1);
    canvas.Line(p.x + p.w, p.y, p.x + p.w, p.y + p.h, kInk, 1);

    // The series, a min/max column per pixel.
    canvas.Clip(p);
    const int columns = std::max(1, static_cast<int>(p.w));
    for (std::size_t k = 0; k < all.size(); ++k) {
        if (!Shown(k)) continue;
        const Series& s = *all[k];
        const int q = static_cast<int>(s.quantity);
        const double lo = ranges[q][0], span = ranges[q][1] - ranges[q][0];
        auto yOf = [&](double v) { return p.y + p.h - (v - lo) / span * p.h; };
        std::vector<double> run;
        for (const Column& c : Decimate(s, from_, to_, columns)) {
            const double x = p.x + c.x + 0.5;
            if (c.breakBefore && !run.empty()) {
                canvas.Polyline(run, kPalette[k % 8]);
                run.clear();
            }
            run.insert(run.end(), {x, yOf(c.first)});
            if (c.lo != c.hi) run.insert(run.end(), {x, yOf(c.lo), x, yOf(c.hi), x, yOf(c.last)});
        }
        if (!run.empty()) canvas.Polyline(run, kPalette[k % 8]);
    }
    for (int m = 0; m < 2; ++m)
        if (markers[m]) {
            const double x = XOf(layout, static_cast<double>(*markers[m]));
            canvas.Line(x, p.y, x, p.y + p.h, kMarker, 1, true);
            canvas.Text(x + 3, p.y + 12, m == 0 ? "A" : "B", 0, kInk, true);
        }
    if (cursor) {
        const double x = XOf(layout, static_cast<double>(*cursor));
        canvas.Line(x, p.y, x, p.y + p.h, kMarker, 1);
    }
    canvas.Clip(std::nullopt);
    return layout;
}

void ChartView::WriteVisibleCsv(std::ostream& out) const {
    WriteCsv(out, ShownSeries(), static_cast<std::int64_t>(std::ceil(from_)), static_cast<std::int64_t>(std::floor(to_)));
}

std::vector<Tick> TimeTicks(double from, double to, int room, bool relative) {
    static const double kSteps[] = {1,     2,     5,     10,    15,     30,     60,     120,     300,    600,
                                    900,   1800,  3600,  7200,  10800,  21600,  43200,  86400,   172800, 604800,
                                    1209600, 2592000};
    double step = kSteps[std::size(kSteps) - 1];
    for (const double s : kSteps)
        if ((to - from) / s <= room) {
            step = s;
            break;
        }
    std::vector<Tick> ticks;
    // Weeks from a Monday (1970-01-05), days and below from midnight.
    const double origin = step >= 604800 ? 4 * 86400.0 : 0;
    for (double t = std::ceil((from - origin) / step) * step + origin; t <= to && ticks.size() < 1000; t += step) {
        char buf[40];
        const auto whole = static_cast<long long>(t);
        if (relative) {
            std::snprintf(buf, sizeof buf, step < 3600 ? "%lld s" : "%lld h", step < 3600 ? whole : whole / 3600);
        } else {
            int f[6];
            capture::CivilFields(whole, f);
            if (step < 60) std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", f[3], f[4], f[5]);
            else if (step < 86400 && (f[3] || f[4])) std::snprintf(buf, sizeof buf, "%02d:%02d", f[3], f[4]);
            else std::snprintf(buf, sizeof buf, "%02d/%02d", f[1], f[2]);
        }
        ticks.push_back({t, buf});
    }
    return ticks;
}

std::vector<double> ValueTicks(double lo, double hi, int room, double& step) {
    std::vector<double> ticks;
    if (!(hi > lo) || room < 1) return ticks;
    const double raw = (hi - lo) / room;
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    step = mag * (raw <= mag ? 1 : raw <= 2 * mag ? 2 : raw <= 5 * mag ? 5 : 10);
    for (double v = std::ceil(lo / step) * step; v <= hi && ticks.size() < 100; v += step) ticks.push_back(v);
    return ticks;
}

// SVG

namespace {

std::string Hex(Color c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c.r, c.g, c.b);
    return buf;
}

std::string F(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

std::string Escape(const std::string& s) {
    std::string out;
    for (const char c : s) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default:
            // A box's text is Latin-1 at most; control bytes have no place in XML.
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
        }
    }
    return out;
}

}  // namespace

SvgCanvas::SvgCanvas(double width, double height) {
    out_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + F(width) +
           "\" height=\"" + F(height) + "\" viewBox=\"0 0 " + F(width) + " " + F(height) +
           "\" font-family=\"sans-serif\" font-size=\"11\">\n";
}

void SvgCanvas::Fill(const Rect& r, Color c) {
    out_ += "<rect x=\"" + F(r.x) + "\" y=\"" + F(r.y) + "\" width=\"" + F(r.w) + "\" height=\"" + F(r.h) +
            "\" fill=\"" + Hex(c) + "\"/>\n";
}

void SvgCanvas::Line(double x1, double y1, double x2, double y2, Color c, double width, bool dashed) {
    out_ += "<line x1=\"" + F(x1) + "\" y1=\"" + F(y1) + "\" x2=\"" + F(x2) + "\" y2=\"" + F(y2) + "\" stroke=\"" +
            Hex(c) + "\" stroke-width=\"" + F(width) + (dashed ? "\" stroke-dasharray=\"4 3" : "") + "\"/>\n";
}

void SvgCanvas::Polyline(const std::vector<double>& xy, Color c) {
    out_ += "<polyline fill=\"none\" stroke=\"" + Hex(c) + "\" stroke-width=\"1.2\" points=\"";
    for (std::size_t i = 0; i + 1 < xy.size(); i += 2) out_ += F(xy[i]) + "," + F(xy[i + 1]) + " ";
    out_ += "\"/>\n";
}

void SvgCanvas::Text(double x, double y, const std::string& text, int align, Color c, bool bold) {
    static const char* anchors[] = {"start", "middle", "end"};
    out_ += "<text x=\"" + F(x) + "\" y=\"" + F(y) + "\" fill=\"" + Hex(c) + "\" text-anchor=\"" +
            anchors[std::clamp(align, 0, 2)] + (bold ? "\" font-weight=\"bold" : "") + "\">" + Escape(text) +
            "</text>\n";
}

double SvgCanvas::TextWidth(const std::string& text) const { return 6.2 * static_cast<double>(text.size()); }

void SvgCanvas::Clip(const std::optional<Rect>& r) {
    if (clipped_) {
        out_ += "</g>\n";
        clipped_ = false;
    }
    if (!r) return;
    const std::string id = "c" + std::to_string(++clips_);
    out_ += "<clipPath id=\"" + id + "\"><rect x=\"" + F(r->x) + "\" y=\"" + F(r->y) + "\" width=\"" + F(r->w) +
            "\" height=\"" + F(r->h) + "\"/></clipPath>\n<g clip-path=\"url(#" + id + ")\">\n";
    clipped_ = true;
}

std::string SvgCanvas::Finish() {
    Clip(std::nullopt);
    out_ += "</svg>\n";
    return std::move(out_);
}

}  // namespace tessary::plot
