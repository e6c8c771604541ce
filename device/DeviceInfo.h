#pragma once
// The information read-out that runs after every connect and address switch.

#include "link/DeviceLink.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tessary::app {
class Session;
}

namespace tessary::device {

inline constexpr const char* kDigital = "Digital";
inline constexpr const char* kKestin = "Kestin";

// KestinComboBox's items; item k is display mode k + 1.
inline constexpr std::array<const char*, 7> kDisplayModes = {
    "Pressure",    "Temperature",          "Press Counts", "Temp Counts", "Alternate Press/Temp",
    "Alternate Press/Temp Counts", "All Data in Sequence"};

// Sends CurrentAddress + word + "\r\n" (built in CommandText) and returns the
// answer; "NoConnect" without sending once the session is stopping.
std::string QueryBox(app::Session& session, const std::string& word, link::ExchangeOptions options = {});
// The same with the exchange's outcome (a garbled answer, a lost one).
link::Reply AskBox(app::Session& session, const std::string& word, link::ExchangeOptions options = {});

// The fixed sequence of queries at CurrentAddress: 20 exchanges (21 when the log
// is initialised) plus two per connected Readings panel, each answer filed as
// data (after a silent one the next waits for a quiet line). Shows no message;
// a silent box gives "NoConnect" fields and counts as Kestin.
void ReadDeviceInfo(app::Session& session);

// What a read-out found besides the fields.
struct InfoReadOut {
    bool unanswered = false;            // stopped: the first query got no answer
    std::vector<std::string> garbled;   // command words whose answers came garbled, in order
    bool lateDiscarded = false;         // an answer that came after its time-out was thrown away
};
// ReadDeviceInfo that tells which answers came garbled; with `stopWhenSilent`
// it ends after the first query when that one gets no answer (an absent box
// would cost twenty time-outs), leaving the fields as they were.
InfoReadOut ReadInformation(app::Session& session, bool stopWhenSilent);

// Asks "DM" and returns the text to show; sets Info.KestinSelection for a
// one-digit answer. A one-character answer that is not a digit 1..7 shows "0"
// and leaves no item selected.
std::string ReadDisplayMode(app::Session& session, link::ExchangeOptions options = {});

// "UN1"/"UN2" at the address of each Readings panel that has a box.
void ReadPanelUnits(app::Session& session, link::ExchangeOptions options = {});

// The unit name of an "UP" answer: the text before its first comma, with the
// one-letter temperature units spelt out.
std::string UnitItemName(const std::string& upAnswer);

// Reply time-out for a gate time text: 1000 ms below 1 s, else seconds x 1500
// (fraction dropped), at most 60 s. A text that is not a decimal number gives
// 1000 ms, the start value.
std::uint32_t TimeoutFromGateTime(const std::string& gateTimeText);
// Applies it from the gate time last shown.
void TimeoutFromGateTime(app::Session& session);

}  // namespace tessary::device
