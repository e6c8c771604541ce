#include "ui/QtSettingsView.h"

#include "ui/LineRunner.h"
#include "ui/OnWindow.h"
#include "ui/QtOperator.h"
#include "ui/TAddressDlg.h"
#include "ui/TChangeDlg.h"
#include "ui/TGateTimeDlg.h"
#include "ui/TLogTimeDlg.h"

using tessary::app::DateTimeFields;
using tessary::device::AddressChoice;
using tessary::device::GateTimeChoice;

QtSettingsView::QtSettingsView(LineRunner& runner)
    : runner_(runner),
      logTimeDlg_(std::make_unique<TLogTimeDlg>()),
      gateTimeDlg_(std::make_unique<TGateTimeDlg>()),
      changeDlg_(std::make_unique<TChangeDlg>()),
      addressDlg_(std::make_unique<TAddressDlg>()) {}

QtSettingsView::~QtSettingsView() = default;

bool QtSettingsView::AskMakePermanent() {
    return OnWindow([this] { return !runner_.Closing() && changeDlg_->AskPermanent(); });
}

std::optional<GateTimeChoice> QtSettingsView::AskGateTime(const std::string& current) {
    return OnWindow([&]() -> std::optional<GateTimeChoice> {
        if (runner_.Closing()) return std::nullopt;
        return gateTimeDlg_->Ask(Q(current));
    });
}

std::optional<DateTimeFields> QtSettingsView::AskClockTime() {
    return OnWindow([this]() -> std::optional<DateTimeFields> {
        if (runner_.Closing()) return std::nullopt;
        return logTimeDlg_->AskClockTime();
    });
}

std::optional<AddressChoice> QtSettingsView::AskAddress(int addressIndex) {
    return OnWindow([this, addressIndex]() -> std::optional<AddressChoice> {
        if (runner_.Closing()) return std::nullopt;
        return addressDlg_->Ask(addressIndex);
    });
}

void QtSettingsView::ShowNewConnectDlg() {
    PostToWindow(&runner_, [this] {
        if (onNewConnectDlg && !runner_.Closing()) onNewConnectDlg();
    });
}
