#pragma once
#include "device/DeviceView.h"

#include <optional>
#include <string>
#include <vector>

namespace tessary::testkit {

// Answers the settings dialogs from a script and records how they were opened.
struct RecordingSettingsView final : device::SettingsView {
    bool makePermanent = true;                        // ChangeDlg's answer
    std::optional<device::GateTimeChoice> gateTime;   // GateTimeDlg: empty = Cancel
    std::optional<app::DateTimeFields> clockTime;     // LogTimeDlg: empty = Cancel
    std::optional<device::AddressChoice> address;     // AddressDlg: empty = Cancel

    int changeDlgShown = 0;
    std::vector<std::string> gateTimeShownWith;
    int clockDlgShown = 0;
    std::vector<int> addressShownAt;
    int newConnectDlgShown = 0;

    bool AskMakePermanent() override {
        ++changeDlgShown;
        return makePermanent;
    }
    std::optional<device::GateTimeChoice> AskGateTime(const std::string& current) override {
        gateTimeShownWith.push_back(current);
        return gateTime;
    }
    std::optional<app::DateTimeFields> AskClockTime() override {
        ++clockDlgShown;
        return clockTime;
    }
    std::optional<device::AddressChoice> AskAddress(int addressIndex) override {
        addressShownAt.push_back(addressIndex);
        return address;
    }
    void ShowNewConnectDlg() override { ++newConnectDlgShown; }
};

}  // namespace tessary::testkit
