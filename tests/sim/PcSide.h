#pragma once
// The PC end of a simulated line for tests: raw POSIX on the slave path, bytes in, bytes out.

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace simtest {

using namespace std::chrono_literals;
using Ms = std::chrono::milliseconds;

inline speed_t speedConst(unsigned baud) {
    switch (baud) {
        case 1200: return B1200;
        case 2400: return B2400;
        case 4800: return B4800;
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        default: return B115200;
    }
}

class PcSide {
public:
    explicit PcSide(const std::string& path, unsigned baud = 9600) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ >= 0) setBaud(baud);
    }
    ~PcSide() {
        if (fd_ >= 0) ::close(fd_);
    }
    PcSide(const PcSide&) = delete;
    PcSide& operator=(const PcSide&) = delete;

    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    bool setBaud(unsigned baud) {
        termios t{};
        if (tcgetattr(fd_, &t) != 0) return false;
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        cfsetispeed(&t, speedConst(baud));
        cfsetospeed(&t, speedConst(baud));
        return tcsetattr(fd_, TCSANOW, &t) == 0;
    }

    void send(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) done += static_cast<std::size_t>(n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR) return;
            else {
                pollfd p{fd_, POLLOUT, 0};
                ::poll(&p, 1, 100);
            }
        }
    }

    // One line without its "\r\n"; nullopt when none is complete within `wait`.
    std::optional<std::string> line(Ms wait = 1000ms) {
        auto deadline = std::chrono::steady_clock::now() + wait;
        for (;;) {
            auto pos = buf_.find("\r\n");
            if (pos != std::string::npos) {
                std::string l = buf_.substr(0, pos);
                buf_.erase(0, pos + 2);
                return l;
            }
            if (!fill(deadline)) return std::nullopt;
        }
    }

    // Sends "cmd\r\n" and reads one answer line.
    std::optional<std::string> ask(const std::string& cmd, Ms wait = 1000ms) {
        send(cmd + "\r\n");
        return line(wait);
    }

    // Reads lines up to and without "}"; false if the stream stops first.
    bool block(std::vector<std::string>& out, Ms wait = 1000ms) {
        for (int i = 0; i < 10000; ++i) {
            auto l = line(wait);
            if (!l) return false;
            if (*l == "}") return true;
            out.push_back(*l);
        }
        return false;
    }

    // Everything that arrives within `wait` (raw bytes).
    std::string drain(Ms wait) {
        auto deadline = std::chrono::steady_clock::now() + wait;
        while (fill(deadline)) {
        }
        std::string all;
        all.swap(buf_);
        return all;
    }

    // True when a read reports the line gone (EIO or end of file) within `wait`.
    bool hungUp(Ms wait) {
        auto deadline = std::chrono::steady_clock::now() + wait;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            ::poll(&p, 1, 50);
            if (p.revents & (POLLHUP | POLLERR)) return true;
            char c;
            ssize_t n = ::read(fd_, &c, 1);
            if (n == 0 || (n < 0 && errno == EIO)) return true;
        }
        return false;
    }

private:
    bool fill(std::chrono::steady_clock::time_point deadline) {
        auto left = std::chrono::duration_cast<Ms>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
        char b[4096];
        ssize_t n = ::read(fd_, b, sizeof b);
        if (n <= 0) return false;
        buf_.append(b, static_cast<std::size_t>(n));
        return true;
    }

    int fd_ = -1;
    std::string buf_;
};

}  // namespace simtest
