#include "link/NetPort.h"

#include <algorithm>

namespace tessary::link {

namespace {

constexpr std::string_view kRfc2217 = "rfc2217://", kTcp = "tcp://";
// A raw server that refuses us (ser2net's max-connections) says so and hangs up at once.
constexpr std::chrono::milliseconds kRefusalLook{100};
// SET-PARITY NONE, SET-STOPSIZE 1, PURGE-DATA both buffers.
constexpr char kParityNone = 1, kOneStopBit = 1, kPurgeBoth = 3;

bool StartsWith(const std::string& s, std::string_view prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

PortStatus Fail(PortStatus::Code code, std::string text) { return {code, std::move(text)}; }

}  // namespace

bool IsNetworkPath(const std::string& path) { return StartsWith(path, kRfc2217) || StartsWith(path, kTcp); }

std::string NetworkKind(const std::string& path) {
    if (StartsWith(path, kRfc2217)) return "network line, RFC 2217";
    return StartsWith(path, kTcp) ? "network line, raw TCP: the rate is set at the server" : std::string();
}

bool ParseNetPath(const std::string& path, NetAddress& address, std::string& why) {
    address = {};
    address.rfc2217 = StartsWith(path, kRfc2217);
    if (!address.rfc2217 && !StartsWith(path, kTcp)) {
        why = "not a network line";
        return false;
    }
    const std::string rest = path.substr(address.rfc2217 ? kRfc2217.size() : kTcp.size());
    const auto colon = rest.rfind(':');
    std::string host = colon == std::string::npos ? std::string() : rest.substr(0, colon);
    const std::string port = colon == std::string::npos ? std::string() : rest.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    else if (host.find_first_of("[]:/") != std::string::npos) host.clear();
    const bool digits = !port.empty() && port.size() <= 5 && std::all_of(port.begin(), port.end(), [](char c) {
        return c >= '0' && c <= '9';
    });
    const long number = digits ? std::stol(port) : 0;
    if (host.empty() || number < 1 || number > 65535) {
        why = path + " is not " + std::string(address.rfc2217 ? kRfc2217 : kTcp) +
              "HOST:PORT (an IPv6 address in brackets, a port from 1 to 65535)";
        return false;
    }
    address.host = host;
    address.port = static_cast<std::uint16_t>(number);
    return true;
}

PortStatus NetPort::open(const std::string& path, std::uint32_t baud) {
    close();
    std::string why;
    if (!ParseNetPath(path, address_, why)) return Fail(PortStatus::Code::NotFound, why);
    if (baud == 0) return Fail(PortStatus::Code::BadRate, "0 bit/s would hang up the line");
    where_ = (address_.host.find(':') != std::string::npos ? "[" + address_.host + "]" : address_.host) + ":" +
             std::to_string(address_.port);
    if (PortStatus s = socket_.Connect(address_.host, address_.port, kConnectTimeout); !s.ok()) return s;

    const auto giveUp = [this](PortStatus s) {
        // A refusal comes as text before the close: the server's own words.
        std::string said = data_;
        said.erase(std::remove_if(said.begin(), said.end(), [](char c) { return c < ' ' || c > '~'; }), said.end());
        if (said.find("in use") != std::string::npos)
            s = {PortStatus::Code::Busy, "the server said \"" + said + "\"", "the server says so"};
        close();
        return s;
    };
    const auto deadline = Clock::now() + (address_.rfc2217 ? kServerAnswerWait : kRefusalLook);
    bool gone = false;
    if (address_.rfc2217) {
        std::string opening = telnet::Opening(telnet_, true);
        opening += telnet::ComPortCommand(telnet::kSetDataSize, std::string(1, '\x08'));
        opening += telnet::ComPortCommand(telnet::kSetParity, std::string(1, kParityNone));
        opening += telnet::ComPortCommand(telnet::kSetStopSize, std::string(1, kOneStopBit));
        opening += telnet::ComPortCommand(telnet::kSetBaudRate, telnet::BaudValue(baud));
        opening += telnet::ComPortCommand(telnet::kPurgeData, std::string(1, kPurgeBoth));
        if (!socket_.Send(opening, kServerAnswerWait)) return giveUp(Fail(PortStatus::Code::OsError, where_ + ": cannot send"));
        // The purge's answer comes last: the rate was taken by then.
        const auto purged = [this] {
            return std::any_of(answers_.begin(), answers_.end(),
                               [](const auto& a) { return a.command == telnet::kPurgeData + telnet::kServerOffset; });
        };
        while (!purged() && !gone && Clock::now() < deadline)
            gone = !pump(std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()));
        if (!gone && !purged())
            return giveUp(Fail(PortStatus::Code::Refused,
                               where_ + " did not answer as an RFC 2217 server within " +
                                   std::to_string(kServerAnswerWait.count()) + " ms (a raw TCP port? then tcp://)"));
        for (const auto& a : answers_)
            if (a.command == telnet::kSetBaudRate + telnet::kServerOffset && telnet::BaudFromValue(a.value) != baud)
                return giveUp(Fail(PortStatus::Code::BadRate, where_ + " did not take " + std::to_string(baud) + " bit/s"));
    } else {
        while (!gone && Clock::now() < deadline)
            gone = !pump(std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()));
    }
    if (gone) return giveUp(Fail(PortStatus::Code::OsError, where_ + " closed the connection at once"));
    // Whatever the line carried before we owned it is noise to us.
    data_.clear();
    taken_ = 0;
    answers_.clear();
    return {};
}

void NetPort::close() {
    socket_.Close();
    telnet_ = {};
    data_.clear();
    taken_ = 0;
    answers_.clear();
    hungUp_ = false;
}

bool NetPort::pump(std::chrono::microseconds wait) {
    std::string raw;
    switch (socket_.Receive(raw, std::max(wait, std::chrono::microseconds(0)))) {
    case NetSocket::Got::Timeout:
        return true;
    case NetSocket::Got::Closed:
    case NetSocket::Got::Error:
        return false;
    case NetSocket::Got::Bytes:
        break;
    }
    if (taken_ == data_.size()) data_.clear(), taken_ = 0;
    if (!address_.rfc2217) {
        data_ += raw;
        return true;
    }
    telnet::Output out;
    telnet::Decode(telnet_, raw, out);
    data_ += out.data;
    answers_.insert(answers_.end(), out.answers.begin(), out.answers.end());
    if (!out.reply.empty()) socket_.Send(out.reply, std::chrono::milliseconds(500));
    return true;
}

PortStatus NetPort::setBaudRate(std::uint32_t baud) {
    if (!isOpen()) return Fail(PortStatus::Code::NotOpen, "port not open");
    if (baud == 0) return Fail(PortStatus::Code::BadRate, "0 bit/s would hang up the line");
    if (!address_.rfc2217)
        return Fail(PortStatus::Code::BadRate, "tcp://" + where_ + " keeps the rate the server sets; use rfc2217:// to change it");
    answers_.clear();
    if (!socket_.Send(telnet::ComPortCommand(telnet::kSetBaudRate, telnet::BaudValue(baud)), kServerAnswerWait))
        return Fail(PortStatus::Code::Refused, where_ + ": the rate could not be sent");
    // Nothing may go out before the server's line runs at the new rate.
    const auto deadline = Clock::now() + kServerAnswerWait;
    for (;;) {
        for (const auto& a : answers_) {
            if (a.command != telnet::kSetBaudRate + telnet::kServerOffset) continue;
            if (telnet::BaudFromValue(a.value) == baud) return {};
            return Fail(PortStatus::Code::BadRate, where_ + " set " + std::to_string(telnet::BaudFromValue(a.value)) +
                                                       " bit/s where " + std::to_string(baud) + " was asked");
        }
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        if (!pump(left)) {
            hungUp_ = true;
            break;
        }
    }
    return Fail(PortStatus::Code::Refused, where_ + " did not acknowledge " + std::to_string(baud) + " bit/s within " +
                                               std::to_string(kServerAnswerWait.count()) + " ms");
}

bool NetPort::write(std::string_view bytes, std::chrono::milliseconds limit) {
    if (!isOpen() || hungUp_) return false;
    return socket_.Send(address_.rfc2217 ? telnet::Escape(bytes) : std::string(bytes), limit);
}

ReadResult NetPort::readByte(char& byte, std::chrono::microseconds wait) {
    if (!isOpen()) return ReadResult::Error;
    const auto deadline = Clock::now() + wait;
    for (;;) {
        if (taken_ < data_.size()) {
            byte = data_[taken_++];
            return ReadResult::Byte;
        }
        if (hungUp_) return ReadResult::HangUp;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (!pump(left)) {
            hungUp_ = true;
            continue;
        }
        if (taken_ == data_.size() && Clock::now() >= deadline) return ReadResult::Timeout;
    }
}

PortStatus AnyPort::open(const std::string& path, std::uint32_t baud) {
    active_->close();
    active_ = IsNetworkPath(path) ? static_cast<Port*>(&net_) : serial_.get();
    return active_->open(path, baud);
}

}  // namespace tessary::link
