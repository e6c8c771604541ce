#pragma once
// One simulated box: its state and its answers, seen from the box's side.
// Not thread-safe; Line calls it from its own thread under its lock.

#include "sim/Config.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <string_view>
#include <vector>

namespace bravik::sim {

using WallClock = std::chrono::system_clock;

class Box;

// One line the box sends, `gap` after the previous one has left the box (the
// first one: after the command has arrived). `after` runs once its last byte
// is out (a baud or address change must not hit the answer itself).
struct OutLine {
    std::chrono::milliseconds gap{0};
    std::string text;                     // without "\r\n"
    std::function<void(Box&)> after;
};

struct Reply {
    std::vector<OutLine> lines;           // empty: the box keeps silent
    bool multiLine = false;               // a stream (dump, coefficients) the stop fault may cut
};

class Box {
public:
    explicit Box(BoxConfig config);

    // A command addressed to this box: everything after "#nn", without the line end.
    // `broadcast` (address 00): executed, never answered.
    Reply command(std::string_view body, WallClock::time_point now, bool broadcast = false);
    // A line without address while the box takes every line (block write, upload).
    Reply rawLine(std::string_view line, WallClock::time_point now);
    bool takesAllLines() const { return mode_ != Mode::Normal; }

    int address() const { return address_; }
    bool answersAt(int address) const { return address == address_ || (faults_.alias != 0 && address == faults_.alias); }
    unsigned baud() const { return baud_; }
    Family family() const { return config_.family; }
    const std::string& serial() const { return serial_; }
    void setSerial(std::string serial) { serial_ = std::move(serial); }
    const Faults& faults() const { return faults_; }
    void setFaults(const Faults& f) { faults_ = f; }

    // Readings at a given wall-clock time, in psi and degrees Celsius.
    double pressurePsi(WallClock::time_point t) const;
    double temperatureC(WallClock::time_point t) const;
    // The box's own clock (settable with TM=), as a naive calendar time.
    // In whole seconds: a clock set far ahead (year 4040) is past what a
    // nanosecond time_point can hold.
    std::int64_t boxSeconds(WallClock::time_point now) const;

    // The 256-byte coefficient image (Digital).
    const std::array<std::uint8_t, 256>& image() const { return image_; }

private:
    enum class Mode { Normal, Block, Program };
    struct LogSet {
        std::int64_t t;        // box time, seconds since the epoch
        double p, temp;        // psi, C
    };

    Reply handle(std::string_view body, WallClock::time_point now);
    Reply readings(std::string_view body, WallClock::time_point now);
    Reply logInit(std::string_view arg, WallClock::time_point now);
    Reply logRate(std::string_view arg);
    Reply logStartStop(std::string_view arg, WallClock::time_point now);
    Reply logDump(std::string_view arg, WallClock::time_point now);
    Reply coefRead(const std::string& word);
    Reply blockLine(std::string_view line);
    Reply programLine(std::string_view line);
    Reply stream(std::string first, const std::vector<std::string>& body);

    void advanceLog(WallClock::time_point now);
    void prefillLog(std::int64_t boxNow);
    std::string logRateText() const;
    std::string startStopText() const;
    std::string itemValue(std::string_view item, std::int64_t tBox, double p, double t, bool secondsForm) const;
    std::string pressureText(double psi) const;
    std::string temperatureText(double c) const;
    std::vector<std::string> coefLines(const std::string& word) const;

    BoxConfig config_;
    Faults faults_;
    int address_;
    unsigned baud_;
    std::string serial_;
    std::string gate_;
    std::string pressureUnit_ = "psi";
    std::string tempUnit_ = "C";
    int displayMode_ = 1;
    std::chrono::seconds clockOffset_{0};

    // data log
    bool logInitialised_ = false;
    std::vector<std::string> logItems_;      // "TM", "D1", ...
    int logRate_ = 1;
    std::string logCondition_;               // "", "AND", "OR"
    int logCondItem_ = 1;
    std::string logCondStep_ = "1";
    std::int64_t logStart_ = 0, logStop_ = 0; // box seconds; 0 = not set
    bool logStarted_ = false, logStopped_ = false;
    bool logFull_ = false;
    std::int64_t logEvaluated_ = 0;          // box seconds up to which sets were generated
    std::int64_t logLastSet_ = 0;
    std::vector<LogSet> log_;
    bool dumpSeconds_ = false;

    // coefficients
    std::array<std::uint8_t, 256> image_{};
    std::vector<std::string> kestin1_, kestin2_;

    // block write / upload
    Mode mode_ = Mode::Normal;
    std::string blockWord_;
    std::vector<std::string> block_;
    int programLines_ = 0;
    int saGiven_ = 0;
    int badInARow_ = 0;

    std::uint32_t seed_;
};

// The date-time text of the box: 19 characters yyyy:MM:dd:HH:mm:ss (naive, no zone).
std::string formatBoxTime(std::int64_t secondsSinceEpoch);
// Parses that text; false when it is not one.
bool parseBoxTime(std::string_view text, std::int64_t& secondsSinceEpoch);

}  // namespace bravik::sim
