#include "testkit/ScriptedPort.h"

#include <algorithm>

namespace tessary::testkit {

void ScriptedPort::Arrive(const std::string& bytes, us after, us gap) {
    auto at = now_ + after;
    // Arrivals stay in time order even when scripted out of order.
    if (!arrivals_.empty()) at = std::max(at, arrivals_.back().at);
    for (char c : bytes) {
        arrivals_.push_back({at, c});
        at += gap;
    }
}

void ScriptedPort::ArriveInTime(const std::string& bytes, us after) {
    const auto at = now_ + after;
    auto pos = std::upper_bound(arrivals_.begin(), arrivals_.end(), at,
                                [](link::Clock::time_point t, const Arrival& a) { return t < a.at; });
    for (char c : bytes) pos = std::next(arrivals_.insert(pos, {at, c}));
}

void ScriptedPort::Answer(const std::string& command, const std::string& reply, us delay) {
    answers_[command] = {reply, delay};
}

void ScriptedPort::HangUpAfter(us after) { hangUp_ = now_ + after; }

link::PortStatus ScriptedPort::open(const std::string& p, std::uint32_t b) {
    opens.push_back(p + "@" + std::to_string(b));
    if (onOpenClose) onOpenClose(true);
    if (badRates.count(b)) return {link::PortStatus::Code::BadRate, "rate refused"};
    open_ = true;
    path = p;
    baud = b;
    arrivals_.clear();
    return {};
}

void ScriptedPort::close() {
    if (open_ && onOpenClose) onOpenClose(false);
    open_ = false;
}

link::PortStatus ScriptedPort::setBaudRate(std::uint32_t b) {
    if (!open_) return {link::PortStatus::Code::NotOpen, "not open"};
    if (settingsUnreadable) return {link::PortStatus::Code::Unreadable, "cannot read line settings"};
    if (badRates.count(b)) return {link::PortStatus::Code::BadRate, "rate refused"};
    baud = b;
    rateChanges.push_back(b);
    return {};
}

bool ScriptedPort::write(std::string_view bytes, std::chrono::milliseconds) {
    if (!open_ || (refuse && refuse(std::string(bytes)))) return false;
    writes.emplace_back(bytes);
    auto it = answers_.find(std::string(bytes));
    if (it != answers_.end()) Arrive(it->second.first + "\r\n", it->second.second);
    if (onWrite) onWrite(std::string(bytes));
    return true;
}

link::ReadResult ScriptedPort::readByte(char& byte, us wait) {
    if (!open_) return link::ReadResult::Error;
    const auto limit = now_ + wait;
    const bool hasByte = !arrivals_.empty() && arrivals_.front().at <= limit;
    if (hangUp_ && *hangUp_ <= limit && (!hasByte || *hangUp_ < arrivals_.front().at)) {
        now_ = std::max(now_, *hangUp_);
        return link::ReadResult::HangUp;
    }
    if (!hasByte) {
        now_ = limit;
        return link::ReadResult::Timeout;
    }
    now_ = std::max(now_, arrivals_.front().at);
    byte = arrivals_.front().byte;
    arrivals_.pop_front();
    return link::ReadResult::Byte;
}

}  // namespace tessary::testkit
