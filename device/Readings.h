#pragma once
// Live readings: the presence probe, one readings exchange and its display, and
// the two polling loops (the four Readings panels and the single-device panel).
//
// The loops run on the line thread and run the operator's queued requests
// between exchanges (Operator::ProcessEvents): the switch turned off, a setting
// changed, the other loop started run nested in those pauses.

#include "device/ReadingsPublisher.h"
#include "link/DeviceLink.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tessary::app {
class Session;
}

namespace tessary::device {

inline constexpr const char* kReadingsCommand = "TM;D3;D4;D1;D2";
inline constexpr const char* kGetReadingsCaption = "Get Readings ->";
inline constexpr const char* kStopCaption = "Stop ->";
// Longest wait for window events when a pass of a loop sent nothing (or its
// exchange failed at once): the loop then sleeps until the operator does
// something instead of spinning.
inline constexpr int kIdleWaitMs = 250;

// One readings answer as the five displays show it, in their order: time,
// pressure counts, temperature counts, pressure, temperature.
struct Reading {
    std::string time, pressCounts, tempCounts, press, temp;
    // The uncut pressure and temperature when they are numbers (for trends).
    std::optional<double> pressure, temperature;
    bool complete = false;  // the answer had five fields
    bool operator==(const Reading&) const = default;
};

// The five displays of one panel, and its caption (the group box title).
class ReadingsView {
public:
    virtual ~ReadingsView() = default;
    virtual void ShowReading(const Reading& reading) = 0;
    virtual void ClearReadings() = 0;
    virtual void ShowCaption(const std::string& caption) = 0;
};

// Keeps the first P + precision characters, P the 1-based position of the first
// "." (dropped digits are not rounded); a field without "." keeps its first
// `precision` characters. A negative precision counts as 0.
std::string CutToPrecision(const std::string& field, int precision);

// Splits a readings answer. Five comma-separated fields (the fifth is the rest
// of the line) are shown as the box sent them, the clock in its display form
// and the values cut to `precision`. Any other answer ("NoConnect", an error,
// a short line) is shown whole in the time display, the other four empty, so
// the operator sees what came instead of a half-parsed row.
Reading ParseReadings(const std::string& answer, int precision);

// Address + "VF", up to three times, in CommandText/ReplyText; true at the
// first answer that is not "NoConnect".
bool ProbeDevice(app::Session& session, const std::string& address);

// One readings exchange at `address`, shown in `displays` with the precision
// in force now (an unplugged adapter's hang-up is not shown). Returns the answer.
link::Reply ShowReadings(app::Session& session, const std::string& address, ReadingsView& displays);
void ClearReadings(ReadingsView& displays);

// The switch's change handler up to the loop: the address checks (messages,
// nothing changed when they fail), the stop flag, the label text and the reply
// time-out. True when the switch went on and the loop is to run now.
bool SwitchPanelPolling(app::Session& session, bool on);
bool SwitchSinglePolling(app::Session& session, bool on);

// The loops; each returns when its stop flag is seen set or the session stops. Panel k (0..3) shows
// slot k of TransducerCaption; a slot whose box fails three probes becomes
// "NoConnect" and is left alone from then on.
// With a publisher, each box is given to it as the loop first reads it, and
// every reading shown (or missed) after it, on the line thread.
void PollPanels(app::Session& session, const std::array<ReadingsView*, 4>& panels,
                ReadingsPublisher* publisher = nullptr);
void PollSingle(app::Session& session, ReadingsView& panel, ReadingsPublisher* publisher = nullptr);
// Whether the loop's switch is off now (a loop may turn its own off).
bool PanelPollingStopped(const app::Session& session);
bool SinglePollingStopped(const app::Session& session);

}  // namespace tessary::device
