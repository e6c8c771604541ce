#pragma once
// How the work layer tells the operator: the core every flow may use. Each
// subsystem asks its own questions through a small view of its own
// (app::SearchView, device::SettingsView). The window implements them with real
// dialogs; tests with a script that answers and records.

#include <string>

namespace tessary::app {

// A calendar date and time as the operator picked it (24-hour clock).
struct DateTimeFields {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

class Operator {
public:
    virtual ~Operator() = default;
    // Modal notice; returns when the operator has read it.
    virtual void ShowMessageBox(const std::string& text) = 0;
    // Runs the requests the operator queued for the running operation (a setting
    // changed during a readings loop, a stop switch), between two exchanges.
    virtual void ProcessEvents() = 0;
    // Like ProcessEvents, but sleeps until at least one request comes or `maxMs`
    // pass: an idle polling loop waits here instead of spinning.
    virtual void WaitForEvents(int maxMs) = 0;

    // Hourglass on / back to the cursor it replaced. Calls nest.
    virtual void BeginBusy() = 0;
    virtual void EndBusy() = 0;
    // Mirrors the connection state into the window now (a label must be
    // repainted before a long exchange starts).
    virtual void ShowState() = 0;
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
