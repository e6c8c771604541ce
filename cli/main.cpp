// tessary-cli: stop requests and the terminal; the rest is Run().

#include "cli/Cli.h"
#include "cli/Platform.h"
#include "cli/PlotPng.h"

#include <atomic>
#include <iostream>

namespace {

std::atomic<int> gSignals{0};
std::atomic<bool> gStopAtOnce{true};

}  // namespace

int main(int argc, char* argv[]) {
    tessary::cli::InstallStopHandlers(gSignals, gStopAtOnce);

    tessary::cli::Environment env{std::cout, std::cerr, false, nullptr, "/dev", "/sys/class/tty", {}};
    env.terminal = tessary::cli::StandardErrorIsTerminal();
    env.signals = &gSignals;
    env.stopAtOnce = [](bool atOnce) { gStopAtOnce.store(atOnce); };
    env.writePng = tessary::cli::PlotPngWriter();
    const int rc = tessary::cli::Run(tessary::cli::CommandLine(argc, argv), env);
    std::cout.flush();
    return rc;
}
