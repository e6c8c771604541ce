#include "plot/ChartData.h"

#include "capture/CaptureText.h"
#include "link/Files.h"
#include "log/DumpText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numeric>
#include <optional>
#include <ostream>

namespace tessary::plot {

namespace {

bool ReadNumber(const std::string& text, double& value) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

std::string BaseName(const std::string& path) {
    std::size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

// Feeds the reader one line at a time, whatever the file's size.
class Reader {
public:
    explicit Reader(const std::string& path) : name_(BaseName(path)) { file_.path = path; }

    void Line(std::string_view line, bool tooLong) {
        ++file_.lines;
        if (tooLong) {
            ++file_.longLines;
            NotUnderstood();
            return;
        }
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find_first_not_of(" \t") == std::string_view::npos) return;
        const capture::CaptureLine row = capture::ReadCaptureLine(line);
        switch (row.kind) {
        case capture::CaptureLine::Kind::Row: {
            double p = 0, t = 0;
            if (row.valueCount < 2 || !ReadNumber(row.values[0], p) || !ReadNumber(row.values[1], t))
                return NotUnderstood();
            Add(Quantity::Pressure, false, row.time, p);
            Add(Quantity::Temperature, false, row.time, t);
            return;
        }
        case capture::CaptureLine::Kind::NoConnect:
        case capture::CaptureLine::Kind::Gap:
            BreakAll(row.kind == capture::CaptureLine::Kind::Gap ? std::optional<std::int64_t>(row.time)
                                                                 : std::nullopt);
            return;
        case capture::CaptureLine::Kind::Other:
            break;
        }
        const log::DumpLine set = log::ReadDumpLine(line);
        switch (set.kind) {
        case log::DumpLine::Kind::Set:
            return AddSet(set);
        case log::DumpLine::Kind::End:
            columns_.clear();  // the next dump may carry other items
            BreakAll(std::nullopt);
            return;
        case log::DumpLine::Kind::NoConnect:
            BreakAll(std::nullopt);
            return;
        case log::DumpLine::Kind::Other:
            break;
        }
        // A dump's comment is its first line; anything else is not ours.
        if (file_.lines == 1) return;
        NotUnderstood();
    }

    ChartFile Finish() {
        for (Series* s : order_) {
            if (!std::is_sorted(s->t.begin(), s->t.end())) {
                std::vector<std::size_t> idx(s->t.size());
                std::iota(idx.begin(), idx.end(), std::size_t{0});
                std::stable_sort(idx.begin(), idx.end(), [s](std::size_t a, std::size_t b) { return s->t[a] < s->t[b]; });
                std::vector<std::int64_t> t(idx.size());
                std::vector<double> v(idx.size());
                for (std::size_t i = 0; i < idx.size(); ++i) {
                    t[i] = s->t[idx[i]];
                    v[i] = s->v[idx[i]];
                }
                s->t.swap(t);
                s->v.swap(v);
            }
            s->t.shrink_to_fit();
            s->v.shrink_to_fit();
            file_.series.push_back(std::move(*s));
        }
        return std::move(file_);
    }

private:
    void NotUnderstood() {
        if (file_.notUnderstood++ == 0) file_.firstNotUnderstood = file_.lines;
    }

    Series& Get(Quantity q, bool relative) {
        Series*& slot = slots_[static_cast<int>(q) * 2 + (relative ? 1 : 0)];
        if (!slot) {
            owned_.emplace_back(std::make_unique<Series>());
            slot = owned_.back().get();
            slot->name = name_ + (q == Quantity::Pressure ? " pressure" : " temperature") + (relative ? " (s)" : "");
            slot->quantity = q;
            slot->relative = relative;
            order_.push_back(slot);
        }
        return *slot;
    }

    void Add(Quantity q, bool relative, std::int64_t t, double v) {
        Series& s = Get(q, relative);
        s.t.push_back(t);
        s.v.push_back(v);
    }

    void BreakAll(std::optional<std::int64_t> at) {
        for (Series* s : order_)
            if (!s->v.empty() && !std::isnan(s->v.back())) {
                s->t.push_back(at && !s->relative ? std::max(*at, s->t.back()) : s->t.back());
                s->v.push_back(kNoValue);
            }
    }

    void AddSet(const log::DumpLine& set) {
        // Which items a dump holds is set when its log was initialised, not said
        // in the file: values with a decimal point are pressure then temperature,
        // whole numbers are counts and not drawn.
        if (columns_.empty()) {
            int decimals = 0;
            for (const auto& v : set.values) {
                const bool decimal = v.find('.') != std::string::npos && decimals < 2;
                columns_.push_back(decimal ? decimals++ : -1);
            }
            if (decimals == 0) columns_.assign(set.values.size(), -1);
        }
        if (set.values.size() != columns_.size()) return NotUnderstood();
        double values[2];
        bool have[2] = {false, false};
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (columns_[i] < 0) continue;
            if (!ReadNumber(set.values[i], values[columns_[i]])) return NotUnderstood();
            have[columns_[i]] = true;
        }
        for (int q = 0; q < 2; ++q)
            if (have[q]) Add(static_cast<Quantity>(q), set.seconds, set.time, values[q]);
    }

    ChartFile file_;
    std::string name_;
    Series* slots_[4] = {};
    std::vector<std::unique_ptr<Series>> owned_;
    std::vector<Series*> order_;
    std::vector<int> columns_;
};

template <typename Feed>
void SplitLines(std::string_view chunk, std::string& carry, bool& skipping, Feed&& feed) {
    while (!chunk.empty()) {
        const std::size_t nl = chunk.find('\n');
        const std::string_view part = chunk.substr(0, nl);
        if (!skipping) {
            if (carry.size() + part.size() > kMaxLineBytes) {
                skipping = true;
                carry.clear();
            } else {
                carry.append(part);
            }
        }
        if (nl == std::string_view::npos) return;
        feed(std::string_view(carry), skipping);
        carry.clear();
        skipping = false;
        chunk.remove_prefix(nl + 1);
    }
}

}  // namespace

std::string ChartFile::Summary() const {
    if (notUnderstood == 0) return {};
    std::string s = std::to_string(notUnderstood) + (notUnderstood == 1 ? " line" : " lines") +
                    " not understood, first at line " + std::to_string(firstNotUnderstood);
    if (longLines) s += " (" + std::to_string(longLines) + " longer than " + std::to_string(kMaxLineBytes) + " bytes)";
    return s;
}

ChartFile ReadChartText(const std::string& name, const std::string& bytes) {
    Reader reader(name);
    std::string carry;
    bool skipping = false;
    auto feed = [&reader](std::string_view line, bool tooLong) { reader.Line(line, tooLong); };
    SplitLines(bytes, carry, skipping, feed);
    if (!carry.empty() || skipping) feed(carry, skipping);
    ChartFile file = reader.Finish();
    if (file.series.empty() && file.error.empty())
        file.error = bytes.empty() ? "the file is empty" : "no readings in it";
    return file;
}

ChartFile ReadChartFile(const std::string& path) {
    ChartFile failed;
    failed.path = path;
    std::uint64_t size = 0;
    std::string error;
    if (!link::RegularFileSize(path, size, error)) {
        failed.error = error;
        return failed;
    }
    if (size == 0) {
        failed.error = "the file is empty";
        return failed;
    }
    std::ifstream in(std::filesystem::path(reinterpret_cast<const char8_t*>(path.c_str())), std::ios::binary);
    if (!in) {
        failed.error = "cannot be opened";
        return failed;
    }
    Reader reader(path);
    std::string carry, chunk(1 << 20, '\0');
    bool skipping = false;
    auto feed = [&reader](std::string_view line, bool tooLong) { reader.Line(line, tooLong); };
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0) break;
        SplitLines(std::string_view(chunk.data(), got), carry, skipping, feed);
    }
    const bool bad = in.bad();
    if (!carry.empty() || skipping) feed(carry, skipping);
    ChartFile file = reader.Finish();
    if (bad) file.error = "a read failed";
    else if (file.series.empty()) file.error = "no readings in it";
    return file;
}

bool ParseTime(const std::string& text, std::int64_t& seconds) {
    std::string row = text;
    if (row.size() == 19 && row[4] == '-' && row[7] == '-' && row[10] == 'T') {
        row[4] = row[7] = '/';
        row.replace(10, 1, ", ");
    }
    long long s = 0;
    std::size_t used = 0;
    if (capture::ReadRowTime(row, s, used) && used == row.size()) {
        seconds = s;
        return true;
    }
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), s);
    if (ec != std::errc() || ptr != text.data() + text.size() || text.empty()) return false;
    seconds = s;
    return true;
}

std::string IsoTime(std::int64_t seconds, bool relative) {
    if (relative) return std::to_string(seconds);
    int f[6];
    capture::CivilFields(seconds, f);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", f[0], f[1], f[2], f[3], f[4], f[5]);
    return buf;
}

std::vector<Column> Decimate(const Series& s, double from, double to, int columns) {
    std::vector<Column> out;
    if (columns <= 0 || !(to > from)) return out;
    const auto begin = std::lower_bound(s.t.begin(), s.t.end(), static_cast<std::int64_t>(std::ceil(from)));
    const auto end = std::upper_bound(begin, s.t.end(), static_cast<std::int64_t>(std::floor(to)));
    const double scale = columns / (to - from);
    bool broken = false;
    for (auto it = begin; it != end; ++it) {
        const double v = s.v[static_cast<std::size_t>(it - s.t.begin())];
        if (std::isnan(v)) {
            broken = true;
            continue;
        }
        const int x = std::min(columns - 1, static_cast<int>((static_cast<double>(*it) - from) * scale));
        if (out.empty() || out.back().x != x || broken) {
            out.push_back({x, v, v, v, v, broken});
            broken = false;
            continue;
        }
        Column& c = out.back();
        c.last = v;
        c.lo = std::min(c.lo, v);
        c.hi = std::max(c.hi, v);
    }
    return out;
}

bool ValueRange(const Series& s, double from, double to, double& lo, double& hi) {
    const auto begin = std::lower_bound(s.t.begin(), s.t.end(), static_cast<std::int64_t>(std::ceil(from)));
    const auto end = std::upper_bound(begin, s.t.end(), static_cast<std::int64_t>(std::floor(to)));
    bool any = false;
    for (auto it = begin; it != end; ++it) {
        const double v = s.v[static_cast<std::size_t>(it - s.t.begin())];
        if (std::isnan(v)) continue;
        lo = any ? std::min(lo, v) : v;
        hi = any ? std::max(hi, v) : v;
        any = true;
    }
    return any;
}

void WriteCsv(std::ostream& out, const std::vector<const Series*>& series, std::int64_t from, std::int64_t to) {
    out << "time";
    for (const Series* s : series) {
        std::string name = s->name;
        if (name.find_first_of(",\"") != std::string::npos) {
            std::string quoted = "\"";
            for (char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
            name = quoted + "\"";
        }
        out << ',' << name;
    }
    out << "\r\n";
    std::vector<std::size_t> at(series.size());
    for (std::size_t k = 0; k < series.size(); ++k)
        at[k] = static_cast<std::size_t>(std::lower_bound(series[k]->t.begin(), series[k]->t.end(), from) -
                                         series[k]->t.begin());
    const bool relative = !series.empty() && series.front()->relative;
    char buf[32];
    for (;;) {
        // The next time any series has a value at.
        std::int64_t next = 0;
        bool any = false;
        for (std::size_t k = 0; k < series.size(); ++k) {
            const Series& s = *series[k];
            while (at[k] < s.t.size() && s.t[at[k]] <= to && std::isnan(s.v[at[k]])) ++at[k];
            if (at[k] < s.t.size() && s.t[at[k]] <= to && (!any || s.t[at[k]] < next)) {
                next = s.t[at[k]];
                any = true;
            }
        }
        if (!any) break;
        out << IsoTime(next, relative);
        for (std::size_t k = 0; k < series.size(); ++k) {
            const Series& s = *series[k];
            out << ',';
            if (at[k] < s.t.size() && s.t[at[k]] == next) {
                const auto r = std::to_chars(buf, buf + sizeof buf, s.v[at[k]]);
                out.write(buf, r.ptr - buf);
                // Two rows of one box at the same second: the next CSV row takes the second.
                ++at[k];
            }
        }
        out << "\r\n";
    }
}

bool ValueAt(const Series& s, std::int64_t t, std::int64_t slack, double& value, std::int64_t& at) {
    auto it = std::upper_bound(s.t.begin(), s.t.end(), t);
    if (it == s.t.begin()) return false;
    --it;
    const double v = s.v[static_cast<std::size_t>(it - s.t.begin())];
    if (std::isnan(v) || t - *it > slack) return false;
    value = v;
    at = *it;
    return true;
}

}  // namespace tessary::plot
