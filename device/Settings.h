#pragma once
// Measurement settings of the box at CurrentAddress (gate time, units, display
// mode) and the EEPROM commit that makes a change survive a power cycle.

#include "device/DeviceView.h"

#include <string>

namespace tessary::app {
class Session;
}

namespace tessary::device {

// Sends "EW"; a box that does not answer "0" is reported ("#00" awaits no answer).
void CommitToEeprom(app::Session& session);
// ChangeDlg; commits when the operator confirms with the box ticked.
void AskMakePermanent(app::Session& session, SettingsView& view);

// False with "Please Auto Connect first." when no box was ever selected.
bool RequireConnection(app::Session& session);

// GateTimeDlg, "GA=", the optional commit and the polling time-out.
void ChangeGateTime(app::Session& session, SettingsView& view);

// The selector item that matches a unit shown by the box: pressure "psi" 0 ..
// "mH2O" 3, temperature "C" 4 .. "R" 7; anything else 0.
int PressUnitsItemIndex(const std::string& unit);
// The readings' decimals, 0 to 5 (the loops read it between exchanges).
void SetDataPrecision(app::Session& session, int digits);
int TempUnitsItemIndex(const std::string& unit);

// The operator chose a unit in a selector: "UN1=" with the name, "UN2=" with
// its first character, the Readings panels afresh, then "Make Change Permanent".
void SetPressUnits(app::Session& session, SettingsView& view, const std::string& item);
void SetTempUnits(app::Session& session, SettingsView& view, const std::string& item);

// The operator chose display mode `item` (0..6). Returns false and sends nothing
// when that mode is already shown (the selector stays open).
bool SetDisplayMode(app::Session& session, SettingsView& view, int item);

}  // namespace tessary::device
