#include "log/DumpText.h"

#include "capture/CaptureText.h"

namespace tessary::log {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool Number(std::string_view s, long long& out) {
    if (s.empty() || s.size() > 12) return false;
    out = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

}  // namespace

DumpLine ReadDumpLine(std::string_view line) {
    DumpLine out;
    line = Trim(line);
    if (line == "}") {
        out.kind = DumpLine::Kind::End;
        return out;
    }
    if (line == "NoConnect") {
        out.kind = DumpLine::Kind::NoConnect;
        return out;
    }
    const std::size_t comma = line.find(',');
    if (comma == std::string_view::npos) return out;
    const std::string_view head = Trim(line.substr(0, comma));
    if (!Number(head, out.time)) {
        // "YYYY:MM:DD:HH:MM:SS" read through the capture's row form.
        if (head.size() != 19 || head[4] != ':' || head[7] != ':' || head[10] != ':' || head[13] != ':' ||
            head[16] != ':')
            return out;
        std::string row(head);
        row[4] = row[7] = '/';
        row.replace(10, 1, ", ");
        std::size_t used = 0;
        if (!capture::ReadRowTime(row, out.time, used)) return out;
    } else {
        out.seconds = true;
    }
    std::string_view rest = line.substr(comma + 1);
    for (;;) {
        const std::size_t next = rest.find(',');
        out.values.emplace_back(Trim(rest.substr(0, next)));
        if (next == std::string_view::npos || out.values.size() == 4) break;
        rest.remove_prefix(next + 1);
    }
    out.kind = DumpLine::Kind::Set;
    return out;
}

}  // namespace tessary::log
