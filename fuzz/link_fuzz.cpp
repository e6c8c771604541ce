// The reply line assembly on a port whose arrivals the input scripts (virtual
// time): whatever comes, an exchange ends within its time-out plus the
// overrun, and its text and outcome agree.

#include "link/DeviceLink.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <optional>
#include <string>

using namespace tessary::link;
using std::chrono::microseconds;
using std::chrono::milliseconds;

namespace {

class FuzzPort final : public Port {
public:
    struct Arrival {
        Clock::time_point at;
        char byte;
    };
    std::deque<Arrival> arrivals;
    Clock::time_point clock{std::chrono::hours(1)};
    std::optional<Clock::time_point> hangUp;

    PortStatus open(const std::string&, std::uint32_t) override { return {}; }
    void close() override {}
    bool isOpen() const override { return true; }
    PortStatus setBaudRate(std::uint32_t) override { return {}; }
    bool write(std::string_view, milliseconds) override { return true; }
    ReadResult readByte(char& byte, microseconds wait) override {
        const auto limit = clock + wait;
        if (hangUp && *hangUp <= limit && (arrivals.empty() || *hangUp < arrivals.front().at)) {
            clock = std::max(clock, *hangUp);
            return ReadResult::HangUp;
        }
        if (arrivals.empty() || arrivals.front().at > limit) {
            clock = limit;
            return ReadResult::Timeout;
        }
        clock = std::max(clock, arrivals.front().at);
        byte = arrivals.front().byte;
        arrivals.pop_front();
        return ReadResult::Byte;
    }
    Clock::time_point now() const override { return clock; }
    void sleepFor(microseconds d) override { clock += d; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    auto* port = new FuzzPort;
    DeviceLink link(std::unique_ptr<Port>(port), {});
    if (!link.OpenComPort()) std::abort();
    const std::uint32_t timeout = 50u + data[0] % 16u * 100u;
    link.SetResponseTimeoutMs(timeout);

    std::size_t i = 1;
    auto next = [&] { return i < size ? data[i++] : std::uint8_t{0}; };
    while (i < size) {
        const std::uint8_t op = next();
        if (op % 4 == 3) {
            // Bytes to come: each after a gap of 0..255 ms (a gap byte of 255: a hang-up there).
            auto at = port->arrivals.empty() ? port->clock : std::max(port->clock, port->arrivals.back().at);
            for (int n = next() % 32; n > 0 && i < size; --n) {
                const std::uint8_t gap = next();
                at += milliseconds(gap);
                if (gap == 255) port->hangUp = at;
                port->arrivals.push_back({at, static_cast<char>(next())});
            }
            continue;
        }
        const std::string command = op % 4 == 0 ? "#01ID\r\n" : op % 4 == 1 ? "NoWrite" : "#00X\r\n";
        // Some filed as data; some with a time-out of their own, up to the link's.
        const bool filed = (op & 4) != 0;
        const milliseconds own = op & 8 ? milliseconds(1 + op % 64u * timeout / 64u) : milliseconds(0);
        const auto start = port->clock;
        const Reply r = link.Exchange(command, {own, filed});
        // Filed as data, the wait for a quiet line adds the silent exchange's
        // time-out and last gap, and a line caught mid-arrival one more time-out.
        const auto limit = (filed ? 3 * milliseconds(timeout) + kTrailingGap : milliseconds(timeout)) + kExchangeOverrun;
        if (port->clock - start > limit) std::abort();
        // Both may be set: a late answer waited out, then a line already under
        // way as the command went out.
        if (r.lateDiscarded && (!filed || command == "NoWrite")) std::abort();
        if (r.text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) std::abort();
        const bool printable =
            std::all_of(r.text.begin(), r.text.end(), [](char c) { return c >= 0x20 && c <= 0x7e; });
        switch (r.outcome) {
        case ExchangeOutcome::Line:
            if (r.text.empty() || !printable) std::abort();
            break;
        case ExchangeOutcome::Garbled:
            if (r.text.empty() || printable) std::abort();
            break;
        case ExchangeOutcome::Broadcast:
            if (r.text != kBroadcast || command != "#00X\r\n") std::abort();
            break;
        default:
            if (r.text != kNoConnect) std::abort();
        }
        if (r.staleDiscarded && command == "NoWrite") std::abort();
    }
    return 0;
}
