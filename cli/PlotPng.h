#pragma once
// The PNG writer of "plot" in this build: empty where there is no raster painter.

#include "cli/Cli.h"

namespace tessary::cli {
PngWriter PlotPngWriter();
}
