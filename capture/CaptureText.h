#pragma once
// The texts of a capture: a readings answer turned into a file line, and the
// period typed in edCaptureRate.

#include "device/DeviceTime.h"
#include "device/ReadingsPublisher.h"

#include <string>
#include <string_view>

namespace tessary::capture {

// The readings command of a cycle, after the slot's address.
inline constexpr std::string_view kCaptureCommand = "TM;D1;D2;D3;D4";
// The period offered on the page; a text outside 1..kMaxRateSeconds counts as 1.
inline constexpr int kMaxRateSeconds = 86400;

// The readings loops publish the box time as the capture file writes it.
using device::FormatCaptureTime;

// A readings answer's box time (as FormatCaptureTime writes it) and its four
// value texts; false for anything else ("NoConnect", a short answer).
bool SplitReading(std::string_view answer, device::PublishedReading& row);

// Whole seconds in edCaptureRate (blanks around it allowed); anything else,
// zero, a negative number or more than a day gives 1.
int ParseCaptureRate(std::string_view text);

}  // namespace tessary::capture

namespace tessary::capture {

// One line of a capture file read back: a row ("2007/05/17, 12:30:00,D1,D2,D3,D4"),
// a "NoConnect" row, a "Gap:" line, or something else.
struct CaptureLine {
    enum class Kind { Row, NoConnect, Gap, Other };
    Kind kind = Kind::Other;
    long long time = 0;      // a row's box time; a gap's start: seconds of the civil date
    long long gapEnd = 0;    // a gap's end
    std::string values[4];   // a row's D1..D4 texts as the box sent them (trimmed)
    int valueCount = 0;
};
CaptureLine ReadCaptureLine(std::string_view line);

// "2007/05/17, 12:30:00" at the start of `text` as seconds of a civil date
// (no zone: the box's own clock); false when it is not that form. `used` gets
// the characters read.
bool ReadRowTime(std::string_view text, long long& seconds, std::size_t& used);
// Seconds of a civil date and back; no zone.
long long CivilSeconds(int year, int month, int day, int hour, int minute, int second);
void CivilFields(long long seconds, int fields[6]);

}  // namespace tessary::capture
