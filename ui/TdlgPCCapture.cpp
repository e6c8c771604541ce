#include "ui/TdlgPCCapture.h"

#include "ui_TdlgPCCapture.h"

TdlgPCCapture::TdlgPCCapture(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui(std::make_unique<Ui::TdlgPCCapture>()) {
    ui->setupUi(this);
    connect(ui->btAppend, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btOverwrite, &QPushButton::clicked, this, &QDialog::reject);
}

TdlgPCCapture::~TdlgPCCapture() = default;

int TdlgPCCapture::Ask(const QString& ExistingFileName) {
    ui->lbFileName->setText(ExistingFileName);
    ui->lbFileName->setAccessibleName(ExistingFileName);
    ui->btAppend->setFocus();
    return exec();
}
