#include "ui/TGoodConnectDlg.h"

#include "ui_TGoodConnectDlg.h"

TGoodConnectDlg::TGoodConnectDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TGoodConnectDlg>()) {
    ui->setupUi(this);
    connect(ui->OKBtn, &QPushButton::clicked, this, [this] { done(StopSearching); });
    connect(ui->CancelBtn, &QPushButton::clicked, this, [this] { done(SearchForMore); });
}

TGoodConnectDlg::~TGoodConnectDlg() = default;

int TGoodConnectDlg::Ask(const QString& baud, const QString& port, const QString& address) {
    ui->lbBaudRate->setText(baud);
    ui->lbComPort->setText(port);
    ui->lbAddress->setText(address);
    ui->OKBtn->setFocus();
    return exec();
}
