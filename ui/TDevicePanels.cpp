#include "ui/TDevicePanels.h"

#include "device/DeviceInfo.h"
#include "device/DeviceTime.h"
#include "device/SerialSettings.h"
#include "device/Settings.h"
#include "log/LogFlows.h"
#include "ui/LineRunner.h"
#include "ui/QtLogView.h"
#include "ui/QtSettingsView.h"
#include "ui/OnWindow.h"
#include "ui/QtOperator.h"
#include "ui/TLogTimeDlg.h"
#include "ui_TDevicePanels.h"

#include <QTimer>
#include <algorithm>

namespace device = tessary::device;

TDevicePanels::TDevicePanels(tessary::app::Session& session, QtSettingsView& view, LineRunner& runner,
                             QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TDevicePanels>()), session_(session), view_(view), runner_(runner) {
    ui->setupUi(this);
    // Every button and selector here works on the line; a readings loop lets them run.
    for (QWidget* w : findChildren<QWidget*>()) {
        if (!qobject_cast<QToolButton*>(w) && !qobject_cast<QComboBox*>(w)) continue;
        w->setProperty("startsLineOperation", true);
        w->setProperty("runsInsideLoops", true);
    }
    ui->DataPrecisionComboBox->setCurrentIndex(shown_.DataPrecision);
    connect(ui->btGateTime, &QToolButton::clicked, this, &TDevicePanels::btGateTimeClick);
    connect(ui->btClockTime, &QToolButton::clicked, this, &TDevicePanels::btClockTimeClick);
    connect(ui->btPressUnits, &QToolButton::clicked, this, &TDevicePanels::btPressUnitsClick);
    connect(ui->btTempUnits, &QToolButton::clicked, this, &TDevicePanels::btTempUnitsClick);
    connect(ui->btKestinDisplay, &QToolButton::clicked, this, &TDevicePanels::btKestinDisplayClick);
    connect(ui->btBaudRate, &QToolButton::clicked, this, &TDevicePanels::btBaudRateClick);
    connect(ui->btComPort, &QToolButton::clicked, this, &TDevicePanels::btComPortClick);
    connect(ui->btAddress, &QToolButton::clicked, this, &TDevicePanels::btAddressClick);
    connect(ui->btDataPrecision, &QToolButton::clicked, this, &TDevicePanels::btDataPrecisionClick);
    connect(ui->PressUnitsComboBox, &QComboBox::activated, this, &TDevicePanels::PressUnitsComboBoxSelect);
    connect(ui->TempUnitsComboBox, &QComboBox::activated, this, &TDevicePanels::TempUnitsComboBoxSelect);
    connect(ui->KestinComboBox, &QComboBox::activated, this, &TDevicePanels::KestinComboBoxSelect);
    connect(ui->BaudRateComboBox, &QComboBox::activated, this, &TDevicePanels::BaudRateComboBoxSelect);
    connect(ui->ComPortComboBox, &QComboBox::activated, this, &TDevicePanels::ComPortComboBoxSelect);
    connect(ui->DataPrecisionComboBox, &QComboBox::activated, this, &TDevicePanels::DataPrecisionComboBoxSelect);
    ui->KestinComboBox->setCurrentIndex(-1);
    // The clock and the log share one date-time dialog, so it keeps its choices.
    logView_ = std::make_unique<QtLogView>(view.LogTimeDlg(), ui->lbLogMessage);
    logFlows_ = std::make_unique<tessary::log::LogFlows>(session_, *logView_);
    connect(ui->btInitLog, &QToolButton::clicked, this, &TDevicePanels::btInitLogClick);
    connect(ui->btLogRate, &QToolButton::clicked, this, &TDevicePanels::btLogRateClick);
    connect(ui->btStartLog, &QToolButton::clicked, this, &TDevicePanels::btStartLogClick);
    connect(ui->btStopLog, &QToolButton::clicked, this, &TDevicePanels::btStopLogClick);
    connect(ui->btDumpLog, &QToolButton::clicked, this, &TDevicePanels::btDumpLogClick);
    AlignColumns();
    Refresh(shown_);
}

void TDevicePanels::AlignColumns() {
    // One label column, one value column and one button column across the
    // three boxes, and every row as tall as a button row (hidden rows collapse).
    QGridLayout* grids[] = {ui->informationLayout, ui->logLayout, ui->serialLayout};
    int labelWidth = 0;
    const QSize button = ui->btGateTime->sizeHint();
    for (QGridLayout* g : grids) {
        for (int i = 0; i < g->count(); ++i) {
            int row = 0, column = 0, rows = 0, columns = 0;
            g->getItemPosition(i, &row, &column, &rows, &columns);
            QWidget* w = g->itemAt(i)->widget();
            if (column == 0) labelWidth = std::max(labelWidth, g->itemAt(i)->sizeHint().width());
            if (column == 1 && w) w->setMinimumHeight(button.height());
        }
    }
    for (QGridLayout* g : grids) g->setColumnMinimumWidth(0, labelWidth);
}

TDevicePanels::~TDevicePanels() = default;

void TDevicePanels::HideEditors() {
    if (hideInPlaceEditors) hideInPlaceEditors();
}

void TDevicePanels::Refresh(const tessary::app::ConnectionCopy& shown) {
    shown_ = shown;
    const auto& st = shown_;
    const auto& in = st.Info;
    const std::pair<QLabel*, const std::string*> labels[] = {
        {ui->lbModelNumberValue, &in.ModelNumber},       {ui->lbSerialNumberValue, &in.SerialNumber},
        {ui->lbFirmwareVersionValue, &in.FirmwareVersion}, {ui->lbFPGAValue, &in.FPGA},
        {ui->lbKestinDisplayValue, &in.KestinDisplay},   {ui->lbGateTimeValue, &in.GateTime},
        {ui->lbPressUnitsValue, &in.PressUnits},         {ui->lbTempUnitsValue, &in.TempUnits},
        {ui->lbClockTimeValue, &in.ClockTime},           {ui->lbInitLogValue, &in.InitLog},
        {ui->lbLogRateValue, &in.LogRate},               {ui->lbLogStartValue, &in.LogStart},
        {ui->lbLogStopValue, &in.LogStop},               {ui->lbBaudRateValue, &st.BaudRateValue},
        {ui->lbComPortValue, &st.ComPortValue},          {ui->lbAddressValue, &st.AddressValue},
        {ui->lbDataPrecisionValue, &st.DataPrecisionValue}};
    for (const auto& [label, text] : labels) label->setText(Q(tessary::app::ShownText(*text)));

    ui->lbFPGA->setVisible(in.FpgaRowVisible);
    ui->lbFPGAValue->setVisible(in.FpgaRowVisible);
    ui->lbKestinDisplay->setVisible(in.KestinRowVisible);
    ui->lbKestinDisplayValue->setVisible(in.KestinRowVisible);
    ui->btKestinDisplay->setVisible(in.KestinButtonVisible);

    for (auto [box, items] : {std::pair{ui->PressUnitsComboBox, &in.PressUnitItems},
                              std::pair{ui->TempUnitsComboBox, &in.TempUnitItems}}) {
        for (auto i = static_cast<std::size_t>(box->count()); i < items->size(); ++i) box->addItem(Q((*items)[i]));
    }
    ui->KestinComboBox->setCurrentIndex(in.KestinSelection);
}

void TDevicePanels::OnLine(std::function<void()> job) { runner_.Run(std::move(job)); }

// Opens an in-place selector at `index`, from the line thread. The selections
// come from the copy: no operation runs while these buttons can be clicked, but
// for loops, which change none of them.
void TDevicePanels::ShowSelector(QComboBox* box, int index) {
    PostToWindow(this, [box, index] {
        box->show();
        box->setCurrentIndex(index);
        box->setFocus();
    });
}

void TDevicePanels::btGateTimeClick() {
    HideEditors();
    OnLine([this] { device::ChangeGateTime(session_, view_); });
}

void TDevicePanels::btClockTimeClick() {
    HideEditors();
    OnLine([this] { device::SetDeviceClock(session_, view_); });
}

void TDevicePanels::btPressUnitsClick() {
    HideEditors();
    OnLine([this, index = device::PressUnitsItemIndex(shown_.Info.PressUnits)] {
        if (device::RequireConnection(session_)) ShowSelector(ui->PressUnitsComboBox, index);
    });
}

void TDevicePanels::btTempUnitsClick() {
    HideEditors();
    OnLine([this, index = device::TempUnitsItemIndex(shown_.Info.TempUnits)] {
        if (device::RequireConnection(session_)) ShowSelector(ui->TempUnitsComboBox, index);
    });
}

void TDevicePanels::PressUnitsComboBoxSelect(int index) {
    const std::string item = S(ui->PressUnitsComboBox->itemText(index));
    ui->PressUnitsComboBox->hide();
    OnLine([this, item] { device::SetPressUnits(session_, view_, item); });
}

void TDevicePanels::TempUnitsComboBoxSelect(int index) {
    const std::string item = S(ui->TempUnitsComboBox->itemText(index));
    ui->TempUnitsComboBox->hide();
    OnLine([this, item] { device::SetTempUnits(session_, view_, item); });
}

void TDevicePanels::btKestinDisplayClick() {
    HideEditors();
    OnLine([this, index = shown_.Info.KestinSelection] {
        if (device::RequireConnection(session_)) ShowSelector(ui->KestinComboBox, index);
    });
}

void TDevicePanels::KestinComboBoxSelect(int index) {
    if (ui->KestinComboBox->itemText(index) == ui->lbKestinDisplayValue->text()) return;  // stays open
    ui->KestinComboBox->hide();
    OnLine([this, index] { device::SetDisplayMode(session_, view_, index); });
}

void TDevicePanels::btBaudRateClick() {
    HideEditors();
    OnLine([this] {
        if (device::BeginBaudRateChange(session_))
            ShowSelector(ui->BaudRateComboBox, device::BaudRateItemIndex(session_.Link().LinkBaudRate()));
    });
}

void TDevicePanels::BaudRateComboBoxSelect(int index) {
    const std::string item = S(ui->BaudRateComboBox->itemText(index));
    ui->BaudRateComboBox->hide();
    OnLine([this, item] { device::ChangeBaudRate(session_, view_, item); });
}

void TDevicePanels::btComPortClick() {
    HideEditors();
    OnLine([this] { ShowSelector(ui->ComPortComboBox, device::ComPortItemIndex(device::BeginPortNameChange(session_))); });
}

void TDevicePanels::ComPortComboBoxSelect(int index) {
    const std::string item = S(ui->ComPortComboBox->itemText(index));
    ui->ComPortComboBox->hide();
    OnLine([this, item] { device::ChangePortName(session_, item); });
}

void TDevicePanels::btAddressClick() {
    HideEditors();
    OnLine([this] { device::ChangeAddress(session_, view_); });
}

void TDevicePanels::btDataPrecisionClick() {
    HideEditors();
    OnLine([this, index = shown_.DataPrecision] { ShowSelector(ui->DataPrecisionComboBox, index); });
}

void TDevicePanels::DataPrecisionComboBoxSelect(int index) {
    ui->DataPrecisionComboBox->hide();
    // The loops read the precision on the line: it is set there. Items "0" to "5": the index is the value.
    OnLine([this, index] { device::SetDataPrecision(session_, index); });
}

void TDevicePanels::RunLogFlow(tessary::app::Outcome (tessary::log::LogFlows::*flow)()) {
    HideEditors();
    // The flow tells its own notices; its outcome is for scripts.
    OnLine([this, flow] { (void)(logFlows_.get()->*flow)(); });
}

void TDevicePanels::btInitLogClick() { RunLogFlow(&tessary::log::LogFlows::InitLog); }
void TDevicePanels::btLogRateClick() { RunLogFlow(&tessary::log::LogFlows::SetLogRate); }
void TDevicePanels::btStartLogClick() { RunLogFlow(&tessary::log::LogFlows::StartLog); }
void TDevicePanels::btStopLogClick() { RunLogFlow(&tessary::log::LogFlows::StopLog); }
void TDevicePanels::btDumpLogClick() { RunLogFlow(&tessary::log::LogFlows::OpenLogDump); }
