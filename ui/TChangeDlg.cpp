#include "ui/TChangeDlg.h"

#include "ui_TChangeDlg.h"

TChangeDlg::TChangeDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TChangeDlg>()) { ui->setupUi(this); }

TChangeDlg::~TChangeDlg() = default;

bool TChangeDlg::AskPermanent() {
    ui->OKBtn->setFocus();
    return exec() == QDialog::Accepted && Permanent();
}

bool TChangeDlg::Permanent() const { return ui->SaveChangeCheckBox->isChecked(); }
