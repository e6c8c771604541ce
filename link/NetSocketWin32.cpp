#include "link/NetSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "link/Win32Text.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

// Windows 8 and later; MinGW's headers lack it.
extern "C" INT WSAAPI GetAddrInfoExOverlappedResult(LPOVERLAPPED overlapped);

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

// A lookup the resolver has not ended: it still writes into its request, so
// the request is kept to the process's end (a few hundred bytes per time-out).
struct Lookup {
    std::wstring name, service;
    ADDRINFOEXW hints{};
    OVERLAPPED overlapped{};
    ADDRINFOEXW* result = nullptr;
    HANDLE cancel = nullptr;
    ~Lookup() {
        if (overlapped.hEvent) ::CloseHandle(overlapped.hEvent);
    }
};

// Name to addresses, bounded by `deadline`: an unanswering name server would
// hold a plain getaddrinfo() for its own time-outs, tens of seconds.
int Resolve(const std::string& host, std::uint16_t port, Clock::time_point deadline, ADDRINFOEXW*& list) {
    auto lookup = std::make_unique<Lookup>();
    lookup->name = Widen(host);
    lookup->service = std::to_wstring(port);
    lookup->hints.ai_family = AF_UNSPEC;
    lookup->hints.ai_socktype = SOCK_STREAM;
    lookup->overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!lookup->overlapped.hEvent) return static_cast<int>(::GetLastError());
    const auto ms = std::max<long long>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    timeval limit{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000 * 1000)};
    int r = ::GetAddrInfoExW(lookup->name.c_str(), lookup->service.c_str(), NS_DNS, nullptr, &lookup->hints,
                             &lookup->result, &limit, &lookup->overlapped, nullptr, &lookup->cancel);
    if (r == WSA_IO_PENDING) {
        if (::WaitForSingleObject(lookup->overlapped.hEvent, static_cast<DWORD>(ms)) != WAIT_OBJECT_0) {
            static std::vector<std::unique_ptr<Lookup>> orphans;
            static std::mutex orphansLock;
            const std::lock_guard<std::mutex> lock(orphansLock);
            orphans.push_back(std::move(lookup));
            return WSAETIMEDOUT;
        }
        r = ::GetAddrInfoExOverlappedResult(&lookup->overlapped);
    }
    if (r == 0) list = lookup->result;
    else if (lookup->result) ::FreeAddrInfoExW(lookup->result);
    return r;
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
    ADDRINFOEXW* list = nullptr;
    if (const int r = Resolve(host, port, deadline, list); r != 0)
        return {PortStatus::Code::NotFound,
                where + ": " + (r == WSAETIMEDOUT ? "the name was not resolved within " + std::to_string(timeout.count()) + " ms"
                                                  : ErrorText(r))};
    std::string why = "no address";
    bool refused = false;
    // MinGW's ai_next names a struct it never defines: the same one in fact.
    for (ADDRINFOEXW* a = list; a; a = reinterpret_cast<ADDRINFOEXW*>(a->ai_next)) {
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
            ::FreeAddrInfoExW(list);
            return {};
        }
        ::closesocket(s);
        refused = refused || err == WSAECONNREFUSED;
        why = err == WSAETIMEDOUT ? "no answer within " + std::to_string(timeout.count()) + " ms" : ErrorText(err);
        if (Clock::now() >= deadline) break;
    }
    ::FreeAddrInfoExW(list);
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
