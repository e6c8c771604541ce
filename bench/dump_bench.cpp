// A whole-log dump of 10,000 sets at 115200 baud from the simulator: total time
// against the wire time of the bytes that crossed, and the peak memory of the
// dumping process, which must not grow with a second dump of the same size.
// The simulator runs in a child process so its own trace is not counted.

#include "app/Session.h"
#include "app/private/AppState.h"
#include "link/LinuxPort.h"
#include "log/LogFlows.h"
#include "sim/Line.h"
#include "testkit/RecordingOperator.h"
#include "testkit/ScriptLogView.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tessary;
using Clock = std::chrono::steady_clock;

namespace {
constexpr unsigned kSets = 10000, kBaud = 115200;

long MaxRssKb() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// The child: one box with a full log; tells its pty path, runs until the parent closes `hold`.
[[noreturn]] void RunSimulator(int pathOut, int hold) {
    bravik::sim::BoxConfig box;
    box.baud = kBaud;
    box.logSets = kSets;
    bravik::sim::LineConfig cfg;
    cfg.boxes = {box};
    bravik::sim::Line line(cfg);
    line.start();
    const std::string path = line.slavePath() + "\n";
    if (::write(pathOut, path.data(), path.size()) < 0) _exit(1);
    char c;
    while (::read(hold, &c, 1) > 0) {
    }
    line.stop();
    _exit(0);
}
}  // namespace

int main() {
    int toParent[2], toChild[2];
    if (::pipe(toParent) != 0 || ::pipe(toChild) != 0) return 1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(toParent[0]);
        ::close(toChild[1]);
        RunSimulator(toParent[1], toChild[0]);
    }
    ::close(toParent[1]);
    ::close(toChild[0]);
    std::string path;
    for (char c; ::read(toParent[0], &c, 1) == 1 && c != '\n';) path += c;

    link::PortMap ports;
    ports.SetFromCommandLine("COM1", path);
    link::DeviceLink dl(std::make_unique<link::PosixPort>(), [&](const std::string& n) { return ports.Resolve(n); });
    testkit::RecordingOperator op;
    testkit::ScriptLogView view;
    app::Session session(dl, ports, op, app::Options{});
    session.Reset();
    dl.SetLinkPortName("COM1");
    dl.SetLinkBaudRate(kBaud);
    int rc = 0;
    if (path.empty() || !dl.OpenComPort()) {
        std::fprintf(stderr, "dump_bench: cannot open the simulated line\n");
        rc = 1;
    } else {
        session.State().CurrentAddress = "#01";
        log::LogFlows flows(session, view);
        const auto file = std::filesystem::temp_directory_path() / ("tessary_dump_bench_" + std::to_string(::getpid()));
        std::printf("dump_bench: %u sets at %u baud, whole log, time formatted\n", kSets, kBaud);
        long rss[3] = {MaxRssKb(), 0, 0};
        for (int run = 1; run <= 2; ++run) {
            std::filesystem::remove(file);
            const auto t0 = Clock::now();
            const log::DumpTally out =
                flows.DumpLog({file.string(), {"", false, true, "1", std::to_string(kSets)}, kSets});
            const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
            rss[run] = MaxRssKb();
            // What crossed: "#01TM", its answer, "#01LD" and the stream, which the file holds whole.
            const std::uintmax_t bytes = 7 + 21 + 7 + std::filesystem::file_size(file);
            const double wire = static_cast<double>(bytes) * 10.0 / kBaud;
            const bool complete = !out.lost && !out.cancelled && out.fileError.empty() && out.lines == kSets + 1;
            std::printf("  run %d: %lld lines, %ju bytes on the wire, %.3f s (wire %.3f s): ratio %.4f%s\n", run,
                        out.lines, bytes, seconds, wire, seconds / wire, complete ? "" : "  (NOT COMPLETE)");
            if (!complete) rc = 1;
        }
        std::filesystem::remove(file);
        std::printf("  max RSS: %ld kB before, %ld kB after run 1, %ld kB after run 2 (growth in run 2: %ld kB)\n",
                    rss[0], rss[1], rss[2], rss[2] - rss[1]);
    }
    dl.ClosePort();
    ::close(toChild[1]);
    ::waitpid(child, nullptr, 0);
    return rc;
}
