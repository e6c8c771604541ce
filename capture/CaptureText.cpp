#include "capture/CaptureText.h"

#include <charconv>

namespace tessary::capture {

bool SplitReading(std::string_view answer, device::PublishedReading& row) {
    std::string_view parts[5];
    for (int k = 0; k < 5; ++k) {
        const auto comma = answer.find(',');
        if ((comma == std::string_view::npos) != (k == 4)) return false;
        parts[k] = answer.substr(0, comma);
        if (parts[k].empty()) return false;
        answer.remove_prefix(comma == std::string_view::npos ? answer.size() : comma + 1);
    }
    row.boxTime = FormatCaptureTime(parts[0]);
    if (row.boxTime == parts[0]) return false;  // no box time
    row.pressure = parts[1];
    row.temperature = parts[2];
    row.pressureCounts = parts[3];
    row.temperatureCounts = parts[4];
    return true;
}

int ParseCaptureRate(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return 1;
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return 1;
    if (value < 1 || value > kMaxRateSeconds) return 1;
    return static_cast<int>(value);
}

}  // namespace tessary::capture
