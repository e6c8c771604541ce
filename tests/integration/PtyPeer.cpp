#include "PtyPeer.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace tessary::test {
namespace {

using SteadyClock = std::chrono::steady_clock;

[[noreturn]] void throwErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

int msLeft(SteadyClock::time_point until) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - SteadyClock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

PtyPeer::PtyPeer() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) throwErrno("posix_openpt");
    master_ = master;
    char name[128];
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0 ||
        ::fcntl(master, F_SETFL, O_NONBLOCK) != 0) {
        const int err = errno;
        closeFds();
        throw std::system_error(err, std::generic_category(), "pty set-up");
    }
    slavePath_ = name;
    keeper_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    stopEvent_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (keeper_ < 0 || stopEvent_ < 0) {
        const int err = errno;
        closeFds();
        if (stopEvent_ >= 0) ::close(stopEvent_);
        throw std::system_error(err, std::generic_category(), "pty slave");
    }
}

PtyPeer::~PtyPeer() {
    stopResponding();
    closeFds();
    ::close(stopEvent_);
}

void PtyPeer::closeFds() {
    if (const int m = master_.exchange(-1); m >= 0) ::close(m);
    if (keeper_ >= 0) ::close(keeper_);
    keeper_ = -1;
}

std::uint32_t PtyPeer::lineBaud() const {
    // Termios requests on a master act on the slave's settings.
    termios2 t{};
    if (master_ < 0 || ::ioctl(master_, TCGETS2, &t) != 0) return 0;
    return t.c_ospeed;
}

std::string PtyPeer::read(std::size_t count, std::chrono::milliseconds limit) {
    const auto until = SteadyClock::now() + limit;
    std::string got;
    while (got.size() < count && master_ >= 0) {
        char buf[4096];
        const std::size_t want = std::min(sizeof buf, count - got.size());
        const ssize_t n = ::read(master_, buf, want);
        if (n > 0) {
            got.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) break;
        pollfd p{master_, POLLIN, 0};
        const int r = ::poll(&p, 1, msLeft(until));
        if (r == 0 || (r > 0 && !(p.revents & POLLIN))) break;
    }
    return got;
}

std::string PtyPeer::readLine(std::chrono::milliseconds limit) {
    const auto until = SteadyClock::now() + limit;
    std::string got;
    while (got.empty() || got.back() != '\n') {
        std::string byte = read(1, std::chrono::milliseconds(msLeft(until)));
        if (byte.empty()) break;
        got += byte;
    }
    return got;
}

bool PtyPeer::writeAll(int fd, std::string_view bytes) {
    const auto until = SteadyClock::now() + std::chrono::seconds(2);
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, msLeft(until)) <= 0 || !(p.revents & POLLOUT)) return false;
    }
    return true;
}

bool PtyPeer::write(std::string_view bytes) { return master_ >= 0 && writeAll(master_, bytes); }

bool PtyPeer::writePaced(std::string_view bytes, std::uint32_t baud) {
    const auto byteTime = std::chrono::nanoseconds(10'000'000'000LL / baud);
    const auto start = SteadyClock::now();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::this_thread::sleep_until(start + byteTime * static_cast<long long>(i + 1));
        if (!write(bytes.substr(i, 1))) return false;
    }
    return true;
}

void PtyPeer::hangUp() {
    stopResponding();
    closeFds();
}

void PtyPeer::respond(Responder responder) {
    stopResponding();
    responder_ = std::thread([this, r = std::move(responder)]() mutable { respondLoop(std::move(r)); });
}

void PtyPeer::stopResponding() {
    if (!responder_.joinable()) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(stopEvent_, &one, sizeof one);
    responder_.join();
    std::uint64_t drained = 0;
    [[maybe_unused]] const ssize_t m = ::read(stopEvent_, &drained, sizeof drained);
}

std::vector<std::string> PtyPeer::linesHeard() const {
    std::lock_guard lock(mutex_);
    return heard_;
}

// Sleeps until `until` unless stopped first; true when stopped.
bool PtyPeer::waitForStop(SteadyClock::time_point until) const {
    // ppoll: paced replies at 115200 bit/s need steps well under a millisecond.
    for (;;) {
        auto left = until - SteadyClock::now();
        if (left < SteadyClock::duration::zero()) left = SteadyClock::duration::zero();
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec ts{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
        pollfd p{stopEvent_, POLLIN, 0};
        const int r = ::ppoll(&p, 1, &ts, nullptr);
        if (r > 0) return true;
        if (r == 0) return false;
    }
}

void PtyPeer::respondLoop(Responder responder) {
    const int master = master_;
    std::string pending;
    while (master >= 0) {
        pollfd fds[2] = {{master, POLLIN, 0}, {stopEvent_, POLLIN, 0}};
        // The stop event ends the wait; the time limit only bounds it.
        if (::poll(fds, 2, 1000) < 0 && errno != EINTR) return;
        if (fds[1].revents) return;
        if (!(fds[0].revents & POLLIN)) {
            if (fds[0].revents && waitForStop(SteadyClock::now() + std::chrono::milliseconds(5))) return;
            continue;
        }
        char buf[512];
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0) continue;
        const auto arrived = SteadyClock::now();
        pending.append(buf, static_cast<std::size_t>(n));

        for (std::size_t eol; (eol = pending.find("\r\n")) != std::string::npos;) {
            std::string line = pending.substr(0, eol);
            pending.erase(0, eol + 2);
            {
                std::lock_guard lock(mutex_);
                heard_.push_back(line);
            }
            const std::optional<Reply> reply = responder(line);
            if (!reply) continue;
            if (waitForStop(arrived + reply->delay)) return;
            if (reply->pacedBaud == 0) {
                writeAll(master, reply->bytes);
            } else {
                const auto byteTime = std::chrono::nanoseconds(10'000'000'000LL / reply->pacedBaud);
                const auto start = SteadyClock::now();
                for (std::size_t i = 0; i < reply->bytes.size(); ++i) {
                    if (waitForStop(start + byteTime * static_cast<long long>(i + 1))) return;
                    writeAll(master, std::string_view(reply->bytes).substr(i, 1));
                }
            }
            if (reply->hangUpAfter) {
                // A hang-up discards input the port side has not read yet; let
                // it take the reply first. Polling the slave pushes bytes still
                // in the kernel's flip buffer into its queue, so FIONREAD is whole.
                const auto giveUp = SteadyClock::now() + std::chrono::seconds(1);
                for (;;) {
                    pollfd p{keeper_, POLLIN, 0};
                    int unread = 0;
                    if (::poll(&p, 1, 0) < 0 || ::ioctl(keeper_, FIONREAD, &unread) != 0 || unread == 0) break;
                    if (waitForStop(std::min(giveUp, SteadyClock::now() + std::chrono::milliseconds(1)))) return;
                    if (SteadyClock::now() >= giveUp) break;
                }
                closeFds();
                return;
            }
        }
    }
}

}  // namespace tessary::test
