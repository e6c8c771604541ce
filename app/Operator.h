#pragma once
// How the work layer tells and asks the operator. The window implements it with
// real dialogs; tests with a script that answers and records.

#include <optional>
#include <string>

namespace tessary::app {

// A calendar date and time as the operator picked it (24-hour clock).
struct DateTimeFields {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

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

class Operator {
public:
    virtual ~Operator() = default;
    // Modal notice; returns when the operator has read it.
    virtual void ShowMessageBox(const std::string& text) = 0;
    // Lets pending window events run (clicks, repaints). Handlers may run nested.
    virtual void ProcessEvents() = 0;
    // Like ProcessEvents, but sleeps until at least one event comes or `maxMs`
    // pass: an idle polling loop waits here instead of spinning.
    virtual void WaitForEvents(int maxMs) = 0;

    // Hourglass on / back to the cursor it replaced. Calls nest.
    virtual void BeginBusy() = 0;
    virtual void EndBusy() = 0;
    // Mirrors the connection state into the window now (a label must be
    // repainted before a long exchange starts).
    virtual void ShowState() = 0;
    // ChangeDlg: true when closed with "Ok" and "Make Change Permanent" ticked.
    virtual bool AskMakePermanent() = 0;
    // GateTimeDlg pre-filled with `current`; empty when not closed with OK.
    virtual std::optional<GateTimeChoice> AskGateTime(const std::string& current) = 0;
    // LogTimeDlg in its clock mode; empty on Cancel.
    virtual std::optional<DateTimeFields> AskClockTime() = 0;
    // AddressDlg opened on address `addressIndex` (-1: no item); empty when cancelled.
    virtual std::optional<AddressChoice> AskAddress(int addressIndex) = 0;
    // The connect dialog, modally, so the operator connects anew.
    virtual void ShowNewConnectDlg() = 0;
};

// Hourglass for the life of a scope.
class BusyCursor {
public:
    explicit BusyCursor(Operator& op) : op_(op) { op_.BeginBusy(); }
    ~BusyCursor() { op_.EndBusy(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    Operator& op_;
};

}  // namespace tessary::app
