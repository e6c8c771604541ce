#include "ui/TLogDumpDlg.h"

#include "ui/FilePaths.h"
#include "ui/QtOperator.h"
#include "ui_TLogDumpDlg.h"

#include <QButtonGroup>
#include <QEventLoop>
#include <QFileDialog>

TLogDumpDlg::TLogDumpDlg(QWidget* parent)
    : QDialog(parent),
      ui(std::make_unique<Ui::TLogDumpDlg>()),
      rgFormatLogTime_(new QButtonGroup(this)),
      rgAllPartLog_(new QButtonGroup(this)),
      saveLogDialog_(new QFileDialog(this)) {
    ui->setupUi(this);
    for (QWidget* w : findChildren<QWidget*>()) w->setProperty("helpTopic", 16);
    rgFormatLogTime_->addButton(ui->rbTimeFormatted, 0);
    rgFormatLogTime_->addButton(ui->rbTimeSeconds, 1);
    rgAllPartLog_->addButton(ui->rbEntireLog, 0);
    rgAllPartLog_->addButton(ui->rbRange, 1);
    connect(rgAllPartLog_, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on) rgAllPartLogClick();
    });
    connect(ui->Button1, &QPushButton::clicked, this, [this] {
        if (waiting_) waiting_->exit(1);
    });
    connect(ui->btCancelDump, &QPushButton::clicked, this, &TLogDumpDlg::Cancel);
    saveLogDialog_->setObjectName("SaveLogDialog");
    saveLogDialog_->setAcceptMode(QFileDialog::AcceptSave);
    saveLogDialog_->setDefaultSuffix("txt");
    saveLogDialog_->setNameFilters(NameFilters("Text Files|*.txt|All Files|*.*"));
    saveLogDialog_->setOption(QFileDialog::DontConfirmOverwrite);
}

TLogDumpDlg::~TLogDumpDlg() = default;

void TLogDumpDlg::FormShow(const QString& endSet) {
    ui->Button1->setVisible(true);
    ui->LogMemo->clear();
    ui->ProgressBar1->setValue(0);
    ui->rbTimeFormatted->setChecked(true);
    ui->rbEntireLog->setChecked(true);
    rgAllPartLogClick();
    ui->StartSetEdit->setText("1");
    ui->EndSetEdit->setText(endSet);
}

void TLogDumpDlg::rgAllPartLogClick() {
    const bool range = rgAllPartLog_->checkedId() == 1;
    ui->StartSetEdit->setEnabled(range);
    ui->EndSetEdit->setEnabled(range);
    if (!range) ui->StartSetEdit->setText("1");
}

std::optional<tessary::log::LogDumpFields> TLogDumpDlg::WaitSave(const QString& endSet, bool fresh) {
    if (fresh) FormShow(endSet);
    if (!isVisible()) show();
    QEventLoop loop;
    waiting_ = &loop;
    const int saved = loop.exec();
    waiting_ = nullptr;
    if (saved != 1) return std::nullopt;
    return tessary::log::LogDumpFields{S(ui->LogMemo->text()), rgFormatLogTime_->checkedId() == 1,
                                       rgAllPartLog_->checkedId() != 1, S(ui->StartSetEdit->text()),
                                       S(ui->EndSetEdit->text())};
}

void TLogDumpDlg::ShowRange(const QString& start, const QString& end) {
    ui->StartSetEdit->setText(start);
    ui->EndSetEdit->setText(end);
}

std::optional<std::string> TLogDumpDlg::AskFile() {
    if (saveLogDialog_->exec() != QDialog::Accepted || saveLogDialog_->selectedFiles().isEmpty()) return std::nullopt;
    lastFile_ = PathBytes(saveLogDialog_->selectedFiles().first());
    return lastFile_;
}

void TLogDumpDlg::SetRunning(bool running) {
    running_ = running;
    if (running) cancelled_ = false;
    ui->Button1->setEnabled(!running);
    ui->btCancelDump->setVisible(running);
    ui->lbCancelling->setVisible(false);
}

void TLogDumpDlg::Cancel() {
    if (!running_ || cancelled_) return;
    cancelled_ = true;
    // The box goes on sending until its stream ends; it is read, not written.
    ui->btCancelDump->setVisible(false);
    ui->lbCancelling->setVisible(true);
}

void TLogDumpDlg::SetProgress(long long sets, long long total) {
    const auto clamp = [](long long v) { return static_cast<int>(std::min<long long>(v, 2000000000)); };
    ui->ProgressBar1->setMaximum(clamp(std::max<long long>(total, 1)));
    ui->ProgressBar1->setValue(clamp(std::min(sets, std::max<long long>(total, 1))));
}

void TLogDumpDlg::CloseDump() {
    running_ = false;
    hide();
}

void TLogDumpDlg::reject() {
    // The close box during a dump asks it to stop; the dialog closes when it has.
    if (running_) {
        Cancel();
        return;
    }
    QDialog::reject();
    if (waiting_) waiting_->exit(0);
}
