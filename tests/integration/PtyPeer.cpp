#include "PtyPeer.h"

#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <system_error>
#include <unistd.h>

namespace tessary::test {
namespace {

using SteadyClock = std::chrono::steady_clock;

int msLeft(SteadyClock::time_point until) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - SteadyClock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

PtyPeer::PtyPeer() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0 || ::fcntl(master_, F_SETFL, O_NONBLOCK) != 0 ||
        (keeper_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0) {
        const int err = errno;
        hangUp();
        throw std::system_error(err, std::generic_category(), "pty set-up");
    }
    slavePath_ = name;
}

PtyPeer::~PtyPeer() { hangUp(); }

termios2 PtyPeer::line() const {
    termios2 t{};
    if (::ioctl(master_, TCGETS2, &t) != 0) throw std::system_error(errno, std::generic_category(), "TCGETS2");
    return t;
}

void PtyPeer::setLine(const termios2& settings) {
    if (::ioctl(master_, TCSETS2, &settings) != 0) throw std::system_error(errno, std::generic_category(), "TCSETS2");
}

std::string PtyPeer::read(std::size_t count, std::chrono::milliseconds limit) {
    const auto until = SteadyClock::now() + limit;
    std::string got;
    while (got.size() < count && master_ >= 0) {
        char buf[4096];
        const ssize_t n = ::read(master_, buf, std::min(sizeof buf, count - got.size()));
        if (n > 0) {
            got.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) break;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, msLeft(until)) <= 0 || !(p.revents & POLLIN)) break;
    }
    return got;
}

bool PtyPeer::write(std::string_view bytes) {
    const auto until = SteadyClock::now() + std::chrono::seconds(2);
    while (!bytes.empty() && master_ >= 0) {
        const ssize_t n = ::write(master_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd p{master_, POLLOUT, 0};
        if (::poll(&p, 1, msLeft(until)) <= 0 || !(p.revents & POLLOUT)) return false;
    }
    return bytes.empty();
}

void PtyPeer::hangUp() {
    if (master_ >= 0) ::close(master_);
    if (keeper_ >= 0) ::close(keeper_);
    master_ = keeper_ = -1;
}

}  // namespace tessary::test
