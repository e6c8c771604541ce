#include "ui/TAddressDlg.h"

#include "ui/QtOperator.h"
#include "ui_TAddressDlg.h"

#include <QButtonGroup>

TAddressDlg::TAddressDlg(QWidget* parent)
    : QDialog(parent),
      ui(std::make_unique<Ui::TAddressDlg>()),
      rgChange_(new QButtonGroup(this)),
      rgTemporary_(new QButtonGroup(this)) {
    ui->setupUi(this);
    rgChange_->addButton(ui->rbDisplayOther, 0);
    rgChange_->addButton(ui->rbChangeAddress, 1);
    rgChange_->addButton(ui->rbReconnect, 2);
    rgTemporary_->addButton(ui->rbTemporary, 0);
    rgTemporary_->addButton(ui->rbPermanent, 1);
    for (int a = 0; a <= 96; ++a) ui->AddrComboBox->addItem(QString("#%1").arg(a, 2, 10, QChar('0')));
    connect(rgChange_, &QButtonGroup::idClicked, this, [this](int) { rgChangeClick(); });
    connect(ui->AddrComboBox, &QComboBox::activated, this, &TAddressDlg::AddrComboBoxSelect);
}

TAddressDlg::~TAddressDlg() = default;

void TAddressDlg::showEvent(QShowEvent* event) {
    ui->rgTemporary->hide();
    ui->rgChange->show();
    ui->rbDisplayOther->setChecked(true);
    QDialog::showEvent(event);
}

void TAddressDlg::rgChangeClick() { ui->rgTemporary->setVisible(rgChange_->checkedId() == 1); }

void TAddressDlg::AddrComboBoxSelect(int index) { ui->rgChange->setVisible(index != 0); }

std::optional<tessary::device::AddressChoice> TAddressDlg::Ask(int addressIndex) {
    ui->AddrComboBox->setCurrentIndex(addressIndex);
    ui->rbDisplayOther->setChecked(true);
    ui->rbTemporary->setChecked(true);
    ui->AddrComboBox->setFocus();
    if (exec() != QDialog::Accepted) return std::nullopt;
    // rgChange keeps its choice even while hidden.
    return tessary::device::AddressChoice{rgChange_->checkedId(), S(ui->AddrComboBox->currentText()),
                                       rgTemporary_->checkedId() == 1};
}
