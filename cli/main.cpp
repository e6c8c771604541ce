// tessary-cli: signals and the terminal; the rest is Run().

#include "cli/Cli.h"

#include <atomic>
#include <csignal>
#include <iostream>
#include <unistd.h>

namespace {

std::atomic<int> gSignals{0};
std::atomic<bool> gStopAtOnce{true};

extern "C" void OnSignal(int) {
    if (gStopAtOnce.load()) {
        // Nothing is half written: end here, saying why.
        static const char kText[] = "tessary-cli: stopped by a signal\n";
        (void)!::write(STDERR_FILENO, kText, sizeof kText - 1);
        ::_exit(tessary::cli::kNoAnswer);
    }
    gSignals.fetch_add(1);
}

}  // namespace

int main(int argc, char* argv[]) {
    static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    tessary::cli::Environment env{std::cout, std::cerr, false, nullptr, "/dev", "/sys/class/tty", {}};
    env.terminal = ::isatty(STDERR_FILENO) == 1;
    env.signals = &gSignals;
    env.stopAtOnce = [](bool atOnce) { gStopAtOnce.store(atOnce); };
    const int rc = tessary::cli::Run(std::vector<std::string>(argv + 1, argv + argc), env);
    std::cout.flush();
    return rc;
}
