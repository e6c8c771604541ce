#pragma once
// The dialogs the settings flows ask through; the window implements them with
// its ChangeDlg, GateTimeDlg, LogTimeDlg, AddressDlg and connect dialog.

#include "app/Operator.h"

#include <optional>
#include <string>

namespace tessary::device {

// GateTimeDlg closed with OK: the typed text and its "Make Change Permanent" tick.
struct GateTimeChoice {
    std::string text;
    bool permanent = false;
};

// AddressDlg closed with OK.
struct AddressChoice {
    int change = 0;          // rgChange: 0 display another, 1 change address, 2 reconnect using
    std::string address;     // "#00".."#96"
    bool permanent = false;  // rgTemporary choice 1
};

class SettingsView {
public:
    virtual ~SettingsView() = default;
    // ChangeDlg: true when closed with "Ok" and "Make Change Permanent" ticked.
    virtual bool AskMakePermanent() = 0;
    // GateTimeDlg pre-filled with `current`; empty when not closed with OK.
    virtual std::optional<GateTimeChoice> AskGateTime(const std::string& current) = 0;
    // LogTimeDlg in its clock mode; empty on Cancel.
    virtual std::optional<app::DateTimeFields> AskClockTime() = 0;
    // AddressDlg opened on address `addressIndex` (-1: no item); empty when cancelled.
    virtual std::optional<AddressChoice> AskAddress(int addressIndex) = 0;
    // The connect dialog, so the operator connects anew. It may return before
    // the connect is done: nothing the caller does after it depends on it.
    virtual void ShowNewConnectDlg() = 0;
};

}  // namespace tessary::device
