#pragma once
// The box's 19-character date-time text ("yyyy:MM:dd:HH:mm:ss") and the clock setting.

#include "device/DeviceView.h"

#include <string>
#include <string_view>

namespace tessary::app {
class Session;
}

namespace tessary::device {

// "2007:05:14:13:45:00" -> "14/May/07  13:45:00". Texts of any other length
// ("NoConnect", "#00", error answers) come back unchanged. Month "00" gives an
// empty name; a month that is not two digits from 01 to 12 is shown as its two
// characters, so a garbled answer stays visible instead of looking valid.
std::string FormatDeviceTime(const std::string& text);

// "2007:05:17:12:30:00,1.5,..." -> "2007/05/17, 12:30:00,1.5,...": in the part
// before the first ",", the first two ":" become "/" and the third ", ". An
// answer without three ":" there (e.g. "NoConnect") is the line unchanged.
std::string FormatCaptureTime(std::string_view answer);

// The box's text for a picked date and time, e.g. "2008:01:05:07:03:09".
std::string DeviceTimeText(const app::DateTimeFields& t);

// Asks for a date and time and sets the box's clock with "TM="; the answer is
// shown in the clock field. "Please Auto Connect first." without an address.
void SetDeviceClock(app::Session& session, SettingsView& view);

}  // namespace tessary::device
