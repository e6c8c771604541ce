#include "ui/TMqttDlg.h"

#include "ui/QtOperator.h"
#include "ui_TMqttDlg.h"

TMqttDlg::TMqttDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TMqttDlg>()) {
    ui->setupUi(this);
    connect(ui->btOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btCancel, &QPushButton::clicked, this, &QDialog::reject);
    // A field says what it holds; its label is the description.
    for (QLineEdit* e : {ui->edBroker, ui->edPrefix})
        connect(e, &QLineEdit::textChanged, e, [e](const QString& t) { e->setAccessibleName(t); });
    connect(ui->cbQos, &QComboBox::currentTextChanged, ui->cbQos, [this](const QString& t) { ui->cbQos->setAccessibleName(t); });
}

TMqttDlg::~TMqttDlg() = default;

int TMqttDlg::Edit(tessary::mqtt::WindowChoices& choices) {
    ui->edBroker->setText(Q(choices.broker));
    ui->edPrefix->setText(Q(choices.prefix));
    ui->cbQos->setCurrentIndex(choices.qos);
    ui->cbQos->setAccessibleName(ui->cbQos->currentText());
    ui->cbDiscovery->setChecked(choices.discovery);
    const int result = exec();
    if (result == QDialog::Accepted) {
        choices.broker = S(ui->edBroker->text().trimmed());
        choices.prefix = S(ui->edPrefix->text().trimmed());
        choices.qos = ui->cbQos->currentIndex();
        choices.discovery = ui->cbDiscovery->isChecked();
    }
    return result;
}
