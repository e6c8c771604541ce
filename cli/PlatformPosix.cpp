#include "cli/Cli.h"
#include "cli/Platform.h"

#include <csignal>
#include <unistd.h>

namespace tessary::cli {
namespace {

std::atomic<int>* gCount = nullptr;
const std::atomic<bool>* gAtOnce = nullptr;

extern "C" void OnSignal(int) {
    if (gAtOnce->load()) {
        // Nothing is half written: end here, saying why.
        static const char kText[] = "tessary-cli: stopped by a signal\n";
        (void)!::write(STDERR_FILENO, kText, sizeof kText - 1);
        ::_exit(kNoAnswer);
    }
    gCount->fetch_add(1);
}

}  // namespace

void InstallStopHandlers(std::atomic<int>& count, const std::atomic<bool>& atOnce) {
    static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);
    gCount = &count;
    gAtOnce = &atOnce;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

std::vector<std::string> CommandLine(int argc, char* argv[]) { return {argv + 1, argv + argc}; }

}  // namespace tessary::cli
