#include "link/NetSocket.h"

// Winsock is not wired up yet: a network line says so instead of failing obscurely.
namespace tessary::link {

NetSocket::~NetSocket() = default;
bool NetSocket::IsOpen() const { return false; }
void NetSocket::Close() {}
PortStatus NetSocket::Connect(const std::string& host, std::uint16_t port, std::chrono::milliseconds) {
    return {PortStatus::Code::OsError, host + ":" + std::to_string(port) + ": network lines are not in this Windows build"};
}
bool NetSocket::Send(std::string_view, std::chrono::milliseconds) { return false; }
NetSocket::Got NetSocket::Receive(std::string&, std::chrono::microseconds) { return Got::Error; }

}  // namespace tessary::link
