#include "sim/Box.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace bravik::sim {
namespace {

using namespace std::chrono_literals;

const char* const kUnknown = "ERROR 1";      // command word not known to this box
const char* const kBadArg = "ERROR 2";       // argument missing, malformed or out of range
const char* const kRateNotInit = "ERROR 4";  // LR/LR= before the log is initialised
const char* const kNotInit = "ERROR 13";     // other log commands before the log is initialised
const char* const kFull = "ERROR 14";        // log memory full

constexpr double kPi = 3.14159265358979323846;

struct Unit {
    const char* name;
    const char* up;  // answer to UPn: name, factor, offset from psi / Celsius
};
const Unit kUnits[8] = {
    {"psi", "psi,1.0000000,0"},   {"bar", "bar,0.0689476,0"},    {"MPa", "MPa,0.0068948,0"},
    {"mH2O", "mH2O,0.7030696,0"}, {"C", "C,1.0000000,0"},        {"K", "K,1.0000000,273.15"},
    {"F", "F,1.8000000,32"},      {"R", "R,1.8000000,491.67"},
};
const unsigned kRates[] = {1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200};

std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// Deterministic noise in [-1, 1] for a box and a millisecond.
double noise(std::uint32_t seed, std::int64_t ms, std::uint64_t channel) {
    std::uint64_t h = mix(mix(seed) ^ static_cast<std::uint64_t>(ms) ^ (channel << 56));
    return static_cast<double>(h >> 11) / static_cast<double>(1ULL << 52) - 1.0;
}

bool isDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool parseInt(std::string_view s, long long& out) {
    if (!isDigits(s) || s.size() > 12) return false;
    out = 0;
    for (char c : s) out = out * 10 + (c - '0');
    return true;
}

bool parseNumber(std::string_view s, double& out) {
    if (s.empty() || s.size() > 30) return false;
    std::string tmp(s);
    char* end = nullptr;
    out = std::strtod(tmp.c_str(), &end);
    return end == tmp.c_str() + tmp.size() && std::isfinite(out);
}

std::string fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

std::vector<std::string> split(std::string_view s, char sep) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t pos = s.find(sep, start);
        parts.emplace_back(s.substr(start, pos == std::string_view::npos ? std::string_view::npos : pos - start));
        if (pos == std::string_view::npos) return parts;
        start = pos + 1;
    }
}

Reply one(std::string text, std::chrono::milliseconds gap = 0ms) {
    Reply r;
    r.lines.push_back({gap, std::move(text), {}});
    return r;
}

std::int64_t secondsOf(WallClock::time_point t) {
    return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
}

std::string hexByte(unsigned v) {
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02X", v & 0xFFu);
    return buf;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Decodes one Intel HEX record; false unless it is well formed with a good checksum.
bool decodeRecord(std::string_view line, unsigned& type, std::vector<std::uint8_t>& data) {
    if (line.size() < 11 || line[0] != ':' || (line.size() - 1) % 2 != 0) return false;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 1; i + 1 < line.size(); i += 2) {
        int hi = hexDigit(line[i]), lo = hexDigit(line[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    if (bytes.size() != bytes[0] + 5u) return false;
    unsigned sum = 0;
    for (auto b : bytes) sum += b;
    if ((sum & 0xFFu) != 0) return false;
    type = bytes[3];
    data.assign(bytes.begin() + 4, bytes.end() - 1);
    return true;
}

std::string encodeRecord(unsigned address, unsigned type, const std::uint8_t* data, std::size_t n) {
    std::string s = ":" + hexByte(static_cast<unsigned>(n)) + hexByte(address >> 8) + hexByte(address) + hexByte(type);
    unsigned sum = static_cast<unsigned>(n) + (address >> 8) + (address & 0xFFu) + type;
    for (std::size_t i = 0; i < n; ++i) {
        s += hexByte(data[i]);
        sum += data[i];
    }
    return s + hexByte((0x100u - (sum & 0xFFu)) & 0xFFu);
}

void putBE32(std::array<std::uint8_t, 256>& img, std::size_t at, std::int64_t v) {
    auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) img[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(u >> (24 - 8 * i));
}

}  // namespace

std::string formatBoxTime(std::int64_t s) {
    std::time_t t = static_cast<std::time_t>(s);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d:%02d:%02d:%02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

bool parseBoxTime(std::string_view text, std::int64_t& out) {
    if (text.size() != 19) return false;
    for (std::size_t i : {4u, 7u, 10u, 13u, 16u})
        if (text[i] != ':') return false;
    long long f[6];
    const std::size_t pos[6] = {0, 5, 8, 11, 14, 17}, len[6] = {4, 2, 2, 2, 2, 2};
    for (int i = 0; i < 6; ++i)
        if (!parseInt(text.substr(pos[i], len[i]), f[i])) return false;
    if (f[1] < 1 || f[1] > 12 || f[2] < 1 || f[2] > 31 || f[3] > 23 || f[4] > 59 || f[5] > 59 || f[0] < 1970)
        return false;
    std::tm tm{};
    tm.tm_year = static_cast<int>(f[0] - 1900);
    tm.tm_mon = static_cast<int>(f[1] - 1);
    tm.tm_mday = static_cast<int>(f[2]);
    tm.tm_hour = static_cast<int>(f[3]);
    tm.tm_min = static_cast<int>(f[4]);
    tm.tm_sec = static_cast<int>(f[5]);
    std::time_t t = timegm(&tm);
    if (tm.tm_mday != f[2]) return false;  // 31 February and friends
    out = static_cast<std::int64_t>(t);
    return true;
}

std::int64_t Box::boxSeconds(WallClock::time_point now) const { return secondsOf(now) + clockOffset_.count(); }

Box::Box(BoxConfig config)
    : config_(std::move(config)), faults_(config_.faults), address_(config_.address), baud_(config_.baud),
      serial_(config_.serial), gate_(config_.gate),
      seed_(static_cast<std::uint32_t>(config_.address * 7919 + (config_.family == Family::Kestin ? 17 : 0))) {
    char buf[32];
    if (serial_.empty()) {
        if (config_.family == Family::Digital)
            std::snprintf(buf, sizeof buf, "2104%02d17", config_.address % 100);
        else
            std::snprintf(buf, sizeof buf, "199805%02dR", config_.address % 100);
        serial_ = buf;
    }
    // The box shows local time, like the PC that set it.
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    clockOffset_ = std::chrono::seconds(local.tm_gmtoff);
    if (config_.logSets > 0) prefillLog(boxSeconds(WallClock::now()));

    // Coefficient image: most significant byte first (byte 01 = 1).
    std::mt19937 rng(seed_);
    image_[0x00] = 0x02;
    image_[0x01] = 0x01;
    image_[0x02] = 0x01;
    image_[0x03] = 0x04;
    for (std::size_t i = 0; i < 4; ++i) {
        auto digit = [&](std::size_t k) -> unsigned {
            return k < serial_.size() && serial_[k] >= '0' && serial_[k] <= '9' ? static_cast<unsigned>(serial_[k] - '0') : 0u;
        };
        image_[4 + i] = static_cast<std::uint8_t>(digit(2 * i) << 4 | digit(2 * i + 1));
    }
    const char part[] = "P6100-A";
    std::copy(part, part + 7, image_.begin() + 8);
    image_[0x14] = 0;
    image_[0x15] = 30;
    image_[0x16] = static_cast<std::uint8_t>(-8);  // -40 C
    image_[0x17] = 17;                             // 85 C
    image_[0x18] = 2;
    image_[0x19] = 3;
    image_[0x1A] = 4;
    image_[0x1B] = 4;
    putBE32(image_, 0x1C, 0x12345678);
    putBE32(image_, 0x20, 0x0000C350);
    putBE32(image_, 0x24, -1250);
    std::uniform_int_distribution<std::int32_t> coef(-2000000000, 2000000000);
    for (std::size_t i = 0; i < 25; ++i) putBE32(image_, 0x28 + 4 * i, coef(rng));
    image_[0x8C] = 2;
    image_[0x8D] = 1;
    image_[0x8E] = 3;
    image_[0x8F] = 5;
    putBE32(image_, 0x90, 0x00ABCDEF);
    putBE32(image_, 0x94, 0x00001388);
    putBE32(image_, 0x98, 310);
    for (std::size_t i = 0; i < 24; ++i) putBE32(image_, 0x9C + 4 * i, coef(rng));
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 0xFC; ++i) sum += image_[i];
    putBE32(image_, 0xFC, sum);

    std::uniform_real_distribution<double> mant(1.0, 9.999);
    auto kestinBlock = [&](const char* prefix) {
        std::vector<std::string> lines;
        lines.push_back(std::string(prefix) + " SN " + serial_);
        for (int i = 0; i < 8; ++i) {
            char b[48];
            std::snprintf(b, sizeof b, "%s%d=%+.6E", prefix, i, (i % 2 ? -1 : 1) * mant(rng) * std::pow(10.0, 3 - i));
            lines.push_back(b);
        }
        return lines;
    };
    kestin1_ = kestinBlock("P");
    kestin2_ = kestinBlock("T");
}

double Box::pressurePsi(WallClock::time_point t) const {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
    double s = static_cast<double>(ms) / 1000.0;
    double base = 14.2 + 0.137 * (config_.address % 9);
    return base + 0.02 * std::sin(2 * kPi * s / 600.0 + config_.address) + 0.006 * std::sin(2 * kPi * s / 97.0) +
           0.0004 * noise(seed_, ms, 1);
}

double Box::temperatureC(WallClock::time_point t) const {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
    double s = static_cast<double>(ms) / 1000.0;
    double base = 21.5 + 0.4 * (config_.address % 5);
    return base + 0.3 * std::sin(2 * kPi * s / 1800.0 + config_.address) + 0.004 * noise(seed_, ms, 2);
}

std::string Box::pressureText(double psi) const {
    for (int i = 0; i < 4; ++i)
        if (pressureUnit_ == kUnits[i].name) {
            static const double factor[4] = {1.0, 0.0689476, 0.00689476, 0.7030696};
            return fixed(psi * factor[i], i == 2 ? 6 : 5);
        }
    return fixed(psi, 5);
}

std::string Box::temperatureText(double c) const {
    if (tempUnit_ == "K") return fixed(c + 273.15, 4);
    if (tempUnit_ == "F") return fixed(c * 1.8 + 32.0, 4);
    if (tempUnit_ == "R") return fixed((c + 273.15) * 1.8, 4);
    return fixed(c, 4);
}

std::string Box::itemValue(std::string_view item, std::int64_t tBox, double p, double t, bool secondsForm) const {
    if (item == "TM") return secondsForm ? std::to_string(tBox - logStart_) : formatBoxTime(tBox);
    if (item == "D1") return pressureText(p);
    if (item == "D2") return temperatureText(t);
    if (item == "D3") return std::to_string(std::lround(300000.0 + p * 12000.0));  // counts follow the values
    return std::to_string(std::lround(40000.0 + t * 250.0));
}

Reply Box::command(std::string_view body, WallClock::time_point now, bool broadcast) {
    Reply r = handle(body, now);
    if (broadcast) r.lines.clear();
    return r;
}

Reply Box::handle(std::string_view body, WallClock::time_point now) {
    auto eq = body.find('=');
    std::string_view word = body.substr(0, eq);
    std::string_view arg = eq == std::string_view::npos ? std::string_view{} : body.substr(eq + 1);
    const bool set = eq != std::string_view::npos;
    const bool digital = config_.family == Family::Digital;

    if (!set && body.find(';') != std::string_view::npos) return readings(body, now);
    if (!set && (body == "D1" || body == "D2" || body == "D3" || body == "D4")) return readings(body, now);

    if (word == "ID" && !set) return one(serial_);
    if (word == "VER" && !set) return one(digital ? "V2.14" : "K1.07");
    if (word == "M" && !set) return one(digital ? "DPT6100" : "K-3000");
    if (word == "VF" && !set) return one(digital ? "FP010422" : kUnknown);
    if (word == "EW" && !set) return one("0");
    if (word == "CW" && !set) return one(digital ? "0" : kUnknown);
    if (word == "GA") {
        if (!set) return one(gate_);
        double g = 0;
        if (!parseNumber(arg, g) || g < 0.01 || g > 2.0) return one(kBadArg);
        std::string text = fixed(g, 2);
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
        gate_ = text;
        return one(gate_);
    }
    if (word == "UN1" || word == "UN2") {
        std::string& unit = word == "UN1" ? pressureUnit_ : tempUnit_;
        if (!set) return one(unit);
        int first = word == "UN1" ? 0 : 4;
        for (int i = first; i < first + 4; ++i)
            if (arg == kUnits[i].name) {
                unit = kUnits[i].name;
                return one(unit);
            }
        return one(kBadArg);
    }
    if (word.size() == 3 && word.substr(0, 2) == "UP" && !set) {
        int i = word[2] - '1';
        return one(i >= 0 && i < 8 ? kUnits[i].up : kBadArg);
    }
    if (word == "DM") {
        if (digital) return one(kUnknown);
        if (!set) return one(std::to_string(displayMode_));
        long long m = 0;
        if (!parseInt(arg, m) || m < 1 || m > 7) return one(kBadArg);
        displayMode_ = static_cast<int>(m);
        return one(std::to_string(displayMode_));
    }
    if (word == "TM") {
        if (!set) {
            dumpSeconds_ = false;
            return one(formatBoxTime(boxSeconds(now)));
        }
        std::int64_t t = 0;
        if (!parseBoxTime(arg, t)) return one(kBadArg);
        clockOffset_ = std::chrono::seconds(t - secondsOf(now));
        return one(formatBoxTime(t));
    }
    if (word == "TS" && !set) {
        dumpSeconds_ = true;
        return one("0");
    }
    if (word == "BR" && set) {
        long long rate = 0;
        if (!parseInt(arg, rate) || std::find(std::begin(kRates), std::end(kRates), rate) == std::end(kRates))
            return one(kBadArg);
        Reply r = one(std::to_string(rate));
        r.lines[0].after = [rate](Box& b) { b.baud_ = static_cast<unsigned>(rate); };
        return r;
    }
    if (word == "AD" && set) {
        long long a = 0;
        if (arg.size() != 2 || !parseInt(arg, a) || a < 1) return one(kBadArg);
        Reply r = one(std::string(arg));
        r.lines[0].after = [a](Box& b) { b.address_ = static_cast<int>(a); };
        return r;
    }
    if (word == "LI") return logInit(set ? arg : std::string_view{}, now);
    if (word == "LR") {
        if (!logInitialised_) return one(kRateNotInit);
        return set ? logRate(arg) : one(logRateText());
    }
    if (word == "LS") return logStartStop(set ? arg : std::string_view{}, now);
    if (word == "LL" && !set) {
        if (!logInitialised_) return one(kNotInit);
        advanceLog(now);
        return one(std::to_string(log_.size()));
    }
    if (word.substr(0, 2) == "LD" && !set) return logDump(word.substr(2), now);
    if (word == "PR" && !set) {
        mode_ = Mode::Program;
        programLines_ = 0;
        saGiven_ = 0;
        badInARow_ = 0;
        return one("READY");
    }
    if (word == "CAL" || word == "CAL1" || word == "CAL2") {
        if (digital != (word == "CAL")) return one(kUnknown);
        if (!set) return coefRead(std::string(word));
        if (arg.empty() || arg[0] != '{') return one(kBadArg);
        mode_ = Mode::Block;
        blockWord_ = std::string(word);
        block_.clear();
        std::string_view rest = arg.substr(1);
        if (!rest.empty()) return blockLine(rest);
        return {};
    }
    return one(kUnknown);
}

Reply Box::readings(std::string_view body, WallClock::time_point now) {
    auto items = split(body, ';');
    bool needsGate = false;
    for (const auto& it : items) {
        if (it != "TM" && it != "D1" && it != "D2" && it != "D3" && it != "D4") return one(kBadArg);
        needsGate |= it != "TM";
    }
    double g = 0;
    parseNumber(gate_, g);
    auto gate = needsGate ? std::chrono::milliseconds(std::lround(g * 1000.0)) : 0ms;
    auto at = now + gate;
    double p = pressurePsi(at), t = temperatureC(at);
    std::string out;
    for (const auto& it : items) {
        if (!out.empty()) out += ',';
        out += itemValue(it, boxSeconds(at), p, t, false);
    }
    return one(out, gate);
}

Reply Box::logInit(std::string_view arg, WallClock::time_point now) {
    auto list = [this] {
        std::string s;
        for (const auto& it : logItems_) s += (s.empty() ? "" : ",") + it;
        return s;
    };
    if (arg.empty()) return one(logInitialised_ ? list() : kNotInit);
    auto items = split(arg, ',');
    std::vector<std::string> seen;
    for (const auto& it : items) {
        if ((it != "TM" && it != "D1" && it != "D2" && it != "D3" && it != "D4") ||
            std::find(seen.begin(), seen.end(), it) != seen.end())
            return one(kBadArg);
        seen.push_back(it);
    }
    logInitialised_ = true;
    logItems_ = seen;
    log_.clear();
    logStarted_ = logStopped_ = logFull_ = false;
    logStart_ = logStop_ = 0;
    (void)now;
    return one(list(), std::chrono::milliseconds(config_.eraseMs));
}

void Box::prefillLog(std::int64_t boxNow) {
    const auto n = static_cast<std::int64_t>(config_.logSets);
    config_.logCapacity = std::max(config_.logCapacity, config_.logSets);
    logInitialised_ = logStarted_ = logStopped_ = true;
    logItems_ = {"TM", "D1", "D2"};
    logStart_ = boxNow - n;
    logStop_ = logEvaluated_ = boxNow - 1;
    log_.reserve(static_cast<std::size_t>(n));
    for (std::int64_t t = logStart_; t < boxNow; ++t) {
        const auto wall = WallClock::time_point(std::chrono::seconds(t)) - clockOffset_;
        log_.push_back({t, pressurePsi(wall), temperatureC(wall)});
    }
    logFull_ = log_.size() >= config_.logCapacity;
}

std::string Box::logRateText() const {
    std::string s = std::to_string(logRate_);
    if (!logCondition_.empty()) s += " " + logCondition_ + " D" + std::to_string(logCondItem_) + " = " + logCondStep_;
    return s;
}

Reply Box::logRate(std::string_view arg) {
    std::string s;
    for (char c : arg)
        if (c != ' ') s += c;
    std::size_t i = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    long long rate = 0;
    if (!parseInt(std::string_view(s).substr(0, i), rate) || rate < 1 || rate > 86400) return one(kBadArg);
    std::string rest = s.substr(i), cond;
    if (rest.rfind("AND", 0) == 0) cond = "AND";
    else if (rest.rfind("OR", 0) == 0) cond = "OR";
    else if (!rest.empty()) return one(kBadArg);
    if (!cond.empty()) {
        rest = rest.substr(cond.size());
        double step = 0;
        if (rest.size() < 4 || rest[0] != 'D' || rest[1] < '1' || rest[1] > '4' || rest[2] != '=' ||
            !parseNumber(std::string_view(rest).substr(3), step) || step < 0)
            return one(kBadArg);
        logCondItem_ = rest[1] - '0';
        logCondStep_ = rest.substr(3);
    }
    logRate_ = static_cast<int>(rate);
    logCondition_ = cond;
    return one(logRateText());
}

void Box::advanceLog(WallClock::time_point now) {
    if (!logStarted_ || logFull_) return;
    std::int64_t end = boxSeconds(now);
    if (logStopped_) end = std::min(end, logStop_);
    std::int64_t t = std::max(logEvaluated_ + 1, logStart_);
    if (end < t) return;
    // A very long gap is evaluated over its last stretch only; the loop stays bounded.
    const std::int64_t maxSteps = 2000000;
    if (end - t > maxSteps) t = end - maxSteps;
    auto condValue = [this](const LogSet& s) {
        switch (logCondItem_) {
            case 1: return std::stod(pressureText(s.p));
            case 2: return std::stod(temperatureText(s.temp));
            case 3: return 300000.0 + s.p * 12000.0;
            default: return 40000.0 + s.temp * 250.0;
        }
    };
    double step = 0;
    parseNumber(logCondStep_, step);
    for (; t <= end; ++t) {
        bool due = (t - logStart_) % logRate_ == 0;
        if (logCondition_.empty() && !due) {
            // jump to the next tick
            std::int64_t next = t + (logRate_ - (t - logStart_) % logRate_) - 1;
            t = std::min(next, end);
            continue;
        }
        auto wall = WallClock::time_point(std::chrono::seconds(t - clockOffset_.count()));
        LogSet s{t, pressurePsi(wall), temperatureC(wall)};
        bool record = due;
        if (!logCondition_.empty()) {
            bool changed = log_.empty() || std::abs(condValue(s) - condValue(log_.back())) >= step;
            record = logCondition_ == "OR" ? (due || changed) : (due && changed);
        }
        if (!record) continue;
        log_.push_back(s);
        if (log_.size() >= config_.logCapacity) {
            logFull_ = true;
            break;
        }
    }
    logEvaluated_ = end;
}

std::string Box::startStopText() const {
    std::string s = formatBoxTime(logStart_);
    if (logStopped_) s += "," + formatBoxTime(logStop_);
    return s;
}

Reply Box::logStartStop(std::string_view arg, WallClock::time_point now) {
    if (!logInitialised_) return one(kNotInit);
    advanceLog(now);
    if (logFull_) return one(kFull);
    if (arg.empty()) return one(logStarted_ ? startStopText() : "NOT STARTED");
    const std::int64_t boxNow = boxSeconds(now);
    auto startAt = [&](std::int64_t t) {
        logStarted_ = true;
        logStopped_ = false;
        logStart_ = t;
        logEvaluated_ = t - 1;
    };
    if (arg == "START") {
        startAt(boxNow);
        return one(startStopText());
    }
    if (arg == "STOP") {
        if (!logStarted_) return one(kBadArg);
        logStopped_ = true;
        logStop_ = std::max(boxNow, logStart_);
        return one(startStopText());
    }
    std::int64_t a = 0, b = 0;
    if (arg.size() == 19 && parseBoxTime(arg, a)) {
        startAt(a);
        return one(startStopText());
    }
    auto comma = arg.find(',');
    if (comma == std::string_view::npos || !parseBoxTime(arg.substr(comma + 1), b)) return one(kBadArg);
    std::string_view first = arg.substr(0, comma);
    if (first == "START") {
        if (!logStarted_) startAt(boxNow);
    } else if (parseBoxTime(first, a)) {
        if (!logStarted_ || a != logStart_) startAt(a);
    } else {
        return one(kBadArg);
    }
    if (b < logStart_) return one(kBadArg);
    logStopped_ = true;
    logStop_ = b;
    return one(startStopText());
}

Reply Box::stream(std::string first, const std::vector<std::string>& body) {
    Reply r;
    r.multiLine = true;
    r.lines.push_back({0ms, std::move(first), {}});
    for (const auto& l : body) r.lines.push_back({0ms, l, {}});
    r.lines.push_back({0ms, "}", {}});
    if (faults_.stopAfter > 0 && r.lines.size() > static_cast<std::size_t>(faults_.stopAfter))
        r.lines.resize(static_cast<std::size_t>(faults_.stopAfter));
    return r;
}

Reply Box::logDump(std::string_view range, WallClock::time_point now) {
    if (!logInitialised_) return one(kNotInit);
    advanceLog(now);
    long long from = 1, to = static_cast<long long>(log_.size());
    if (!range.empty()) {
        auto comma = range.find(',');
        if (comma == std::string_view::npos || !parseInt(range.substr(0, comma), from) ||
            !parseInt(range.substr(comma + 1), to))
            return one(kBadArg);
        from = std::max(from, 1LL);
        to = std::min(to, static_cast<long long>(log_.size()));
    }
    std::vector<std::string> lines;
    for (long long i = from; i <= to; ++i) {
        const LogSet& s = log_[static_cast<std::size_t>(i - 1)];
        std::string line;
        for (const auto& it : logItems_) {
            if (!line.empty()) line += ',';
            line += itemValue(it, s.t, s.p, s.temp, dumpSeconds_);
        }
        lines.push_back(line);
    }
    if (lines.empty()) {
        Reply r;
        r.multiLine = true;
        r.lines.push_back({0ms, "}", {}});
        return r;
    }
    std::string first = lines.front();
    lines.erase(lines.begin());
    return stream(first, lines);
}

std::vector<std::string> Box::coefLines(const std::string& word) const {
    if (word == "CAL1") return kestin1_;
    if (word == "CAL2") return kestin2_;
    std::vector<std::string> lines;
    for (unsigned r = 0; r < 16; ++r) lines.push_back(encodeRecord(r * 16, 0, image_.data() + r * 16, 16));
    lines.push_back(encodeRecord(0, 1, nullptr, 0));
    return lines;
}

Reply Box::coefRead(const std::string& word) {
    auto lines = coefLines(word);
    return stream(word + " " + std::to_string(word == "CAL" ? 256 : lines.size()), lines);
}

Reply Box::rawLine(std::string_view line, WallClock::time_point) {
    if (mode_ == Mode::Block) return blockLine(line);
    if (mode_ == Mode::Program) return programLine(line);
    return {};
}

Reply Box::blockLine(std::string_view line) {
    if (line != "}") {
        if (block_.size() < 1000) block_.emplace_back(line);
        return {};
    }
    mode_ = Mode::Normal;
    if (blockWord_ == "CAL1") kestin1_ = block_;
    else if (blockWord_ == "CAL2") kestin2_ = block_;
    else {
        std::array<std::uint8_t, 256> img{};
        std::size_t records = 0;
        bool ended = false;
        for (const auto& l : block_) {
            unsigned type = 0;
            std::vector<std::uint8_t> data;
            if (ended || !decodeRecord(l, type, data)) return stream(kBadArg, {});
            if (type == 1) {
                ended = true;
                continue;
            }
            if (type != 0 || data.size() != 16 || records == 16) return stream(kBadArg, {});
            std::copy(data.begin(), data.end(), img.begin() + static_cast<std::ptrdiff_t>(records * 16));
            ++records;
        }
        if (!ended || records != 16) return stream(kBadArg, {});
        image_ = img;
    }
    return coefRead(blockWord_);
}

Reply Box::programLine(std::string_view line) {
    const int n = programLines_ + 1;  // the image line being offered
    auto leave = [](Box& b) {
        b.mode_ = Mode::Normal;
        b.baud_ = 9600;
    };
    if (faults_.stopAfter > 0 && programLines_ >= faults_.stopAfter) {
        leave(*this);
        return {};
    }
    if (faults_.saTimes > 0 && n == faults_.saLine && saGiven_ < faults_.saTimes) {
        ++saGiven_;
        return one("SA");
    }
    if (!faults_.abortCode.empty() && n == faults_.abortLine) {
        mode_ = Mode::Normal;
        Reply r = one("AB" + faults_.abortCode);
        r.lines[0].after = leave;
        return r;
    }
    unsigned type = 0;
    std::vector<std::uint8_t> data;
    if (!decodeRecord(line, type, data)) {
        if (++badInARow_ < 3) return one("SA");
        mode_ = Mode::Normal;
        Reply r = one("AB01");  // the same line came bad three times
        r.lines[0].after = leave;
        return r;
    }
    badInARow_ = 0;
    ++programLines_;
    if (type != 1) return one("OK");
    mode_ = Mode::Normal;
    Reply r;
    r.lines.push_back({0ms, "OK", {}});
    r.lines.push_back({std::chrono::milliseconds(config_.copyMs), "PROGRAM OK", leave});
    return r;
}

}  // namespace bravik::sim
