#include "link/NetSocket.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <vector>

namespace tessary::link {

namespace {

int PollFor(int fd, short events, Clock::time_point deadline, short& revents) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
        pollfd p{fd, events, 0};
        // Round up: a wait of 0.4 ms must not become a busy loop of zero waits;
        // but no wait stays none (the look before each write).
        const int r = ::poll(&p, 1, left <= 0 ? 0 : static_cast<int>((left + 999) / 1000));
        if (r < 0 && errno == EINTR) continue;
        revents = p.revents;
        return r;
    }
}

void Tune(int fd) {
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
    // A cable pulled on a quiet line is noticed in about 20 s, not two hours.
    const int idle = 10, interval = 3, count = 3;
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

// A lookup the resolver would not give up on: it writes into its request
// until it ends, so the request lives on and is reaped by a later one.
struct Lookup {
    std::string name, service;
    addrinfo hints{};
    gaicb request{};
};

std::mutex orphansLock;
std::vector<std::unique_ptr<Lookup>> orphans;

void ReapOrphans() {
    const std::lock_guard<std::mutex> lock(orphansLock);
    std::erase_if(orphans, [](const std::unique_ptr<Lookup>& l) {
        if (::gai_error(&l->request) == EAI_INPROGRESS) return false;
        if (l->request.ar_result) ::freeaddrinfo(l->request.ar_result);
        return true;
    });
}

// getaddrinfo() bounded by `deadline`: a name server that does not answer
// would hold it for its own time-outs, tens of seconds.
int Resolve(const std::string& host, std::uint16_t port, Clock::time_point deadline, addrinfo*& list) {
    // An address needs no name server (and no resolver thread).
    addrinfo numeric{};
    numeric.ai_family = AF_UNSPEC;
    numeric.ai_socktype = SOCK_STREAM;
    numeric.ai_flags = AI_NUMERICHOST;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &numeric, &list) == 0) return 0;
#ifdef __SANITIZE_THREAD__
    // TSan cannot follow glibc's own resolver thread: the plain, unbounded call.
    numeric.ai_flags = 0;
    (void)deadline;
    return ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &numeric, &list);
#endif
    ReapOrphans();
    auto lookup = std::make_unique<Lookup>();
    lookup->name = host;
    lookup->service = std::to_string(port);
    lookup->hints.ai_family = AF_UNSPEC;
    lookup->hints.ai_socktype = SOCK_STREAM;
    lookup->request.ar_name = lookup->name.c_str();
    lookup->request.ar_service = lookup->service.c_str();
    lookup->request.ar_request = &lookup->hints;
    gaicb* requests[] = {&lookup->request};
    if (const int r = ::getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr); r != 0) return r;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        const timespec wait{static_cast<time_t>(left / 1'000'000'000), static_cast<long>(left % 1'000'000'000)};
        const int r = ::gai_suspend(requests, 1, &wait);
        if (r == 0 || r == EAI_ALLDONE || (r != EAI_INTR && r != EAI_AGAIN)) break;
    }
    const int r = ::gai_error(&lookup->request);
    if (r == 0) {
        list = lookup->request.ar_result;
        return 0;
    }
    if (r != EAI_INPROGRESS) return r;
    if (::gai_cancel(&lookup->request) != EAI_CANCELED) {
        const std::lock_guard<std::mutex> lock(orphansLock);
        orphans.push_back(std::move(lookup));
    }
    return EAI_AGAIN;
}

}  // namespace

NetSocket::~NetSocket() { Close(); }

bool NetSocket::IsOpen() const { return fd_ >= 0; }

void NetSocket::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

PortStatus NetSocket::Connect(const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout) {
    Close();
    const std::string where = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port);
    const auto deadline = Clock::now() + timeout;
    addrinfo* list = nullptr;
    if (const int r = Resolve(host, port, deadline, list); r != 0)
        return {PortStatus::Code::NotFound,
                where + ": " + (r == EAI_AGAIN && Clock::now() >= deadline
                                    ? "the name was not resolved within " + std::to_string(timeout.count()) + " ms"
                                    : r == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(r))};
    std::string why = "no address";
    bool refused = false;
    for (addrinfo* a = list; a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            why = std::strerror(errno);
            continue;
        }
        int err = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
        if (err == EINPROGRESS) {
            short revents = 0;
            const int r = PollFor(fd, POLLOUT, deadline, revents);
            socklen_t len = sizeof err;
            if (r == 0) err = ETIMEDOUT;
            else if (r < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
        }
        if (err == 0) {
            Tune(fd);
            fd_ = fd;
            ::freeaddrinfo(list);
            return {};
        }
        ::close(fd);
        refused = refused || err == ECONNREFUSED;
        why = err == ETIMEDOUT ? "no answer within " + std::to_string(timeout.count()) + " ms"
                               : std::strerror(err);
        if (Clock::now() >= deadline) break;
    }
    ::freeaddrinfo(list);
    return {refused ? PortStatus::Code::NotFound : PortStatus::Code::OsError, where + ": " + why};
}

bool NetSocket::Send(std::string_view bytes, std::chrono::milliseconds limit) {
    if (fd_ < 0) return false;
    const auto deadline = Clock::now() + limit;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;
        short revents = 0;
        if (Clock::now() >= deadline || PollFor(fd_, POLLOUT, deadline, revents) <= 0) return false;
        if (revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
    }
    return true;
}

NetSocket::Got NetSocket::Receive(std::string& into, std::chrono::microseconds wait) {
    if (fd_ < 0) return Got::Error;
    const auto deadline = Clock::now() + wait;
    for (bool waited = false;; waited = true) {
        char buf[4096];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n > 0) {
            into.append(buf, static_cast<std::size_t>(n));
            // A server that sends byte by byte under Nagle waits for our ACK:
            // a delayed one would add 40 ms to every answer. (Linux clears this after each use.)
            const int one = 1;
            ::setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
            return Got::Bytes;
        }
        if (n == 0) return Got::Closed;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return errno == ECONNRESET || errno == EPIPE || errno == ETIMEDOUT ? Got::Closed : Got::Error;
        if (waited && Clock::now() >= deadline) return Got::Timeout;
        short revents = 0;
        const int r = PollFor(fd_, POLLIN, deadline, revents);
        if (r < 0) return Got::Error;
        if (r == 0) return Got::Timeout;
    }
}

}  // namespace tessary::link
