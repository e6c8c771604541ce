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
#include <cstdint>
#include <cstddef>
#include <map>
#include <optional>
#include <set>
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

    // `address`'s command went out at `sent` and its exchange, `timeout` long,
    // ended with no byte. A box silent twice with no line seen in between, or
    // silent even with a time-out that covers its lateness, is taken as absent
    // rather than late until it next answers: its debts are doubtful, and it
    // is given its own time-out again. `silent` false: lines
    // came, but none was filed as its answer.
    void Owe(const std::string& address, TimePoint sent, Duration timeout, bool silent);
    // True while `address` is not the only box owing.
    bool OwedByAnother(const std::string& address) const;
    // True while any answer is owed at `now`; debts past kOwedFor are dropped.
    bool Owed(TimePoint now);
    // True while another box than `address` owes an answer that is not
    // doubtful: a box that has not answered yet cannot tell its own first
    // line from that one.
    bool Expected(const std::string& address) const;
    // A line that is no answer of the exchange it came in began at `at`: it is
    // taken as the likeliest owed answer, and that box is marked late by as
    // much. Returns its address, or empty.
    std::string Settle(TimePoint at);
    // `command` was answered `latency` after it went out, filed.
    void Answered(const std::string& command, Duration latency);
    // When, after `command` went out, the box's own answer can begin: a line
    // outside may be another box's, and a second line before the latest may
    // be too. Unknown (nullopt) until the command was answered once.
    struct Window {
        Duration earliest, latest;
    };
    std::optional<Window> AnswerWindow(const std::string& command, Duration charTime) const;
    // How long `address` took to answer the last time it answered after its
    // exchange had ended; zero when it never did.
    Duration Lateness(const std::string& address) const;

private:
    struct Debt {
        std::string address;
        TimePoint sent;
        Duration timeout;
        std::uint64_t settles;  // settles_ when it was owed
    };
    struct Seen {
        Duration shortest, longest;
    };
    std::vector<Debt> owed_;  // oldest first
    std::map<std::string, Seen> latency_;
    std::map<std::string, Duration> lateness_;
    std::set<std::string> absent_;
    std::uint64_t settles_ = 0;
};

}  // namespace tessary::link
