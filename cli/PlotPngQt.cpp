#include "cli/PlotPng.h"
#include "ui/ChartImage.h"

namespace tessary::cli {
PngWriter PlotPngWriter() { return &ui::WriteChartPng; }
}  // namespace tessary::cli
