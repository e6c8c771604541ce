#pragma once
// What the line has taught about late answers: which boxes still owe one, and
// when each box's own answer starts. Pure bookkeeping on the link's clock,
// kept by DeviceLink under its line; nothing here waits or reads the port.
//
// Why: boxes share one line and an answer names no box. A box that answers
// after its time-out puts its line into a later exchange of another box;
// filed there, it is a reading under the wrong box. So while an answer is
// owed, an exchange filed as data takes its line only when it came alone and
// when this box's own answers come, and a late box is given a longer time-out.

#include "link/Port.h"

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessary::link {

// "#07" of "#07TM;D1\r\n"; empty when the command names no bus address.
std::string CommandAddress(std::string_view command);

class LateAnswers {
public:
    using TimePoint = Clock::time_point;
    using Duration = std::chrono::microseconds;

    // How long a silent box's answer is looked out for.
    static constexpr std::chrono::seconds kOwedFor{60};
    // Debts kept at most; the oldest goes first (a dead box owes every cycle).
    static constexpr std::size_t kMaxOwed = 16;

    // `address`'s command went out at `sent` and its exchange ended with no byte.
    void Owe(const std::string& address, TimePoint sent);
    // True while any answer is owed at `now`; debts past kOwedFor are dropped.
    bool Owed(TimePoint now);
    // A line that is no answer of the exchange it came in began at `at`: it is
    // taken as the oldest owed answer (boxes answer in the order asked) of a
    // box that has answered in time before, else the oldest; that box is
    // marked late by as much. Returns its address, or empty.
    std::string Settle(TimePoint at);
    // `address` answered `latency` after its command went out, filed.
    void Answered(const std::string& address, Duration latency);
    // Whether a line that began `latency` after `address`'s command went out
    // can be its own answer, and until when (after the command) a second line
    // would still fall in the time its own answer takes. Unknown (nullopt)
    // until the box has answered once.
    struct Window {
        Duration earliest, latest;
    };
    std::optional<Window> AnswerWindow(const std::string& address, Duration charTime) const;
    // How long `address` took to answer the last time it answered after its
    // exchange had ended; zero when it never did.
    Duration Lateness(const std::string& address) const;

private:
    struct Debt {
        std::string address;
        TimePoint sent;
    };
    struct Seen {
        Duration shortest, longest;
    };
    std::vector<Debt> owed_;  // oldest first
    std::map<std::string, Seen> latency_;
    std::map<std::string, Duration> lateness_;
};

}  // namespace tessary::link
