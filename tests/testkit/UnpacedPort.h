#pragma once
// The real port for a simulated line without pacing: such a line answers
// before the command could have crossed a wire, so the wire is said to take
// no time.

#include "link/Port.h"

#include <memory>
#include <utility>

namespace tessary::testkit {

class UnpacedPort final : public link::Port {
public:
    explicit UnpacedPort(std::unique_ptr<link::Port> port) : port_(std::move(port)) {}
    link::PortStatus open(const std::string& p, std::uint32_t b) override { return port_->open(p, b); }
    void close() override { port_->close(); }
    bool isOpen() const override { return port_->isOpen(); }
    link::PortStatus setBaudRate(std::uint32_t b) override { return port_->setBaudRate(b); }
    bool write(std::string_view bytes, std::chrono::milliseconds limit) override { return port_->write(bytes, limit); }
    link::ReadResult readByte(char& byte, std::chrono::microseconds wait) override { return port_->readByte(byte, wait); }
    std::chrono::microseconds wireTime(std::size_t, std::uint32_t) const override { return {}; }

private:
    std::unique_ptr<link::Port> port_;
};

}  // namespace tessary::testkit
