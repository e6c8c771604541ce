#include "capture/TrafficLog.h"

#include "app/Connect.h"
#include "link/System.h"

#include <cstdio>
#include <ctime>

namespace tessary::capture {

namespace {

std::string_view Why(link::ExchangeOutcome outcome) {
    using link::ExchangeOutcome;
    switch (outcome) {
    case ExchangeOutcome::Line:
    case ExchangeOutcome::Broadcast: return {};
    case ExchangeOutcome::NoByte: return "silent";
    case ExchangeOutcome::NoLineEnd:
    case ExchangeOutcome::Overflow: return "garbled";
    case ExchangeOutcome::HangUp: return "hung up";
    case ExchangeOutcome::EmptyLine: return "empty line";
    case ExchangeOutcome::NotOpen: return "port not open";
    default: return link::OutcomeText(outcome);
    }
}

// Control bytes would break the view's lines; the line end is dropped.
std::string Printable(std::string_view text) {
    if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") text.remove_suffix(2);
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7f) {
            out.push_back(c);
            continue;
        }
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", u);
        out += hex;
    }
    return out;
}

}  // namespace

std::string FormatTraffic(const link::TrafficRecord& r) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(r.time.time_since_epoch()).count();
    const std::tm tm = link::LocalTime(static_cast<std::time_t>(ms / 1000));
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(ms % 1000));
    std::string text = std::string(stamp) + "  " + r.port + "  " + Printable(r.command) + "  ->  " + Printable(r.reply);
    const std::string_view why = r.reply == link::kNoConnect ? Why(r.outcome) : std::string_view{};
    if (!why.empty()) text += " (" + std::string(why) + ")";
    if (r.lateDiscarded) text += " (a late answer was discarded)";
    return text;
}

void TrafficLog::Push(const link::TrafficRecord& record) {
    TrafficEntry entry{0, app::AddressNumber(record.command.substr(0, 3)).value_or(0), FormatTraffic(record)};
    std::lock_guard lock(mutex_);
    if (record.command == link::kNoWrite) entry.address = lastAddress_;
    else lastAddress_ = entry.address;
    entry.seq = ++lastSeq_;
    entries_.push_back(std::move(entry));
    if (entries_.size() > capacity_) entries_.pop_front();
}

std::vector<TrafficEntry> TrafficLog::After(std::uint64_t seq) const {
    std::lock_guard lock(mutex_);
    if (entries_.empty() || seq >= lastSeq_) return {};
    // Sequence numbers are consecutive: the first wanted entry is found by subtraction.
    const std::uint64_t first = entries_.front().seq;
    const std::size_t skip = seq < first ? 0 : static_cast<std::size_t>(seq - first + 1);
    return {entries_.begin() + static_cast<std::ptrdiff_t>(skip), entries_.end()};
}

std::uint64_t TrafficLog::LastSeq() const {
    std::lock_guard lock(mutex_);
    return lastSeq_;
}

}  // namespace tessary::capture
