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
