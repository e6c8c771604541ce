#pragma once
// The "Transducer Information", "Log" and "Serial" group boxes of the
// EZCommands page: labels mirror the connection state; the small buttons and
// their in-place selectors call the device settings.

#include "app/Outcome.h"
#include "app/Session.h"
#include "device/DeviceView.h"

#include <QWidget>
#include <functional>
#include <memory>

namespace Ui {
class TDevicePanels;
}
namespace tessary::log {
class LogFlows;
}
class LineRunner;
class QComboBox;
class QtLogView;
class QtSettingsView;

class TDevicePanels : public QWidget {
    Q_OBJECT
public:
    // Each handler hands its flow to the line and returns; the window refreshes
    // the panels when the operation ends.
    TDevicePanels(tessary::app::Session& session, QtSettingsView& view, LineRunner& runner,
                  QWidget* parent = nullptr);
    ~TDevicePanels() override;

    // Mirrors the line's copy into the labels, rows, selector lists and selection.
    void Refresh(const tessary::app::ConnectionCopy& shown);

    // Set by the main window.
    std::function<void()> hideInPlaceEditors;

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
    void OnLine(std::function<void()> job);
    void ShowSelector(QComboBox* box, int index);
    // Hands a log flow to the line; the labels follow once it has run.
    void RunLogFlow(tessary::app::Outcome (tessary::log::LogFlows::*flow)());

    std::unique_ptr<Ui::TDevicePanels> ui;
    tessary::app::Session& session_;
    tessary::device::SettingsView& view_;
    LineRunner& runner_;
    std::unique_ptr<QtLogView> logView_;
    std::unique_ptr<tessary::log::LogFlows> logFlows_;
    tessary::app::ConnectionCopy shown_;  // the newest copy from the line
};
