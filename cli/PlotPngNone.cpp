#include "cli/PlotPng.h"

namespace tessary::cli {
PngWriter PlotPngWriter() { return {}; }
}  // namespace tessary::cli
