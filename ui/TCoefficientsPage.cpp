#include "ui/TCoefficientsPage.h"

#include "device/DeviceInfo.h"
#include "ui_TCoefficientsPage.h"

TCoefficientsPage::TCoefficientsPage(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TCoefficientsPage>()) {
    ui->setupUi(this);
}

TCoefficientsPage::~TCoefficientsPage() = default;

void TCoefficientsPage::ArrangeForDevice(const std::string& deviceType) {
    if (deviceType == tessary::device::kDigital) {
        ui->HexGroupBox->show();
        ui->HexMemoBox->show();
        ui->btReadPress->hide();
        ui->btReadTemp->show();
        ui->btReadTemp->setText("Read Coefficients");
        ui->btReadTemp->setAccessibleName("Read Coefficients");
        ui->btReadTemp->setToolTip("Read Coefficients from Bravik");
        openFilter_ = kDigitalFilter;
    } else if (deviceType == tessary::device::kKestin) {
        // The hex box keeps whatever state it had: a digital image may still be on show.
        ui->btReadPress->show();
        ui->btReadTemp->show();
        ui->btReadTemp->setText("Read Temp Coef");
        ui->btReadTemp->setAccessibleName("Read Temp Coef");
        ui->btReadPress->setToolTip("CAL1 Pressure Coefficients");
        ui->btReadTemp->setToolTip("CAL2 Temperature Coefficients");
        openFilter_ = kKestinFilter;
    }
}

void TCoefficientsPage::Refresh(const tessary::app::AppState& state) {
    if (state.Info.DeviceTypeSerial == arrangedFor_) return;
    arrangedFor_ = state.Info.DeviceTypeSerial;
    ArrangeForDevice(state.DeviceType);
}
