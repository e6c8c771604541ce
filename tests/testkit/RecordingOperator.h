#pragma once
#include "app/Operator.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tessary::testkit {

// Records what the work layer told the operator and answers its questions from
// a script; runs a hook on each event pump so a test can "click" in the middle
// of a loop.
class RecordingOperator final : public app::Operator {
public:
    std::vector<std::string> messages;
    int pumps = 0;
    std::function<void()> onPump;

    // --- script ---
    bool makePermanent = true;                      // ChangeDlg's answer
    std::optional<app::GateTimeChoice> gateTime;    // GateTimeDlg: empty = Cancel
    std::optional<app::DateTimeFields> clockTime;   // LogTimeDlg: empty = Cancel
    std::optional<app::AddressChoice> address;      // AddressDlg: empty = Cancel
    std::function<void()> onNewConnectDlg;

    // --- record ---
    int busyDepth = 0, busyMaxDepth = 0, busyCount = 0;
    int statesShown = 0;
    int changeDlgShown = 0;
    std::vector<std::string> gateTimeShownWith;
    int clockDlgShown = 0;
    std::vector<int> addressShownAt;
    int newConnectDlgShown = 0;

    void ShowMessageBox(const std::string& text) override { messages.push_back(text); }
    void ProcessEvents() override {
        ++pumps;
        if (onPump) onPump();
    }
    // A wait counts as a pump too (a test's "click" may come in it).
    std::vector<int> waits;
    void WaitForEvents(int maxMs) override {
        waits.push_back(maxMs);
        ProcessEvents();
    }
    void BeginBusy() override {
        ++busyCount;
        if (++busyDepth > busyMaxDepth) busyMaxDepth = busyDepth;
    }
    void EndBusy() override { --busyDepth; }
    void ShowState() override { ++statesShown; }
    bool AskMakePermanent() override {
        ++changeDlgShown;
        return makePermanent;
    }
    std::optional<app::GateTimeChoice> AskGateTime(const std::string& current) override {
        gateTimeShownWith.push_back(current);
        return gateTime;
    }
    std::optional<app::DateTimeFields> AskClockTime() override {
        ++clockDlgShown;
        return clockTime;
    }
    std::optional<app::AddressChoice> AskAddress(int addressIndex) override {
        addressShownAt.push_back(addressIndex);
        return address;
    }
    void ShowNewConnectDlg() override {
        ++newConnectDlgShown;
        if (onNewConnectDlg) onNewConnectDlg();
    }
};

}  // namespace tessary::testkit
