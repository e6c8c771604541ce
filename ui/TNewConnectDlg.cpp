#include "ui/TNewConnectDlg.h"

#include "ui/OnWindow.h"
#include "ui/QtOperator.h"
#include "ui/TGoodConnectDlg.h"
#include "ui_TNewConnectDlg.h"

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
    ui->btConnect->setProperty("startsLineOperation", true);
}

TNewConnectDlg::~TNewConnectDlg() = default;

void TNewConnectDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // After the dialog is painted: the INI attempt blocks for up to a few seconds.
    QTimer::singleShot(0, this, &TNewConnectDlg::FormShow);
}

void TNewConnectDlg::reject() {
    // Esc, the close button and "Abort" all come here: leaving mid-search
    // is an abort, not a wait in the background.
    if (busy_) AbortSearch();
    QDialog::reject();
}

void TNewConnectDlg::RunOnLine(std::function<void()> job) {
    if (runOnLine)
        runOnLine(std::move(job));
    else
        QTimer::singleShot(0, this, std::move(job));
}

void TNewConnectDlg::FormShow() {
    ui->lbPleaseWait->hide();
    ui->lbSearch->hide();
    ui->lbConnecting->hide();
    if (!tryIniFirst_ || busy_) return;
    tryIniFirst_ = false;  // the line's copy says so too once the attempt has run
    ui->btConnect->hide();
    busy_ = true;
    RunOnLine([this] {
        const bool ok = connector_.ConnectFromIni();
        OnWindow([this, ok] {
            busy_ = false;
            ui->btConnect->show();
            if (ok) hide();
            emit connectFinished();
        });
    });
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
    const auto kind = ui->cbQuickScan->isChecked() ? tessary::app::ScanKind::Quick : tessary::app::ScanKind::Exact;
    // Said while it runs and after: which kind of scan the boxes come from.
    const QString kindText = Q(tessary::app::ScanKindText(kind));
    ui->lbScanKind->setText(kindText.left(1).toUpper() + kindText.mid(1));
    ui->cbQuickScan->setEnabled(false);
    busy_ = true;
    RunOnLine([this, kind] {
        connector_.SetScanKind(kind);
        connector_.SearchForBox();
        OnWindow([this] {
            busy_ = false;
            ui->btConnect->setEnabled(true);
            ui->cbQuickScan->setEnabled(true);
            ui->lbPleaseWait->hide();
            ui->lbSearch->hide();
            emit connectFinished();
            if (isModal()) done(1);
        });
    });
}

// A message to the search, which takes it between two probes.
void TNewConnectDlg::AbortSearch() {
    if (requestOnLine)
        requestOnLine([this] { connector_.Abort(); });
    else
        connector_.Abort();  // no line: the search runs on the window thread
}

void TNewConnectDlg::btAbortClick() {
    AbortSearch();
    reject();
}

// The search calls these from the line thread: labels are posted, the question waits.
void TNewConnectDlg::ShowProbe(const std::string& port, std::uint32_t baud) {
    PostToWindow(this, [this, port, baud] {
        ui->lbConnectCom->setText(Q(tessary::app::ShownText(port)));
        ui->lbConnectBaud->setText(QString::number(baud));
        ui->lbConnectCom->show();
        ui->lbConnectBaud->show();
        ui->lbTrying->show();
    });
}

void TNewConnectDlg::ShowProbeAddress(const std::string& address) {
    PostToWindow(this, [this, address] { ui->lbConnectAddr->setText(Q(address)); });
}

void TNewConnectDlg::HideProbe() {
    PostToWindow(this, [this] {
        ui->lbConnectCom->hide();
        ui->lbConnectBaud->hide();
        ui->lbConnectAddr->clear();
        ui->lbTrying->hide();
    });
}

void TNewConnectDlg::ShowScanAddress(const std::string& address) {
    PostToWindow(this, [this, address] { ui->lbConnecting->setText(Q(address)); });
}

void TNewConnectDlg::ShowProgress(int done, int total) {
    PostToWindow(this, [this, done, total] {
        ui->pbSearch->setMaximum(total);
        ui->pbSearch->setValue(done);
    });
}

bool TNewConnectDlg::AskStopSearching(const std::string& baud, const std::string& port, const std::string& address) {
    // Closing: "Search For More", and the abort ends the search.
    return OnWindow([&] {
        return !closing_ && good_.Ask(Q(baud), Q(tessary::app::ShownText(port)), Q(address)) == TGoodConnectDlg::StopSearching;
    });
}

void TNewConnectDlg::HideConnectDialog() {
    PostToWindow(this, [this] { hide(); });
}
