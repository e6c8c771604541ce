#include "ui/QtLogView.h"

#include "ui/OnWindow.h"
#include "ui/QtOperator.h"
#include "ui/TLogDumpDlg.h"
#include "ui/TLogListDlg.h"
#include "ui/TLogRateDlg.h"
#include "ui/TLogTimeDlg.h"

#include <QLabel>

QtLogView::QtLogView(TLogTimeDlg& logTimeDlg, QLabel* logMessage)
    : logTimeDlg_(logTimeDlg),
      logMessage_(logMessage),
      logListDlg_(std::make_unique<TLogListDlg>()),
      logRateDlg_(std::make_unique<TLogRateDlg>()),
      logDumpDlg_(std::make_unique<TLogDumpDlg>()) {}

QtLogView::~QtLogView() = default;

bool QtLogView::AskLogItems(std::array<bool, 4>& chosen) {
    return OnWindow([&] { return logListDlg_->Ask(chosen); });
}

void QtLogView::ShowLogMessage(bool shown) {
    PostToWindow([label = logMessage_, shown] {
        label->setVisible(shown);
        // Seen at once even while the window thread itself waits for the box.
        if (shown) label->repaint();
    });
}

bool QtLogView::AskLogRate(tessary::log::LogRateForm& form) {
    return OnWindow([&] { return logRateDlg_->Ask(form); });
}

std::optional<tessary::log::LogTimeChoice> QtLogView::AskLogTime(bool stop) {
    return OnWindow([&] { return logTimeDlg_.AskLogTime(stop); });
}

std::optional<tessary::log::LogDumpFields> QtLogView::WaitLogDumpSave(const std::string& endSet, bool fresh) {
    return OnWindow([&] { return logDumpDlg_->WaitSave(Q(endSet), fresh); });
}

void QtLogView::ShowDumpRange(const std::string& start, const std::string& end) {
    OnWindow([&] { logDumpDlg_->ShowRange(Q(start), Q(end)); });
}

std::optional<std::string> QtLogView::AskLogFile() {
    return OnWindow([&] { return logDumpDlg_->AskFile(); });
}

void QtLogView::DumpRunning(bool running) {
    PostToWindow([dlg = logDumpDlg_.get(), running] { dlg->SetRunning(running); });
}

void QtLogView::ShowDumpProgress(long long sets, long long total) {
    const bool here = OnWindowThread();
    PostToWindow([dlg = logDumpDlg_.get(), sets, total, here] {
        dlg->SetProgress(sets, total);
        // A dump run on the window thread itself handles no events: paint now.
        if (here) dlg->repaint();
    });
}

bool QtLogView::DumpCancelled() { return logDumpDlg_->Cancelled(); }

void QtLogView::CloseLogDump() {
    OnWindow([&] { logDumpDlg_->CloseDump(); });
}
