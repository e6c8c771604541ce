#pragma once
// A Port for unit tests: virtual time, scripted arrivals, recorded writes.
// Reads advance the virtual clock instead of sleeping, so a 1 s time-out costs
// nothing, and lateness is exact.

#include "link/Port.h"

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tessary::testkit {

class ScriptedPort final : public link::Port {
public:
    using ms = std::chrono::milliseconds;
    using us = std::chrono::microseconds;

    // --- script ---
    // `bytes` arrive `after` from now, all at once or one every `gap`.
    void Arrive(const std::string& bytes, us after = us(0), us gap = us(0));
    // `bytes` at once, `after` from now, before whatever is scripted later (boxes answering out of turn).
    void ArriveInTime(const std::string& bytes, us after);
    // Called on each write with the bytes; may call Arrive() to answer.
    std::function<void(const std::string&)> onWrite;
    // Simple answering box: a command that matches a key exactly gets that reply
    // ("\r\n" added) after `delay`.
    void Answer(const std::string& command, const std::string& reply, us delay = us(2000));
    void HangUpAfter(us after);
    std::set<std::uint32_t> badRates;    // open()/setBaudRate() refuse these
    bool settingsUnreadable = false;     // setBaudRate() cannot read the settings
    // A write it returns true for fails and is not recorded (a port that stops taking bytes).
    std::function<bool(const std::string&)> refuse;
    // Called at each open (true) and at the close of an open port (false).
    std::function<void(bool open)> onOpenClose;

    // --- record ---
    std::vector<std::string> writes;
    std::vector<std::string> opens;  // "path@baud"
    std::vector<std::uint32_t> rateChanges;
    std::uint32_t baud = 0;
    std::string path;

    // --- Port ---
    link::PortStatus open(const std::string& p, std::uint32_t b) override;
    void close() override;
    bool isOpen() const override { return open_; }
    link::PortStatus setBaudRate(std::uint32_t b) override;
    bool write(std::string_view bytes, std::chrono::milliseconds limit) override;
    link::ReadResult readByte(char& byte, us wait) override;
    link::Clock::time_point now() const override { return now_; }
    void sleepFor(us d) override { now_ += d; }
    // Its wire is instant unless a test gives it a time per byte.
    us wirePerByte{0};
    us wireTime(std::size_t bytes, std::uint32_t) const override { return wirePerByte * static_cast<long>(bytes); }

    void Advance(us d) { now_ += d; }

private:
    struct Arrival {
        link::Clock::time_point at;
        char byte;
    };
    std::deque<Arrival> arrivals_;
    std::map<std::string, std::pair<std::string, us>> answers_;
    link::Clock::time_point now_{std::chrono::hours(1000)};
    std::optional<link::Clock::time_point> hangUp_;
    bool open_ = false;
};

}  // namespace tessary::testkit
