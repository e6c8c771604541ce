#pragma once
// A line behind a device server: "rfc2217://HOST:PORT" (Telnet with
// COM-PORT-OPTION: the server's serial side follows our rate, 8N1 and purges)
// or "tcp://HOST:PORT" (raw bytes; the server fixes the line's settings, so
// the rate cannot change). HOST is a name, an IPv4 address or [an IPv6 one].
//
// A dropped connection is a hang-up, as an unplugged adapter's: readByte
// says HangUp until the port is opened again.

#include "link/NetSocket.h"
#include "link/Port.h"
#include "link/Telnet.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tessary::link {

struct NetAddress {
    bool rfc2217 = false;
    std::string host;  // without brackets
    std::uint16_t port = 0;
};
// True when `path` names a line on the network (its scheme), valid or not.
bool IsNetworkPath(const std::string& path);
// "network line, RFC 2217" or "network line, raw TCP"; empty for a device path.
std::string NetworkKind(const std::string& path);
// False, with `why`, when `path` is not a well-formed network line.
bool ParseNetPath(const std::string& path, NetAddress& address, std::string& why);

// How long a server gets to acknowledge a rate (and, at the open, to answer at all).
inline constexpr std::chrono::milliseconds kServerAnswerWait{1500};

class NetPort final : public Port {
public:
    PortStatus open(const std::string& path, std::uint32_t baud) override;
    void close() override;
    bool isOpen() const override { return socket_.IsOpen(); }
    PortStatus setBaudRate(std::uint32_t baud) override;
    bool write(std::string_view bytes, std::chrono::milliseconds limit) override;
    ReadResult readByte(char& byte, std::chrono::microseconds wait) override;
    bool canChangeRate() const override { return !isOpen() || address_.rfc2217; }

private:
    // Receives once within `wait`, decoding; false when the connection is gone.
    bool pump(std::chrono::microseconds wait);
    // Sends a COM-PORT command and waits for the server's answer to it.
    PortStatus command(unsigned char cmd, const std::string& value, std::string* answer = nullptr);

    NetSocket socket_;
    NetAddress address_;
    std::string where_;  // "HOST:PORT" for messages
    telnet::State telnet_;
    std::string data_;  // decoded line bytes not yet read
    std::size_t taken_ = 0;
    std::vector<telnet::ComPortAnswer> answers_;
    bool hungUp_ = false;
};

// The system's serial port for device paths, NetPort for network lines.
class AnyPort final : public Port {
public:
    explicit AnyPort(std::unique_ptr<Port> serial) : serial_(std::move(serial)) {}
    PortStatus open(const std::string& path, std::uint32_t baud) override;
    void close() override { active_->close(); }
    bool isOpen() const override { return active_->isOpen(); }
    PortStatus setBaudRate(std::uint32_t baud) override { return active_->setBaudRate(baud); }
    bool write(std::string_view bytes, std::chrono::milliseconds limit) override { return active_->write(bytes, limit); }
    ReadResult readByte(char& byte, std::chrono::microseconds wait) override { return active_->readByte(byte, wait); }
    bool canChangeRate() const override { return active_->canChangeRate(); }

private:
    std::unique_ptr<Port> serial_;
    NetPort net_;
    Port* active_ = serial_.get();
};

}  // namespace tessary::link
