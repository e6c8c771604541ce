#include "capture/CaptureText.h"

#include <charconv>

namespace tessary::capture {

std::string FormatCaptureTime(std::string_view answer) {
    const std::string_view head = answer.substr(0, answer.find(','));
    std::string line;
    line.reserve(answer.size() + 1);
    int colons = 0;
    for (std::size_t i = 0; i < head.size(); ++i) {
        const char c = head[i];
        if (c != ':') {
            line.push_back(c);
            continue;
        }
        if (++colons < 3) {
            line.push_back('/');
            continue;
        }
        line += ", ";
        line.append(answer.substr(i + 1));
        return line;
    }
    return std::string(answer);
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
