#include "capture/CaptureText.h"

#include <charconv>

#include "app/LineWatch.h"
#include "link/DeviceLink.h"

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

namespace {

bool Digits(std::string_view text, std::size_t at, std::size_t n, int& out) {
    if (at + n > text.size()) return false;
    out = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        out = out * 10 + (text[i] - '0');
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

}  // namespace

long long CivilSeconds(int year, int month, int day, int hour, int minute, int second) {
    // Days from 1970-01-01 in the proleptic Gregorian calendar (Hinnant's days_from_civil).
    const int y = year - (month <= 2 ? 1 : 0);
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153LL * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long long days = era * 146097 + doe - 719468;
    return days * 86400 + hour * 3600LL + minute * 60LL + second;
}

void CivilFields(long long seconds, int fields[6]) {
    long long days = seconds / 86400, rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long doe = days - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long d = doy - (153 * mp + 2) / 5 + 1;
    const long long m = mp < 10 ? mp + 3 : mp - 9;
    fields[0] = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
    fields[1] = static_cast<int>(m);
    fields[2] = static_cast<int>(d);
    fields[3] = static_cast<int>(rest / 3600);
    fields[4] = static_cast<int>(rest / 60 % 60);
    fields[5] = static_cast<int>(rest % 60);
}

bool ReadRowTime(std::string_view text, long long& seconds, std::size_t& used) {
    // "YYYY/MM/DD, HH:MM:SS"
    int f[6];
    if (!Digits(text, 0, 4, f[0]) || text.size() < 20 || text[4] != '/' || !Digits(text, 5, 2, f[1]) ||
        text[7] != '/' || !Digits(text, 8, 2, f[2]) || text[10] != ',' || text[11] != ' ' ||
        !Digits(text, 12, 2, f[3]) || text[14] != ':' || !Digits(text, 15, 2, f[4]) || text[17] != ':' ||
        !Digits(text, 18, 2, f[5]))
        return false;
    if (f[1] < 1 || f[1] > 12 || f[2] < 1 || f[2] > 31 || f[3] > 23 || f[4] > 59 || f[5] > 60) return false;
    seconds = CivilSeconds(f[0], f[1], f[2], f[3], f[4], f[5]);
    used = 20;
    return true;
}

CaptureLine ReadCaptureLine(std::string_view line) {
    CaptureLine out;
    line = Trim(line);
    if (line == link::kNoConnect) {
        out.kind = CaptureLine::Kind::NoConnect;
        return out;
    }
    using app::kGapLost, app::kGapUnplugged;
    const std::size_t gap = line.starts_with(kGapUnplugged) ? kGapUnplugged.size()
                            : line.starts_with(kGapLost)    ? kGapLost.size()
                                                            : 0;
    if (gap) {
        // "... <start> - back <end>" or "... - capture stopped <end>"
        std::size_t used = 0;
        const std::string_view rest = line.substr(gap);
        if (!ReadRowTime(rest, out.time, used)) return out;
        const std::size_t dash = rest.find(" - ", used);
        if (dash == std::string_view::npos || rest.size() < 20) return out;
        if (!ReadRowTime(rest.substr(rest.size() - 20), out.gapEnd, used)) return out;
        out.kind = CaptureLine::Kind::Gap;
        return out;
    }
    std::size_t used = 0;
    if (!ReadRowTime(line, out.time, used)) return out;
    std::string_view rest = line.substr(used);
    if (rest.empty() || rest.front() != ',') return out;
    rest.remove_prefix(1);
    while (out.valueCount < 4) {
        const std::size_t comma = rest.find(',');
        out.values[out.valueCount++] = std::string(Trim(rest.substr(0, comma)));
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    out.kind = CaptureLine::Kind::Row;
    return out;
}

}  // namespace tessary::capture
