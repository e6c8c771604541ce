#include "ui/QtOperator.h"

#include "ui/FilePaths.h"
#include "ui/LineRunner.h"
#include "ui/OnWindow.h"
#include "ui/TOKBottomDlg.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

QtOperator::QtOperator(TOKBottomDlg& box, LineRunner& runner) : box_(box), runner_(runner) {}

void QtOperator::ShowMessageBox(const std::string& text) {
    OnWindow([&] {
        if (runner_.Closing()) {
            std::fprintf(stderr, "tessary: %s\n", text.c_str());
            return;
        }
        box_.ShowMessage(NoticeText(tessary::app::ShownText(text, 4 * tessary::app::kShownTextMax)));
    });
}

void QtOperator::ProcessEvents() {
    if (runner_.Line().OnLine())
        runner_.Line().RunRequests();
    else
        QCoreApplication::processEvents();
}

void QtOperator::WaitForEvents(int maxMs) {
    if (runner_.Line().OnLine()) {
        runner_.Line().WaitRequests(maxMs);
        return;
    }
    // The timed processEvents ignores WaitForMoreEvents; a timer bounds the wait instead.
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(maxMs);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtOperator::BeginBusy() {
    PostToWindow([] { QApplication::setOverrideCursor(Qt::WaitCursor); });
}

void QtOperator::EndBusy() {
    PostToWindow([] { QApplication::restoreOverrideCursor(); });
}

void QtOperator::ShowState() {
    // The window draws from the copy; nothing here waits for it.
    if (runner_.copyState && (runner_.Line().OnLine() || OnWindowThread())) runner_.copyState();
}
