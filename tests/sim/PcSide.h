#pragma once
// The PC end of a simulated line (raw POSIX on the slave path), a bench of quick boxes, scripted exchanges.

#include "sim/Line.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace simtest {

using namespace std::chrono_literals;
using Ms = std::chrono::milliseconds;

class PcSide {
public:
    explicit PcSide(const std::string& path, unsigned baud = 9600)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        if (fd_ >= 0) setBaud(baud);
    }
    ~PcSide() { if (fd_ >= 0) ::close(fd_); }
    PcSide(const PcSide&) = delete;
    PcSide& operator=(const PcSide&) = delete;

    bool ok() const { return fd_ >= 0; }

    void setBaud(unsigned baud) {
        speed_t s = baud == 1200 ? B1200 : baud == 4800 ? B4800 : baud == 19200 ? B19200
                  : baud == 57600 ? B57600 : B9600;
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        cfsetispeed(&t, s);
        cfsetospeed(&t, s);
        ASSERT_EQ(tcsetattr(fd_, TCSANOW, &t), 0);
    }

    // Commands are short: the pty takes them whole.
    void send(const std::string& b) { ASSERT_EQ(::write(fd_, b.data(), b.size()), ssize_t(b.size())); }

    // One line without its "\r\n"; nullopt when none is complete within `wait`.
    std::optional<std::string> line(Ms wait = 1000ms) {
        auto deadline = std::chrono::steady_clock::now() + wait;
        std::size_t pos;
        while ((pos = buf_.find("\r\n")) == std::string::npos) {
            auto left = std::chrono::duration_cast<Ms>(deadline - std::chrono::steady_clock::now()).count();
            pollfd p{fd_, POLLIN, 0};
            char b[4096];
            ssize_t n = left > 0 && ::poll(&p, 1, static_cast<int>(left)) > 0 ? ::read(fd_, b, sizeof b) : 0;
            if (n <= 0) return std::nullopt;
            buf_.append(b, static_cast<std::size_t>(n));
        }
        std::string l = buf_.substr(0, pos);
        buf_.erase(0, pos + 2);
        return l;
    }

    std::optional<std::string> ask(const std::string& cmd, Ms wait = 1000ms) { return send(cmd + "\r\n"), line(wait); }

    // Sends "cmd\r\n" and reads the lines up to and without "}"; a failure if the stream stops first.
    std::vector<std::string> stream(const std::string& cmd) {
        send(cmd + "\r\n");
        std::vector<std::string> out;
        for (auto l = line(); l; l = line()) {
            if (*l == "}") return out;
            out.push_back(*l);
        }
        ADD_FAILURE() << cmd << ": the stream stopped after " << out.size() << " lines";
        return out;
    }

    // True when the PC sees the line gone (hang-up, EIO or end of file) within `wait`.
    bool hungUp(Ms wait) {
        pollfd p{fd_, POLLIN, 0};
        char c;
        if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0) return false;
        return (p.revents & (POLLHUP | POLLERR)) || ::read(fd_, &c, 1) == 0 || errno == EIO;
    }

private:
    int fd_ = -1;
    std::string buf_;
};

// Short gate, erase and copy times so the box's own delays stay small.
inline bravik::sim::BoxConfig box(int address, bravik::sim::Family f = bravik::sim::Family::Digital,
                                  unsigned baud = 9600) {
    bravik::sim::BoxConfig b;
    b.address = address;
    b.family = f;
    b.baud = baud;
    b.gate = "0.01";
    b.eraseMs = 50;
    b.copyMs = 100;
    return b;
}

inline bravik::sim::LineConfig unpaced(std::vector<bravik::sim::BoxConfig> boxes) {
    bravik::sim::LineConfig c;
    c.pacing = false;
    c.boxes = std::move(boxes);
    return c;
}

// A running line and the PC on it.
struct Bench {
    explicit Bench(const bravik::sim::LineConfig& c, unsigned pcBaud = 9600)
        : line(c), pc((line.start(), line.slavePath()), pcBaud) {}
    bravik::sim::Line line;
    PcSide pc;
};

// `send` (nothing when empty) and then `want`: that exact line; "" nothing within `wait`
// (default 300 ms); "*" any line; "~TEXT" noise as long as TEXT.
struct Step {
    std::string send;
    std::string want;
    Ms wait{0};
};

inline void play(PcSide& pc, const std::vector<Step>& steps) {
    for (const Step& s : steps) {
        SCOPED_TRACE("sent '" + s.send + "', want '" + s.want + "'");
        if (!s.send.empty()) pc.send(s.send + "\r\n");
        auto got = pc.line(s.wait.count() ? s.wait : s.want.empty() ? 300ms : 1000ms);
        if (s.want.empty() || !got) {
            EXPECT_EQ(got.has_value(), !s.want.empty()) << got.value_or("");
        } else if (s.want[0] == '~') {
            EXPECT_EQ(got->size(), s.want.size() - 1);
            EXPECT_NE(*got, s.want.substr(1));
        } else if (s.want != "*") {
            EXPECT_EQ(*got, s.want);
        }
    }
}

}  // namespace simtest
