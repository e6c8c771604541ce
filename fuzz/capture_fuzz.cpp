// Any bytes as a readings answer through the capture line and the traffic
// line, and as the text of the capture rate.

#include "capture/CaptureText.h"
#include "capture/TrafficLog.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string line = tessary::capture::FormatCaptureTime(text);
    const std::string head = text.substr(0, text.find(','));
    if (std::count(head.begin(), head.end(), ':') < 3) {
        if (line != text) __builtin_trap();
    } else {
        // Three colons gone, one blank more, the rest untouched.
        if (line.size() != text.size() + 1) __builtin_trap();
        if (std::count(line.begin(), line.end(), ':') != std::count(text.begin(), text.end(), ':') - 3)
            __builtin_trap();
        const std::size_t third = line.find(", ");
        if (third == std::string::npos || line.substr(third + 2) != text.substr(third + 1)) __builtin_trap();
    }

    const int rate = tessary::capture::ParseCaptureRate(text);
    if (rate < 1 || rate > tessary::capture::kMaxRateSeconds) __builtin_trap();
    if (!text.empty() && text.size() < 6 &&
        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const int value = std::stoi(text);
        if (value >= 1 && value <= tessary::capture::kMaxRateSeconds && rate != value) __builtin_trap();
    }

    const tessary::link::TrafficRecord record{{}, "COM1", text, line, tessary::link::ExchangeOutcome::NoByte};
    const std::string shown = tessary::capture::FormatTraffic(record);
    for (const char c : shown)
        if (static_cast<unsigned char>(c) < 0x20) __builtin_trap();
    return 0;
}
