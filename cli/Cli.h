#pragma once
// tessary-cli: the window's work from scripts. Run() is the whole program but
// for the process's own business (signals, the terminal test), so tests run it
// in-process against the simulator.

#include <atomic>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace tessary::plot {
class ChartView;
}

namespace tessary::cli {

// Draws the chart into a PNG file; empty on success, else why not. A build
// without a drawing library has none.
using PngWriter = std::function<std::string(const plot::ChartView& view, int width, int height, const std::string& path)>;

enum Exit : int {
    kDone = 0,
    kNoAnswer = 1,  // the box did not answer or reported an error
    kUsage = 2,
    kFileError = 3,  // a file could not be read or written
};

struct Environment {
    std::ostream& out;
    std::ostream& err;
    bool terminal = false;                      // standard error is a terminal: progress is shown
    const std::atomic<int>* signals = nullptr;  // SIGINT/SIGTERM seen so far
    std::string devDir = "/dev";                // where the system's serial devices are listed
    std::string sysDir = "/sys/class/tty";      // where their adapters are described
    // Called with true while a signal may end the program at once (nothing is
    // half written), false while the command ends itself at a clean point.
    std::function<void(bool)> stopAtOnce;
    std::string byIdDir = "/dev/serial/by-id";  // the stable names of serial devices
    std::string byPathDir = "/dev/serial/by-path";
    PngWriter writePng = nullptr;  // "plot --png"
};

int Run(const std::vector<std::string>& args, Environment& env);
// "plot": needs no line.
int RunPlot(const struct Invocation& inv, Environment& env);

}  // namespace tessary::cli
