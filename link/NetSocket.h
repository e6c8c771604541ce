#pragma once
// A TCP connection to a device server, one implementation per platform
// (NetSocketPosix.cpp; NetSocketWin32.cpp). Non-blocking throughout, so every
// wait is bounded: the connect by its time-out, a send by its limit, a receive
// by its wait.
//
// Threading: not thread-safe; the port that owns it is called under the link lock.

#include "link/Port.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessary::link {

inline constexpr std::chrono::milliseconds kConnectTimeout{3000};

class NetSocket {
public:
    NetSocket() = default;
    ~NetSocket();
    NetSocket(const NetSocket&) = delete;
    NetSocket& operator=(const NetSocket&) = delete;

    // Tries each address `host` resolves to until one accepts. The failure's
    // text names HOST:PORT and the reason; NotFound when nobody listens or the
    // name is unknown, OsError otherwise.
    PortStatus Connect(const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout);
    void Close();
    bool IsOpen() const;
    // All of `bytes` within `limit`; false on failure, time-out or a peer gone.
    bool Send(std::string_view bytes, std::chrono::milliseconds limit);
    enum class Got { Bytes, Timeout, Closed, Error };
    // Appends what arrives within `wait` (what is there already when 0) to `into`.
    Got Receive(std::string& into, std::chrono::microseconds wait);

private:
#ifdef _WIN32
    std::uintptr_t fd_ = ~std::uintptr_t(0);
#else
    int fd_ = -1;
#endif
};

}  // namespace tessary::link
