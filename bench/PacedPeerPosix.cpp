#include "PacedPeer.h"

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::nanoseconds;

class PtyPeer final : public PacedPeer {
public:
    PtyPeer(std::uint32_t baud, std::string reply) : baud_(baud), reply_(std::move(reply)) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        path_ = ::ptsname(master_);
        keeper_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);  // keeps the master from seeing a hang-up
        // A wire has no line discipline. A device server that closes a
        // connection puts back the settings it found: they must be raw too.
        termios t{};
        if (keeper_ >= 0 && ::tcgetattr(keeper_, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(keeper_, TCSANOW, &t);
        }
        thread_ = std::thread([this] { Run(); });
    }
    ~PtyPeer() override {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (keeper_ >= 0) ::close(keeper_);
        if (master_ >= 0) ::close(master_);
    }
    const std::string& path() const override { return path_; }
    bool started() const { return thread_.joinable(); }

private:
    nanoseconds CharTime() const { return nanoseconds(10'000'000'000LL / baud_); }

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
            const bool silent = line.rfind("#07", 0) == 0;
            line.clear();
            if (silent) continue;
            for (char c : reply_) {
                due += CharTime();
                std::this_thread::sleep_until(due);
                [[maybe_unused]] auto w = ::write(master_, &c, 1);
            }
        }
    }

    std::uint32_t baud_;
    std::string reply_;
    int master_ = -1, keeper_ = -1;
    std::string path_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace

std::unique_ptr<PacedPeer> StartPacedPeer(std::uint32_t baud, const std::string& reply, std::string& error) {
    auto peer = std::make_unique<PtyPeer>(baud, reply);
    if (peer->started()) return peer;
    error = "no pseudo-terminal";
    return nullptr;
}
