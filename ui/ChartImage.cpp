#include "ui/ChartImage.h"

#include <QGuiApplication>
#include <QImageWriter>
#include <QPolygonF>
#include <memory>

namespace tessary::ui {

namespace {

QColor ToQ(plot::Color c) { return QColor(c.r, c.g, c.b); }

QString Text(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

PainterCanvas::PainterCanvas(QPainter& painter) : painter_(painter) {
    font_ = painter_.font();
    font_.setPixelSize(11);
    bold_ = font_;
    bold_.setBold(true);
    painter_.setRenderHint(QPainter::Antialiasing, true);
}

void PainterCanvas::Fill(const plot::Rect& r, plot::Color c) { painter_.fillRect(QRectF(r.x, r.y, r.w, r.h), ToQ(c)); }

void PainterCanvas::Line(double x1, double y1, double x2, double y2, plot::Color c, double width, bool dashed) {
    QPen pen(ToQ(c), width);
    if (dashed) pen.setStyle(Qt::DashLine);
    painter_.setPen(pen);
    painter_.drawLine(QPointF(x1, y1), QPointF(x2, y2));
}

void PainterCanvas::Polyline(const std::vector<double>& xy, plot::Color c) {
    QPolygonF points;
    points.reserve(static_cast<qsizetype>(xy.size() / 2));
    for (std::size_t i = 0; i + 1 < xy.size(); i += 2) points.append(QPointF(xy[i], xy[i + 1]));
    // A column's min/max runs back over itself: a thin pen without smoothing
    // keeps a million points' redraw within a frame.
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setPen(QPen(ToQ(c), 1));
    if (points.size() == 1) painter_.drawPoint(points.front());
    else painter_.drawPolyline(points);
    painter_.setRenderHint(QPainter::Antialiasing, true);
}

void PainterCanvas::Text(double x, double y, const std::string& text, int align, plot::Color c, bool bold) {
    painter_.setFont(bold ? bold_ : font_);
    painter_.setPen(ToQ(c));
    const QString t = ui::Text(text);
    const double w = QFontMetricsF(painter_.font()).horizontalAdvance(t);
    painter_.drawText(QPointF(x - (align == 1 ? w / 2 : align == 2 ? w : 0), y), t);
}

double PainterCanvas::TextWidth(const std::string& text) const {
    return QFontMetricsF(font_).horizontalAdvance(ui::Text(text));
}

void PainterCanvas::Clip(const std::optional<plot::Rect>& r) {
    if (r) painter_.setClipRect(QRectF(r->x, r->y, r->w, r->h));
    else painter_.setClipping(false);
}

QImage ChartImage(const plot::ChartView& view, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    PainterCanvas canvas(painter);
    view.Draw(canvas, width, height);
    return image;
}

std::string WriteChartPng(const plot::ChartView& view, int width, int height, const std::string& path) {
    std::unique_ptr<QGuiApplication> app;
    if (!QGuiApplication::instance()) {
        // Headless: no display is asked for.
        static int argc = 3;
        static char arg0[] = "tessary-cli", arg1[] = "-platform", arg2[] = "offscreen";
        static char* argv[] = {arg0, arg1, arg2, nullptr};
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    QImageWriter writer(Text(path), "png");
    if (!writer.write(ChartImage(view, width, height))) return writer.errorString().toStdString();
    return {};
}

}  // namespace tessary::ui
