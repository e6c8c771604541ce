#include "ui/TGateTimeDlg.h"

#include "ui/QtOperator.h"
#include "ui_TGateTimeDlg.h"

TGateTimeDlg::TGateTimeDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TGateTimeDlg>()) {
    ui->setupUi(this);
}

TGateTimeDlg::~TGateTimeDlg() = default;

std::optional<tessary::device::GateTimeChoice> TGateTimeDlg::Ask(const QString& current) {
    ui->Edit1->setText(current);
    ui->Edit1->selectAll();
    ui->Edit1->setFocus();
    if (exec() != QDialog::Accepted) return std::nullopt;
    return tessary::device::GateTimeChoice{S(ui->Edit1->text()), ui->SaveChangeCheckBox->isChecked()};
}
