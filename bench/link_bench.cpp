// Exchange time against the wire's limit (10 bits a byte at the line's rate),
// and how late a silent exchange ends past its time-out.
//
// The peer stands on a pseudo-terminal and behaves like a line: it takes a
// command as arriving only when its last byte would have crossed the wire, then
// sends its answer one byte per character time, on absolute deadlines.

#include "link/DeviceLink.h"
#include "link/PosixPort.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tessary;
using Clock = std::chrono::steady_clock;
using std::chrono::duration;
using std::chrono::nanoseconds;

namespace {

class PacedPeer {
public:
    PacedPeer(std::uint32_t baud, std::string reply) : baud_(baud), reply_(std::move(reply)) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) throw std::runtime_error("no pty");
        path_ = ::ptsname(master_);
        keeper_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);  // keeps the master from seeing a hang-up
        thread_ = std::thread([this] { Run(); });
    }
    ~PacedPeer() {
        stop_ = true;
        thread_.join();
        ::close(keeper_);
        ::close(master_);
    }
    const std::string& path() const { return path_; }
    nanoseconds CharTime() const { return nanoseconds(10'000'000'000LL / baud_); }

private:
    void Run() {
        std::string line;
        Clock::time_point first{};
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            char buf[256];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) continue;
            if (line.empty()) first = Clock::now();
            line.append(buf, static_cast<std::size_t>(n));
            if (line.back() != '\n') continue;
            // The command's last byte lands one character time per byte after the first.
            auto due = first + CharTime() * static_cast<long>(line.size());
            line.clear();
            if (silent_) continue;
            for (char c : reply_) {
                due += CharTime();
                std::this_thread::sleep_until(due);
                [[maybe_unused]] auto w = ::write(master_, &c, 1);
            }
        }
    }

public:
    std::atomic<bool> silent_{false};

private:
    std::uint32_t baud_;
    std::string reply_;
    int master_ = -1, keeper_ = -1;
    std::string path_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

int ExchangeRatio(std::uint32_t baud, int count, double target) {
    const std::string command = "#01TM;D3;D4;D1;D2\r\n";
    const std::string reply = "2026:12:05:14:03:27,8388607,1048576,14.69595,23.4561\r\n";
    PacedPeer peer(baud, reply);
    link::DeviceLink dl(std::make_unique<link::PosixPort>(), [&](const std::string&) { return peer.path(); });
    dl.SetLinkBaudRate(baud);
    if (!dl.OpenComPort()) {
        std::printf("cannot open %s\n", peer.path().c_str());
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

int SilentLateness(int count) {
    PacedPeer peer(9600, "x\r\n");
    peer.silent_ = true;
    link::DeviceLink dl(std::make_unique<link::PosixPort>(), [&](const std::string&) { return peer.path(); });
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

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    int failures = 0;
    failures += ExchangeRatio(9600, quick ? 10 : 50, 1.02);
    failures += ExchangeRatio(115200, quick ? 50 : 500, 1.10);
    failures += SilentLateness(quick ? 20 : 200);
    return failures == 0 ? 0 : 1;
}
