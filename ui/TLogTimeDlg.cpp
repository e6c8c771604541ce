#include "ui/TLogTimeDlg.h"

#include "ui_TLogTimeDlg.h"

#include <QButtonGroup>
#include <QDateTime>

TLogTimeDlg::TLogTimeDlg(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TLogTimeDlg>()), rgLogGroup_(new QButtonGroup(this)) {
    ui->setupUi(this);
    rgLogGroup_->addButton(ui->rbLogNow, 0);
    rgLogGroup_->addButton(ui->rbLogAt, 1);
    connect(rgLogGroup_, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on) rgLogGroupClick();
    });
}

void TLogTimeDlg::rgLogGroupClick() {
    const bool at = LogChoice() == 1;
    ui->DatePicker->setEnabled(at);
    ui->TimePicker->setEnabled(at);
}

TLogTimeDlg::~TLogTimeDlg() = default;

void TLogTimeDlg::showEvent(QShowEvent* event) {
    const QDateTime now = QDateTime::currentDateTime();
    ui->DatePicker->setDate(now.date());
    ui->TimePicker->setTime(now.time());
    QDialog::showEvent(event);
}

int TLogTimeDlg::LogChoice() const { return rgLogGroup_->checkedId(); }

void TLogTimeDlg::SetLogChoice(int index) {
    if (QAbstractButton* b = rgLogGroup_->button(index)) b->setChecked(true);
}

tessary::app::DateTimeFields TLogTimeDlg::Picked() const {
    const QDate d = ui->DatePicker->date();
    const QTime t = ui->TimePicker->time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

std::optional<tessary::app::DateTimeFields> TLogTimeDlg::AskClockTime() {
    ui->rgLogGroup->hide();
    ui->lbSetClockTime->show();
    SetLogChoice(1);
    rgLogGroupClick();
    const QVariant previousTopic = property("helpTopic");
    setProperty("helpTopic", 8);
    const bool ok = exec() == QDialog::Accepted;
    ui->rgLogGroup->show();
    ui->lbSetClockTime->hide();
    setProperty("helpTopic", previousTopic);
    if (!ok) return std::nullopt;
    return Picked();
}

std::optional<tessary::log::LogTimeChoice> TLogTimeDlg::AskLogTime(bool stop) {
    ui->rbLogNow->setText(stop ? "Stop Logging NOW!" : "Start Logging NOW!");
    SetLogChoice(0);
    rgLogGroupClick();
    const QVariant previousTopic = property("helpTopic");
    setProperty("helpTopic", 15);
    const bool ok = exec() == QDialog::Accepted;
    setProperty("helpTopic", previousTopic);
    if (!ok) return std::nullopt;
    return tessary::log::LogTimeChoice{LogChoice() == 0, Picked()};
}
