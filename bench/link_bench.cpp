// Exchange time against the wire's limit (10 bits a byte at the line's rate),
// and how late a silent exchange ends past its time-out.
//
// The peer (bench/PacedPeer.h) behaves like a line. With --device PATH the
// bench talks to one started elsewhere: `link_bench --peer LINK SECONDS` on
// Linux, reached from Windows under Wine through a COM port; only the 9600
// figures are made then.

#include "PacedPeer.h"
#include "app/LineWatch.h"
#include "link/DeviceLink.h"
#include "link/System.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include "../tests/cli/Ser2net.h"
#endif

using namespace tessary;
using Clock = std::chrono::steady_clock;
using std::chrono::duration;
using std::chrono::nanoseconds;

namespace {

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

const std::string kReply = "2026:12:05:14:03:27,8388607,1048576,14.69595,23.4561\r\n";

// The line to measure: the given device, or a peer of our own.
struct Line {
    std::unique_ptr<PacedPeer> peer;
    std::string path;
    Line(std::uint32_t baud, const std::string& device) : path(device) {
        std::string error;
        if (path.empty() && (peer = StartPacedPeer(baud, kReply, error))) path = peer->path();
        if (path.empty()) std::printf("no line: %s\n", error.c_str());
    }
};

// `over`: the line reached through a device server instead of the peer's own path.
int ExchangeRatio(std::uint32_t baud, int count, double target, const std::string& device, double* median = nullptr,
                  const std::string& over = {}) {
    const std::string command = "#01TM;D3;D4;D1;D2\r\n";
    const std::string reply = kReply;
    Line peer(baud, over.empty() ? device : over);
    link::DeviceLink dl(link::MakeSystemPort(), [&](const std::string&) { return peer.path; });
    dl.SetLinkBaudRate(baud);
    // A server lets its line go a moment after the last client left.
    for (int i = 0; i < 20 && !over.empty() && !dl.OpenComPort(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!dl.IsOpen() && !dl.OpenComPort()) {
        std::printf("cannot open %s: %s\n", peer.path.c_str(), dl.LastOpenStatus().text.c_str());
        return 1;
    }
    const double wire = static_cast<double>(command.size() + reply.size()) * 10.0 / baud;
    std::vector<double> ratios;
    int failed = 0;
    std::string firstFailure;
    for (int i = 0; i < count; ++i) {
        const auto t0 = Clock::now();
        const link::Reply r = dl.Exchange(command);
        const double took = duration<double>(Clock::now() - t0).count();
        // A failed exchange is counted and said, and the figure is still made.
        if (r.text == "NoConnect") {
            if (failed++ == 0) firstFailure = "exchange " + std::to_string(i) + ": " + std::string(link::OutcomeText(r.outcome));
            continue;
        }
        ratios.push_back(took / wire);
    }
    if (ratios.empty()) {
        std::printf("exchange at %u baud%s%s: every exchange failed (%s)  MISSED\n", baud, over.empty() ? "" : " over ",
                    over.substr(0, over.find(':')).c_str(), firstFailure.c_str());
        return 1;
    }
    const double mid = Percentile(ratios, 0.5);
    if (median) *median = mid;
    const bool met = mid <= target && failed == 0;
    std::printf("exchange at %6u baud%s%s: wire %.2f ms, ratio median %.3f p90 %.3f max %.3f  (target <= %.2f) %s\n",
                baud, over.empty() ? "" : " over ", over.substr(0, over.find(':')).c_str(), wire * 1000, mid,
                Percentile(ratios, 0.9), Percentile(ratios, 1.0), target, met ? "ok" : "MISSED");
    if (failed) std::printf("  %d of %d exchanges failed, the first %s  MISSED\n", failed, count, firstFailure.c_str());
    return met ? 0 : 1;
}

int SilentLateness(int count, const std::string& device) {
    Line peer(9600, device);
    link::DeviceLink dl(link::MakeSystemPort(), [&](const std::string&) { return peer.path; });
    if (!dl.OpenComPort()) return 1;
    dl.SetResponseTimeoutMs(50);
    std::vector<double> late;
    for (int i = 0; i < count; ++i) {
        const auto t0 = Clock::now();
        dl.SendCommand("#07ID\r\n");
        late.push_back(duration<double, std::milli>(Clock::now() - t0).count() - 50.0);
    }
    const double p99 = Percentile(late, 0.99);
    std::printf("silent exchange past its time-out: median %.3f ms, p99 %.3f ms, max %.3f ms  (target p99 <= 5 ms) %s\n",
                Percentile(late, 0.5), p99, Percentile(late, 1.0), p99 <= 5.0 ? "ok" : "MISSED");
    return p99 <= 5.0 ? 0 : 1;
}

#ifndef _WIN32
// The same exchange through ser2net on 127.0.0.1 to a peer of our own, raw and
// RFC 2217, against `factor` times the pty's own figure.
int NetworkRatios(std::uint32_t baud, int count, double ptyMedian, double factor) {
    Line peer(baud, {}), rawPeer(baud, {});
    const auto dir = std::filesystem::temp_directory_path() / ("link_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    int failures = 0;
    {
        clitest::Ser2net server(dir.string(), peer.path, static_cast<int>(baud), rawPeer.path);
        for (const auto& url : {server.Raw(), server.Rfc()})
            failures += ExchangeRatio(baud, count, ptyMedian * factor, {}, nullptr, url);
    }
    std::filesystem::remove_all(dir);
    return failures;
}

// A lost server back: from the moment it listens again to the link's first answer.
int Reconnect() {
    Line peer(9600, {});
    const auto dir = std::filesystem::temp_directory_path() / ("link_bench_r" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    double worst = 0;
    {
        clitest::Ser2net server(dir.string(), peer.path, 9600);
        link::DeviceLink dl(link::MakeSystemPort(), [&](const std::string&) { return server.Rfc(); });
        app::LineWatch watch(dl);
        if (!dl.OpenComPort()) return 1;
        watch.Arm("#01", dl.SendCommand("#01ID\r\n"));
        for (int away : {300, 900, 3000}) {
            server.Stop();
            const auto since = Clock::now();
            dl.SendCommand("#01ID\r\n");
            Clock::time_point listening{};
            std::thread restart([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(away));
                server.Start();
                listening = Clock::now();
            });
            const auto end = since + std::chrono::seconds(20);
            const auto r = watch.AwaitReturn(since, [&] { return Clock::now() > end; },
                                             [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
            const auto back = Clock::now();
            restart.join();
            const double s = r.kind == app::LineWatch::ReturnKind::Resumed ? duration<double>(back - listening).count() : 99;
            std::printf("reconnect after the server was away %4d ms: %.3f s after it listened again\n", away, s);
            worst = std::max(worst, s);
        }
    }
    std::filesystem::remove_all(dir);
    std::printf("reconnect: worst %.3f s  (target <= 1.00 s) %s\n", worst, worst <= 1.0 ? "ok" : "MISSED");
    return worst <= 1.0 ? 0 : 1;
}
#endif

// A 9600 peer for a bench on another system, at LINK for SECONDS.
int Peer(const std::string& linkPath, int seconds) {
    std::string error;
    const auto peer = StartPacedPeer(9600, kReply, error);
    if (!peer) {
        std::printf("no peer: %s\n", error.c_str());
        return 1;
    }
    std::error_code ec;
    std::filesystem::remove(linkPath, ec);
    std::filesystem::create_symlink(peer->path(), linkPath, ec);
    if (ec) {
        std::printf("cannot link %s: %s\n", linkPath.c_str(), ec.message().c_str());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    std::filesystem::remove(linkPath, ec);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto value = [&](const std::string& name) {
        const auto it = std::find(args.begin(), args.end(), name);
        return it != args.end() && it + 1 != args.end() ? *(it + 1) : std::string();
    };
    if (!value("--peer").empty()) return Peer(value("--peer"), args.size() > 2 ? std::atoi(args[2].c_str()) : 60);
    const bool quick = std::find(args.begin(), args.end(), "--quick") != args.end();
    const std::string device = value("--device");
    int failures = 0;
    double pty9600 = 0, pty115200 = 0;
    failures += ExchangeRatio(9600, quick ? 10 : 50, 1.02, device, &pty9600);
    if (device.empty()) failures += ExchangeRatio(115200, quick ? 50 : 500, 1.10, device, &pty115200);
    failures += SilentLateness(quick ? 20 : 200, device);
#ifndef _WIN32
    // Lines behind a device server, when one is installed.
    if (device.empty() && std::system("command -v ser2net >/dev/null") == 0) {
        failures += NetworkRatios(9600, quick ? 10 : 50, pty9600, 1.05);
        failures += NetworkRatios(115200, quick ? 50 : 500, pty115200, 1.25);
        failures += Reconnect();
    }
#endif
    return failures == 0 ? 0 : 1;
}
