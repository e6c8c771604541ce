#include "ui/TNewConnectDlg.h"

#include "ui/QtOperator.h"
#include "ui/TGoodConnectDlg.h"
#include "ui_TNewConnectDlg.h"

#include <QCloseEvent>
#include <QTimer>

TNewConnectDlg::TNewConnectDlg(tessary::app::Session& session, TGoodConnectDlg& good, QWidget* parent)
    : QDialog(parent),
      ui(std::make_unique<Ui::TNewConnectDlg>()),
      session_(session),
      good_(good),
      connector_(session, *this) {
    ui->setupUi(this);
    for (QWidget* w : {static_cast<QWidget*>(ui->lbTrying), static_cast<QWidget*>(ui->lbSearch),
                       static_cast<QWidget*>(ui->lbPleaseWait), static_cast<QWidget*>(ui->lbConnecting)})
        w->hide();
    connect(ui->btConnect, &QPushButton::clicked, this, &TNewConnectDlg::btConnectClick);
    connect(ui->btAbort, &QPushButton::clicked, this, &TNewConnectDlg::btAbortClick);
}

TNewConnectDlg::~TNewConnectDlg() = default;

void TNewConnectDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // After the dialog is painted: the INI attempt blocks for up to a few seconds.
    QTimer::singleShot(0, this, &TNewConnectDlg::FormShow);
}

void TNewConnectDlg::closeEvent(QCloseEvent* event) {
    // Closing the window mid-search is an abort, not a wait.
    if (busy_) session_.Link().SearchAborted = true;
    QDialog::closeEvent(event);
}

void TNewConnectDlg::FormShow() {
    ui->lbPleaseWait->hide();
    ui->lbSearch->hide();
    ui->lbConnecting->hide();
    auto& st = session_.State();
    if (!st.TryIniFirst || busy_) return;
    ui->btConnect->hide();
    busy_ = true;
    connector_.ConnectFromIni();
    busy_ = false;
    ui->btConnect->show();
    if (st.IniConnectOk) hide();
    emit connectFinished();
}

void TNewConnectDlg::PrepareForSearch() {
    ui->lbConnectCom->hide();
    ui->lbConnectBaud->hide();
    ui->lbConnectAddr->clear();
    ui->lbTrying->hide();
    ui->pbSearch->setValue(0);
}

void TNewConnectDlg::btConnectClick() {
    if (busy_) return;
    ui->lbPleaseWait->show();
    ui->lbSearch->show();
    ui->lbConnecting->show();
    ui->btConnect->setEnabled(false);
    busy_ = true;
    connector_.SearchForBox();
    busy_ = false;
    ui->btConnect->setEnabled(true);
    ui->lbPleaseWait->hide();
    ui->lbSearch->hide();
    emit connectFinished();
    if (isModal()) done(1);
}

void TNewConnectDlg::btAbortClick() {
    session_.Link().SearchAborted = true;
    reject();
}

void TNewConnectDlg::ShowProbe(const std::string& port, std::uint32_t baud) {
    ui->lbConnectCom->setText(Q(tessary::app::ShownText(port)));
    ui->lbConnectBaud->setText(QString::number(baud));
    ui->lbConnectCom->show();
    ui->lbConnectBaud->show();
    ui->lbTrying->show();
    ui->lbConnectCom->repaint();
    ui->lbConnectBaud->repaint();
}

void TNewConnectDlg::ShowProbeAddress(const std::string& address) {
    ui->lbConnectAddr->setText(Q(address));
    ui->lbConnectAddr->repaint();
}

void TNewConnectDlg::HideProbe() {
    ui->lbConnectCom->hide();
    ui->lbConnectBaud->hide();
    ui->lbConnectAddr->clear();
    ui->lbTrying->hide();
}

void TNewConnectDlg::ShowScanAddress(const std::string& address) {
    ui->lbConnecting->setText(Q(address));
    ui->lbConnecting->repaint();
}

void TNewConnectDlg::ShowProgress(int done, int total) {
    ui->pbSearch->setMaximum(total);
    ui->pbSearch->setValue(done);
}

bool TNewConnectDlg::AskStopSearching(const std::string& baud, const std::string& port, const std::string& address) {
    return good_.Ask(Q(baud), Q(tessary::app::ShownText(port)), Q(address)) == TGoodConnectDlg::StopSearching;
}

void TNewConnectDlg::HideConnectDialog() { hide(); }
