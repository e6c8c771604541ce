#include "device/DeviceTime.h"

#include "app/Session.h"
#include "app/private/AppState.h"
#include "device/DeviceInfo.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace tessary::device {

namespace {
constexpr std::array<const char*, 13> kMonthNames = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

std::string FormatDeviceTime(const std::string& text) {
    if (text.size() != 19) return text;
    const std::string month = text.substr(5, 2);
    std::string name = month;
    if (IsDigit(month[0]) && IsDigit(month[1])) {
        const int m = (month[0] - '0') * 10 + (month[1] - '0');
        if (m <= 12) name = kMonthNames[static_cast<std::size_t>(m)];
    }
    return text.substr(8, 2) + "/" + name + "/" + text.substr(2, 2) + "  " + text.substr(11, 8);
}

std::string DeviceTimeText(const app::DateTimeFields& t) {
    // Room for six fields of any int (11 characters each) and the colons.
    char buf[6 * 12 + 1];
    const int n = std::snprintf(buf, sizeof buf, "%04d:%02d:%02d:%02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                                t.minute, t.second);
    return std::string(buf, std::min(n > 0 ? static_cast<std::size_t>(n) : 0, sizeof buf - 1));
}

void SetDeviceClock(app::Session& session, SettingsView& view) {
    auto& st = session.State();
    if (st.CurrentAddress.empty()) {
        session.Op().ShowMessageBox("Please Auto Connect first.");
        return;
    }
    const auto picked = view.AskClockTime();
    if (!picked) return;
    // "#00" is not refused: the link returns "#00" at once and the field shows it.
    st.Info.ClockTime = FormatDeviceTime(QueryBox(session, "TM=" + DeviceTimeText(*picked)));
}

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

}  // namespace tessary::device
