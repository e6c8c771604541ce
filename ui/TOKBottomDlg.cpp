#include "ui/TOKBottomDlg.h"

#include "ui_TOKBottomDlg.h"

TOKBottomDlg::TOKBottomDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TOKBottomDlg>()) {
    ui->setupUi(this);
}

TOKBottomDlg::~TOKBottomDlg() = default;

int TOKBottomDlg::ShowMessage(const QString& text) {
    ui->Memo1->clear();
    ui->Memo1->appendPlainText(text);
    ui->OKBtn->setFocus();
    return exec();
}

QString TOKBottomDlg::Text() const { return ui->Memo1->toPlainText(); }
