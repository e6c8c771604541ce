#pragma once
// The "Transducer Information", "Log" and "Serial" group boxes of the
// EZCommands page: labels mirror the connection state; the small buttons and
// their in-place selectors call the device settings.

#include "app/Session.h"

#include <QWidget>
#include <functional>
#include <memory>

namespace Ui {
class TDevicePanels;
}
namespace tessary::log {
class LogFlows;
}
class QtLogView;
class TLogTimeDlg;

class TDevicePanels : public QWidget {
    Q_OBJECT
public:
    explicit TDevicePanels(tessary::app::Session& session, QWidget* parent = nullptr);
    ~TDevicePanels() override;

    // Mirrors the state into the labels, rows, selector lists and selection.
    void Refresh();

    // Set by the main window.
    std::function<void()> hideInPlaceEditors;
    std::function<void()> afterChange;  // a handler changed the state
    // Runs an operation that talks to the box; the window's by default.
    std::function<void(std::function<void()>)> runOnLine;

    void btGateTimeClick();
    void btClockTimeClick();
    void btPressUnitsClick();
    void btTempUnitsClick();
    void PressUnitsComboBoxSelect(int index);
    void TempUnitsComboBoxSelect(int index);
    void btKestinDisplayClick();
    void KestinComboBoxSelect(int index);
    void btBaudRateClick();
    void BaudRateComboBoxSelect(int index);
    void btComPortClick();
    void ComPortComboBoxSelect(int index);
    void btAddressClick();
    void btDataPrecisionClick();
    void DataPrecisionComboBoxSelect(int index);
    void btInitLogClick();
    void btLogRateClick();
    void btStartLogClick();
    void btStopLogClick();
    void btDumpLogClick();

    QtLogView& LogView() { return *logView_; }
    tessary::log::LogFlows& LogFlows() { return *logFlows_; }

    Ui::TDevicePanels* Form() const { return ui.get(); }

private:
    void AlignColumns();
    void HideEditors();
    void Changed();
    // Hands a log flow to the line; the labels follow once it has run.
    void RunLogFlow(void (tessary::log::LogFlows::*flow)());

    std::unique_ptr<Ui::TDevicePanels> ui;
    tessary::app::Session& session_;
    std::unique_ptr<TLogTimeDlg> ownLogTimeDlg_;  // when the operator has none to share
    std::unique_ptr<QtLogView> logView_;
    std::unique_ptr<tessary::log::LogFlows> logFlows_;
};
