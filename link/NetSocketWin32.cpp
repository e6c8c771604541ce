#include "link/NetSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "link/Win32Text.h"

namespace tessary::link {

namespace {

SOCKET Sock(std::uintptr_t fd) { return static_cast<SOCKET>(fd); }

// Winsock is started once for the program and left to the process's end.
bool Started() {
    static const bool ok = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ok;
}

std::string ErrorText(int err) {
    wchar_t* text = nullptr;
    ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(err), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = text ? Narrow(text) : "error " + std::to_string(err);
    if (text) ::LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.')) out.pop_back();
    return out;
}

// 1 ready, 0 time-out, -1 failure; select() takes one socket of any number.
int Wait(SOCKET s, bool forWrite, Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    const long long us = left.count() < 0 ? 0 : left.count();
    timeval tv{static_cast<long>(us / 1000000), static_cast<long>(us % 1000000)};
    fd_set set, errors;
    FD_ZERO(&set);
    FD_ZERO(&errors);
    FD_SET(s, &set);
    FD_SET(s, &errors);
    const int r = ::select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, &errors, &tv);
    return r < 0 ? -1 : r == 0 ? 0 : 1;
}

}  // namespace

NetSocket::~NetSocket() { Close(); }

bool NetSocket::IsOpen() const { return Sock(fd_) != INVALID_SOCKET; }

void NetSocket::Close() {
    if (IsOpen()) ::closesocket(Sock(fd_));
    fd_ = static_cast<std::uintptr_t>(INVALID_SOCKET);
}

PortStatus NetSocket::Connect(const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout) {
    Close();
    const std::string where = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port);
    if (!Started()) return {PortStatus::Code::OsError, where + ": Winsock did not start"};
    const auto deadline = Clock::now() + timeout;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (const int r = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list); r != 0)
        return {PortStatus::Code::NotFound, where + ": " + ErrorText(r)};
    std::string why = "no address";
    bool refused = false;
    for (addrinfo* a = list; a; a = a->ai_next) {
        const SOCKET s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET) {
            why = ErrorText(::WSAGetLastError());
            continue;
        }
        u_long nonBlocking = 1;
        ::ioctlsocket(s, FIONBIO, &nonBlocking);
        int err = ::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0 ? 0 : ::WSAGetLastError();
        if (err == WSAEWOULDBLOCK) {
            const int r = Wait(s, true, deadline);
            int len = sizeof err;
            if (r == 0) err = WSAETIMEDOUT;
            else if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0)
                err = ::WSAGetLastError();
        }
        if (err == 0) {
            const BOOL one = TRUE;
            ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
            ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&one), sizeof one);
            fd_ = static_cast<std::uintptr_t>(s);
            ::freeaddrinfo(list);
            return {};
        }
        ::closesocket(s);
        refused = refused || err == WSAECONNREFUSED;
        why = err == WSAETIMEDOUT ? "no answer within " + std::to_string(timeout.count()) + " ms" : ErrorText(err);
        if (Clock::now() >= deadline) break;
    }
    ::freeaddrinfo(list);
    return {refused ? PortStatus::Code::NotFound : PortStatus::Code::OsError, where + ": " + why};
}

bool NetSocket::Send(std::string_view bytes, std::chrono::milliseconds limit) {
    if (!IsOpen()) return false;
    const auto deadline = Clock::now() + limit;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const int n = ::send(Sock(fd_), bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0 || ::WSAGetLastError() != WSAEWOULDBLOCK) return false;
        if (Clock::now() >= deadline || Wait(Sock(fd_), true, deadline) <= 0) return false;
    }
    return true;
}

NetSocket::Got NetSocket::Receive(std::string& into, std::chrono::microseconds wait) {
    if (!IsOpen()) return Got::Error;
    const auto deadline = Clock::now() + wait;
    for (bool waited = false;; waited = true) {
        char buf[4096];
        const int n = ::recv(Sock(fd_), buf, sizeof buf, 0);
        if (n > 0) {
            into.append(buf, static_cast<std::size_t>(n));
            return Got::Bytes;
        }
        if (n == 0) return Got::Closed;
        const int err = ::WSAGetLastError();
        if (err != WSAEWOULDBLOCK)
            return err == WSAECONNRESET || err == WSAECONNABORTED || err == WSAETIMEDOUT ? Got::Closed : Got::Error;
        if (waited && Clock::now() >= deadline) return Got::Timeout;
        const int r = Wait(Sock(fd_), false, deadline);
        if (r < 0) return Got::Error;
        if (r == 0) return Got::Timeout;
    }
}

}  // namespace tessary::link
