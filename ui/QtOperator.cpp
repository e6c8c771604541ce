#include "ui/QtOperator.h"

#include "ui/TAddressDlg.h"
#include "ui/TChangeDlg.h"
#include "ui/TGateTimeDlg.h"
#include "ui/TLogTimeDlg.h"
#include "ui/TOKBottomDlg.h"

#include <QApplication>
#include <QTimer>

QtOperator::QtOperator(TOKBottomDlg& box)
    : box_(box),
      logTimeDlg_(std::make_unique<TLogTimeDlg>()),
      gateTimeDlg_(std::make_unique<TGateTimeDlg>()),
      changeDlg_(std::make_unique<TChangeDlg>()),
      addressDlg_(std::make_unique<TAddressDlg>()) {}

QtOperator::~QtOperator() = default;

void QtOperator::ShowMessageBox(const std::string& text) { box_.ShowMessage(Q(tessary::app::ShownText(text, 4 * tessary::app::kShownTextMax))); }

void QtOperator::ProcessEvents() { QCoreApplication::processEvents(); }

void QtOperator::WaitForEvents(int maxMs) {
    // The timed processEvents ignores WaitForMoreEvents; a timer bounds the wait instead.
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(maxMs);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtOperator::BeginBusy() { QApplication::setOverrideCursor(Qt::WaitCursor); }

void QtOperator::EndBusy() { QApplication::restoreOverrideCursor(); }

void QtOperator::ShowState() {
    if (onShowState) onShowState();
}

bool QtOperator::AskMakePermanent() { return changeDlg_->AskPermanent(); }

std::optional<tessary::app::GateTimeChoice> QtOperator::AskGateTime(const std::string& current) {
    return gateTimeDlg_->Ask(Q(current));
}

std::optional<tessary::app::DateTimeFields> QtOperator::AskClockTime() { return logTimeDlg_->AskClockTime(); }

std::optional<tessary::app::AddressChoice> QtOperator::AskAddress(int addressIndex) {
    return addressDlg_->Ask(addressIndex);
}

void QtOperator::ShowNewConnectDlg() {
    if (onNewConnectDlg) onNewConnectDlg();
}
