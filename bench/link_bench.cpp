// Exchange time against the wire's limit (10 bits a byte at the line's rate),
// and how late a silent exchange ends past its time-out.
//
// The peer (bench/PacedPeer.h) behaves like a line. With --device PATH the
// bench talks to one started elsewhere: `link_bench --peer LINK SECONDS` on
// Linux, reached from Windows under Wine through a COM port; only the 9600
// figures are made then.

#include "PacedPeer.h"
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

int ExchangeRatio(std::uint32_t baud, int count, double target, const std::string& device) {
    const std::string command = "#01TM;D3;D4;D1;D2\r\n";
    const std::string reply = kReply;
    Line peer(baud, device);
    link::DeviceLink dl(link::MakeSystemPort(), [&](const std::string&) { return peer.path; });
    dl.SetLinkBaudRate(baud);
    if (!dl.OpenComPort()) {
        std::printf("cannot open %s: %s\n", peer.path.c_str(), dl.LastOpenStatus().text.c_str());
        return 1;
    }
    const double wire = static_cast<double>(command.size() + reply.size()) * 10.0 / baud;
    std::vector<double> ratios;
    for (int i = 0; i < count; ++i) {
        const auto t0 = Clock::now();
        const std::string r = dl.SendCommand(command);
        const double took = duration<double>(Clock::now() - t0).count();
        if (r == "NoConnect") {
            std::printf("exchange %d failed\n", i);
            return 1;
        }
        ratios.push_back(took / wire);
    }
    const double median = Percentile(ratios, 0.5);
    std::printf("exchange at %6u baud: wire %.2f ms, ratio median %.3f p90 %.3f max %.3f  (target <= %.2f) %s\n", baud,
                wire * 1000, median, Percentile(ratios, 0.9), Percentile(ratios, 1.0), target,
                median <= target ? "ok" : "MISSED");
    return median <= target ? 0 : 1;
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
    failures += ExchangeRatio(9600, quick ? 10 : 50, 1.02, device);
    if (device.empty()) failures += ExchangeRatio(115200, quick ? 50 : 500, 1.10, device);
    failures += SilentLateness(quick ? 20 : 200, device);
    return failures == 0 ? 0 : 1;
}
