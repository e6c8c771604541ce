#include "link/LateAnswers.h"

#include <algorithm>
#include <cctype>

namespace tessary::link {

std::string CommandAddress(std::string_view command) {
    if (command.size() < 3 || command[0] != '#' || !std::isdigit(static_cast<unsigned char>(command[1])) ||
        !std::isdigit(static_cast<unsigned char>(command[2])))
        return {};
    return std::string(command.substr(0, 3));
}

void LateAnswers::Owe(const std::string& address, TimePoint sent, Duration timeout, bool silent) {
    if (address.empty()) return;
    // Silent again with no line seen since its last debt, or silent with a
    // time-out that covers its lateness: not late, absent.
    const bool again = std::any_of(owed_.begin(), owed_.end(),
                                   [&](const Debt& d) { return d.address == address && d.settles == settles_; });
    const auto late = lateness_.find(address);
    if (silent && (again || (late != lateness_.end() && timeout > late->second))) {
        if (late != lateness_.end()) lateness_.erase(late);
        absent_.insert(address);
    }
    if (owed_.size() >= kMaxOwed) owed_.erase(owed_.begin());
    owed_.push_back({address, sent, timeout, settles_});
}

bool LateAnswers::Owed(TimePoint now) {
    std::erase_if(owed_, [now](const Debt& d) { return now - d.sent > kOwedFor; });
    return !owed_.empty();
}

bool LateAnswers::OwedByAnother(const std::string& address) const {
    return std::any_of(owed_.begin(), owed_.end(), [&address](const Debt& d) { return d.address != address; });
}

bool LateAnswers::Expected(const std::string& address) const {
    return std::any_of(owed_.begin(), owed_.end(),
                       [this, &address](const Debt& d) { return !absent_.count(d.address) && d.address != address; });
}

std::string LateAnswers::Settle(TimePoint at) {
    if (owed_.empty()) return {};
    // A box answers its own commands in order, so only each box's oldest debt
    // is a candidate. The likeliest: a box not taken as absent (one that is
    // not there owes every cycle), later than its own time-out (else its own
    // exchange would have taken the line), and of those the least late.
    std::vector<std::vector<Debt>::iterator> oldest;
    for (auto it = owed_.begin(); it != owed_.end(); ++it)
        if (std::none_of(oldest.begin(), oldest.end(), [&it](auto o) { return o->address == it->address; }))
            oldest.push_back(it);
    const auto better = [this, at](auto a, auto b) {
        const bool aAbsent = absent_.count(a->address) > 0, bAbsent = absent_.count(b->address) > 0;
        if (aAbsent != bAbsent) return !aAbsent;
        const bool aFits = at - a->sent > a->timeout, bFits = at - b->sent > b->timeout;
        if (aFits != bFits) return aFits;
        return a->sent > b->sent;
    };
    const auto it = *std::min_element(oldest.begin(), oldest.end(), better);
    const Debt debt = *it;
    owed_.erase(it);
    ++settles_;
    lateness_[debt.address] = std::chrono::duration_cast<Duration>(at - debt.sent);
    return debt.address;
}

void LateAnswers::Answered(const std::string& command, Duration latency) {
    if (command.empty()) return;
    absent_.erase(CommandAddress(command));
    const std::string& address = command;
    const auto [it, fresh] = latency_.try_emplace(address, Seen{latency, latency});
    if (!fresh) {
        it->second.shortest = std::min(it->second.shortest, latency);
        it->second.longest = std::max(it->second.longest, latency);
    }
}

std::optional<LateAnswers::Window> LateAnswers::AnswerWindow(const std::string& command, Duration charTime) const {
    const auto it = latency_.find(command);
    if (it == latency_.end()) return std::nullopt;
    // Twice the spread seen, and a few characters and a scheduling slice of
    // slack: a box's own answer time wanders little; another box's late line
    // falls anywhere.
    const Duration slack = 3 * charTime + std::chrono::milliseconds(20);
    return Window{std::max(it->second.shortest / 2 - slack, Duration(0)), 2 * it->second.longest + slack};
}

LateAnswers::Duration LateAnswers::Lateness(const std::string& address) const {
    const auto it = lateness_.find(address);
    return it == lateness_.end() ? Duration(0) : it->second;
}

}  // namespace tessary::link
