#pragma once
// The operator as the window sees it: real dialogs, the real event loop.

#include "app/Operator.h"
#include "app/ShownText.h"

#include <functional>
#include <memory>

class TOKBottomDlg;
class TChangeDlg;
class TGateTimeDlg;
class TLogTimeDlg;
class TAddressDlg;

class QtOperator final : public tessary::app::Operator {
public:
    explicit QtOperator(TOKBottomDlg& box);
    ~QtOperator() override;
    void ShowMessageBox(const std::string& text) override;
    void ProcessEvents() override;
    void WaitForEvents(int maxMs) override;
    void BeginBusy() override;
    void EndBusy() override;
    void ShowState() override;
    bool AskMakePermanent() override;
    std::optional<tessary::app::GateTimeChoice> AskGateTime(const std::string& current) override;
    std::optional<tessary::app::DateTimeFields> AskClockTime() override;
    std::optional<tessary::app::AddressChoice> AskAddress(int addressIndex) override;
    void ShowNewConnectDlg() override;

    // Set by the main window: mirror the state into the widgets; run the connect dialog.
    std::function<void()> onShowState;
    std::function<void()> onNewConnectDlg;

    // The dialogs live as long as the operator, so they keep their selections.
    TChangeDlg& ChangeDlg() { return *changeDlg_; }
    TGateTimeDlg& GateTimeDlg() { return *gateTimeDlg_; }
    TLogTimeDlg& LogTimeDlg() { return *logTimeDlg_; }
    TAddressDlg& AddressDlg() { return *addressDlg_; }

private:
    TOKBottomDlg& box_;
    std::unique_ptr<TLogTimeDlg> logTimeDlg_;
    std::unique_ptr<TGateTimeDlg> gateTimeDlg_;
    std::unique_ptr<TChangeDlg> changeDlg_;
    std::unique_ptr<TAddressDlg> addressDlg_;
};

// Widget texts are 8-bit on the wire and in files; Latin-1 at the boundary.
#include <QString>
inline QString Q(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string S(const QString& s) { return s.toLatin1().toStdString(); }
