// bravik-sim: runs simulated lines until SIGINT or SIGTERM.

#include "sim/Line.h"
#include "sim/Options.h"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>

namespace {

using bravik::sim::Traffic;

std::string printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02X", c);
            out += b;
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    bravik::sim::Invocation setup;
    std::string error;
    if (!bravik::sim::parseArgs(std::vector<std::string>(argv + 1, argv + argc), setup, error)) {
        std::fprintf(stderr, "bravik-sim: %s\n(try --help)\n", error.c_str());
        return 2;
    }
    if (setup.help) {
        std::fputs(bravik::sim::usage().c_str(), stdout);
        return 0;
    }

    // Signals are taken by sigtimedwait below; the line threads inherit the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGUSR1);
    sigaddset(&stopSignals, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    const auto t0 = std::chrono::steady_clock::now();
    auto printMu = std::make_shared<std::mutex>();
    std::vector<std::unique_ptr<bravik::sim::Line>> lines;
    for (const auto& cfg : setup.lines) {
        auto line = std::make_unique<bravik::sim::Line>(cfg);
        if (setup.trace) {
            line->setTraceSink([name = cfg.name, t0, printMu](const Traffic& t) {
                double s = std::chrono::duration<double>(t.time - t0).count();
                const char* dir = t.dir == Traffic::Dir::FromPc ? "<" : t.dir == Traffic::Dir::ToPc ? ">" : "*";
                std::lock_guard lk(*printMu);
                if (t.dir == Traffic::Dir::Event)
                    std::printf("%10.3f %s * %s%s\n", s, name.c_str(),
                                t.address > 0 ? ("#" + std::to_string(t.address) + " ").c_str() : "", t.text.c_str());
                else
                    std::printf("%10.3f %s %s %-6u %s\n", s, name.c_str(), dir, t.baud, printable(t.text).c_str());
                std::fflush(stdout);
            });
        }
        try {
            line->start();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bravik-sim: %s: %s\n", cfg.name.c_str(), e.what());
            return 1;
        }
        std::printf("%s: %s", cfg.name.c_str(), line->slavePath().c_str());
        if (!cfg.linkPath.empty()) std::printf(" -> %s", line->ptyName().c_str());
        std::printf("  boxes:");
        for (const auto& b : cfg.boxes)
            std::printf(" #%02d %s %u", b.address, b.family == bravik::sim::Family::Digital ? "Digital" : "Kestin",
                        b.baud);
        std::printf("%s\n", cfg.pacing ? "" : "  (no pacing)");
        std::fflush(stdout);
        lines.push_back(std::move(line));
    }

    enum { Up, Down, Back } phase = Up;
    for (;;) {
        timespec wait{0, 100'000'000};
        int sig = sigtimedwait(&stopSignals, nullptr, &wait);
        if (sig == SIGINT || sig == SIGTERM) break;
        // The operator's own plug: pull it, put it back.
        if (sig == SIGUSR1) {
            for (auto& l : lines) l->hangUp();
            phase = Down;
            continue;
        }
        if (sig == SIGUSR2) {
            for (auto& l : lines) {
                try {
                    if (!l->running()) l->restore(setup.returnOther);
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "bravik-sim: cannot bring a line back: %s\n", e.what());
                }
            }
            phase = Back;
            continue;
        }
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
        if (setup.hangUpAfterMs > 0 && phase == Up && ms >= setup.hangUpAfterMs) {
            for (auto& l : lines) l->hangUp();
            phase = Down;
        } else if (phase == Down && setup.hangUpForMs > 0 && ms >= setup.hangUpAfterMs + setup.hangUpForMs) {
            for (auto& l : lines) {
                try {
                    l->restore(setup.returnOther);
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "bravik-sim: cannot bring a line back: %s\n", e.what());
                }
            }
            phase = Back;
        }
    }
    for (auto& l : lines) l->stop();
    return 0;
}
