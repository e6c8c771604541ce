#pragma once
// The settings flows' dialogs, asked from the line thread and shown on the
// window thread. They live as long as the view, so they keep their selections.

#include "device/DeviceView.h"

#include <functional>
#include <memory>

class LineRunner;
class TChangeDlg;
class TGateTimeDlg;
class TLogTimeDlg;
class TAddressDlg;

class QtSettingsView final : public tessary::device::SettingsView {
public:
    explicit QtSettingsView(LineRunner& runner);
    ~QtSettingsView() override;
    // While the window closes every question gets its Cancel answer at once.
    bool AskMakePermanent() override;
    std::optional<tessary::device::GateTimeChoice> AskGateTime(const std::string& current) override;
    std::optional<tessary::app::DateTimeFields> AskClockTime() override;
    std::optional<tessary::device::AddressChoice> AskAddress(int addressIndex) override;
    // Posts onNewConnectDlg to the window and returns.
    void ShowNewConnectDlg() override;

    std::function<void()> onNewConnectDlg;  // set by main

    TChangeDlg& ChangeDlg() { return *changeDlg_; }
    TGateTimeDlg& GateTimeDlg() { return *gateTimeDlg_; }
    TLogTimeDlg& LogTimeDlg() { return *logTimeDlg_; }
    TAddressDlg& AddressDlg() { return *addressDlg_; }

private:
    LineRunner& runner_;
    std::unique_ptr<TLogTimeDlg> logTimeDlg_;
    std::unique_ptr<TGateTimeDlg> gateTimeDlg_;
    std::unique_ptr<TChangeDlg> changeDlg_;
    std::unique_ptr<TAddressDlg> addressDlg_;
};
