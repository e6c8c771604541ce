#pragma once
// The chart's drawing onto a QPainter: the window's chart, its PNG and
// clipboard images, and tessary-cli's PNG. Qt GUI only, no widgets.

#include "plot/ChartView.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <string>

namespace tessary::ui {

class PainterCanvas : public plot::Canvas {
public:
    explicit PainterCanvas(QPainter& painter);
    void Fill(const plot::Rect& r, plot::Color c) override;
    void Line(double x1, double y1, double x2, double y2, plot::Color c, double width, bool dashed) override;
    void Polyline(const std::vector<double>& xy, plot::Color c) override;
    void Text(double x, double y, const std::string& text, int align, plot::Color c, bool bold) override;
    double TextWidth(const std::string& text) const override;
    void Clip(const std::optional<plot::Rect>& r) override;

private:
    QPainter& painter_;
    QFont font_, bold_;
};

QImage ChartImage(const plot::ChartView& view, int width, int height);
// For a program without a window of its own: makes an offscreen GUI
// application when there is none. Empty on success, else why not.
std::string WriteChartPng(const plot::ChartView& view, int width, int height, const std::string& path);

}  // namespace tessary::ui
