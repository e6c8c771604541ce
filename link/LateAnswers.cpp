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

void LateAnswers::Owe(const std::string& address, TimePoint sent) {
    if (address.empty()) return;
    if (owed_.size() >= kMaxOwed) owed_.erase(owed_.begin());
    owed_.push_back({address, sent});
}

bool LateAnswers::Owed(TimePoint now) {
    std::erase_if(owed_, [now](const Debt& d) { return now - d.sent > kOwedFor; });
    return !owed_.empty();
}

std::string LateAnswers::Settle(TimePoint at) {
    if (owed_.empty()) return {};
    // A box that has answered in time is more likely the late one than a box
    // that never answered at all (one that is not there owes every cycle).
    auto it = std::find_if(owed_.begin(), owed_.end(), [this](const Debt& d) { return latency_.count(d.address) > 0; });
    if (it == owed_.end()) it = owed_.begin();
    const Debt debt = *it;
    owed_.erase(it);
    lateness_[debt.address] = std::chrono::duration_cast<Duration>(at - debt.sent);
    return debt.address;
}

void LateAnswers::Answered(const std::string& address, Duration latency) {
    if (address.empty()) return;
    const auto [it, fresh] = latency_.try_emplace(address, Seen{latency, latency});
    if (!fresh) {
        it->second.shortest = std::min(it->second.shortest, latency);
        it->second.longest = std::max(it->second.longest, latency);
    }
}

std::optional<LateAnswers::Window> LateAnswers::AnswerWindow(const std::string& address, Duration charTime) const {
    const auto it = latency_.find(address);
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
