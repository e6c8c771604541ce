#include "ui/TDevicePanels.h"

#include "device/DeviceInfo.h"
#include "device/DeviceTime.h"
#include "device/SerialSettings.h"
#include "device/Settings.h"
#include "ui/QtOperator.h"
#include "ui_TDevicePanels.h"

#include <algorithm>

namespace device = tessary::device;

TDevicePanels::TDevicePanels(tessary::app::Session& session, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TDevicePanels>()), session_(session) {
    ui->setupUi(this);
    ui->DataPrecisionComboBox->setCurrentIndex(session_.State().DataPrecision);
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
    AlignColumns();
    Refresh();
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
    // The log rows have no buttons yet: hold their column (an empty column gets no spacing).
    if (!ui->logLayout->itemAtPosition(0, 2))
        ui->logLayout->setColumnMinimumWidth(2, button.width() + ui->logLayout->horizontalSpacing());
}

TDevicePanels::~TDevicePanels() = default;

void TDevicePanels::HideEditors() {
    if (hideInPlaceEditors) hideInPlaceEditors();
}

void TDevicePanels::Changed() {
    Refresh();
    if (afterChange) afterChange();
}

void TDevicePanels::Refresh() {
    const auto& st = session_.State();
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

void TDevicePanels::btGateTimeClick() {
    HideEditors();
    device::ChangeGateTime(session_);
    Changed();
}

void TDevicePanels::btClockTimeClick() {
    HideEditors();
    device::SetDeviceClock(session_);
    Changed();
}

void TDevicePanels::btPressUnitsClick() {
    HideEditors();
    if (!device::RequireConnection(session_)) return;
    ui->PressUnitsComboBox->show();
    ui->PressUnitsComboBox->setCurrentIndex(device::PressUnitsItemIndex(session_.State().Info.PressUnits));
    ui->PressUnitsComboBox->setFocus();
}

void TDevicePanels::btTempUnitsClick() {
    HideEditors();
    if (!device::RequireConnection(session_)) return;
    ui->TempUnitsComboBox->show();
    ui->TempUnitsComboBox->setCurrentIndex(device::TempUnitsItemIndex(session_.State().Info.TempUnits));
    ui->TempUnitsComboBox->setFocus();
}

void TDevicePanels::PressUnitsComboBoxSelect(int index) {
    const std::string item = S(ui->PressUnitsComboBox->itemText(index));
    ui->PressUnitsComboBox->hide();
    device::SetPressUnits(session_, item);
    Changed();
}

void TDevicePanels::TempUnitsComboBoxSelect(int index) {
    const std::string item = S(ui->TempUnitsComboBox->itemText(index));
    ui->TempUnitsComboBox->hide();
    device::SetTempUnits(session_, item);
    Changed();
}

void TDevicePanels::btKestinDisplayClick() {
    HideEditors();
    if (!device::RequireConnection(session_)) return;
    ui->KestinComboBox->show();
    ui->KestinComboBox->setFocus();
}

void TDevicePanels::KestinComboBoxSelect(int index) {
    if (ui->KestinComboBox->itemText(index) == ui->lbKestinDisplayValue->text()) return;  // stays open
    ui->KestinComboBox->hide();
    device::SetDisplayMode(session_, index);
    Changed();
}

void TDevicePanels::btBaudRateClick() {
    HideEditors();
    if (!device::BeginBaudRateChange(session_)) return;
    ui->BaudRateComboBox->show();
    ui->BaudRateComboBox->setCurrentIndex(device::BaudRateItemIndex(session_.Link().LinkBaudRate()));
    ui->BaudRateComboBox->setFocus();
    Refresh();
}

void TDevicePanels::BaudRateComboBoxSelect(int index) {
    const std::string item = S(ui->BaudRateComboBox->itemText(index));
    ui->BaudRateComboBox->hide();
    device::ChangeBaudRate(session_, item);
    Changed();
}

void TDevicePanels::btComPortClick() {
    HideEditors();
    ui->ComPortComboBox->show();
    session_.State().ComPortValue = session_.Link().LinkPortName();
    ui->ComPortComboBox->setCurrentIndex(device::ComPortItemIndex(session_.Link().LinkPortName()));
    ui->ComPortComboBox->setFocus();
    Refresh();
}

void TDevicePanels::ComPortComboBoxSelect(int index) {
    const std::string item = S(ui->ComPortComboBox->itemText(index));
    ui->ComPortComboBox->hide();
    device::ChangePortName(session_, item);
    Changed();
}

void TDevicePanels::btAddressClick() {
    HideEditors();
    device::ChangeAddress(session_);
    Changed();
}

void TDevicePanels::btDataPrecisionClick() {
    HideEditors();
    ui->DataPrecisionComboBox->setCurrentIndex(session_.State().DataPrecision);
    ui->DataPrecisionComboBox->show();
    ui->DataPrecisionComboBox->setFocus();
}

void TDevicePanels::DataPrecisionComboBoxSelect(int index) {
    auto& st = session_.State();
    st.DataPrecision = index;  // items "0" to "5": the index is the value
    st.DataPrecisionValue = std::to_string(index);
    ui->DataPrecisionComboBox->hide();
    Changed();
}
