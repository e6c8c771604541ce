#pragma once
// The line's baud rate (box and PC together), the PC's port name and the bus
// address: which box the window shows, and the box's own address.

#include "device/DeviceView.h"

#include <array>
#include <cstdint>
#include <string>

namespace tessary::app {
class Session;
}

namespace tessary::device {

// BaudRateComboBox's items (14400, which the search also tries, has none).
inline constexpr std::array<const char*, 8> kBaudRateItems = {"1200",  "2400",  "4800",  "9600",
                                                              "19200", "38400", "57600", "115200"};
inline constexpr std::array<const char*, 4> kComPortItems = {"COM1", "COM2", "COM3", "COM4"};

// The item showing `baud`, -1 when there is none.
int BaudRateItemIndex(std::uint32_t baud);
int ComPortItemIndex(const std::string& port);

// Before the baud rate selector opens: false with "Please select an address
// first." while "#00" is selected (with no address at all the PC's port alone
// changes). Shows the link's rate.
bool BeginBaudRateChange(app::Session& session);
// The operator chose a rate. With a box selected "BR=" goes out at the old
// rate, and the PC follows only when the box echoes the rate exactly; then
// "Make Change Permanent" is offered (the commit goes out at the new rate).
void ChangeBaudRate(app::Session& session, SettingsView& view, const std::string& item);
// Takes effect the next time the port is opened.
void ChangePortName(app::Session& session, const std::string& item);
// Before the port selector opens: the label takes the port in use, which is returned.
std::string BeginPortNameChange(app::Session& session);

// The address button: AddressDlg, then the chosen action. An empty CurrentAddress
// becomes "#01" even when the dialog is cancelled.
void ChangeAddress(app::Session& session, SettingsView& view);
// Shows the box at `address` ("#00": nobody) with a fresh read-out.
void DisplayOtherDevice(app::Session& session, const std::string& address);
// Moves the selected box to `address` with "AD="; "Permanent" commits at the
// new address. A digital box is then connected anew through the connect dialog;
// for the older family the Readings panels are refilled.
void ChangeDeviceAddress(app::Session& session, SettingsView& view, const std::string& address, bool permanent);

}  // namespace tessary::device
