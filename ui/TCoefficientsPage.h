#pragma once
// The Coefficients page: the buttons start the coefficient flows on the line,
// and the page shows what they send back (it is their CoefView).

#include "app/Session.h"
#include "coef/CoefTransfer.h"
#include "device/DeviceView.h"

#include <QWidget>
#include <functional>
#include <memory>

namespace Ui {
class TCoefficientsPage;
}
class QFileDialog;

class TCoefficientsPage : public QWidget, private tessary::coef::CoefView {
    Q_OBJECT
public:
    static constexpr const char* kDigitalFilter = "Bravik Coef|*.hex|Kestin Coef|*.C*F;*.C*T|All Files|*.*";
    static constexpr const char* kKestinFilter = "Kestin Coef|*.C*F;*.C*T|Bravik Coef|*.hex|All Files|*.*";

    TCoefficientsPage(tessary::app::Session& session, tessary::device::SettingsView& settings,
                      QWidget* parent = nullptr);
    ~TCoefficientsPage() override;

    // Rearranges the page for "Digital" or "Kestin"; any other text changes nothing.
    void ArrangeForDevice(const std::string& deviceType);
    // Arranges the page when a read-out has fixed the family since the last call.
    void Refresh(const tessary::app::ConnectionCopy& shown);

    // The filter of the coefficient file dialog, "label|patterns|..." pairs.
    QString OpenDialog1Filter() const { return openFilter_; }
    Ui::TCoefficientsPage* Form() const { return ui.get(); }

    // Runs a flow on the line; until the line thread exists, on the event loop.
    std::function<void(std::function<void()>)> runOnLine;

private:
    // The flow tells its own notices; the outcome is for scripts.
    void Start(tessary::app::Outcome (tessary::coef::CoefTransfer::*step)());

    std::optional<std::string> PickCoefFile(const std::string& folder) override;
    std::vector<std::string> PickQuickLoadFiles(const std::string& filter, const std::string& folder) override;
    std::optional<std::string> PickSaveFile(const std::string& filter, const std::string& folder,
                                            const std::string& name, const std::string& suffix) override;
    bool AskGoOn(const std::string& text) override;
    bool AskSendUncheckedBlock(const std::string& report) override;
    bool AskMakePermanent() override;
    void ShowHexLines(const std::vector<std::string>& lines) override;
    void ShowMemoLines(const std::vector<std::string>& lines) override;
    void ShowHexBox(bool shown) override;
    void ShowWriteButton() override;
    void ShowProgress(const std::string& text) override;
    void ShowBackup(const std::string& text) override;

    std::unique_ptr<Ui::TCoefficientsPage> ui;
    tessary::device::SettingsView& settings_;
    QString openFilter_ = "Kestin Coef|*.CRF,CRT,CFF,CFT";
    unsigned arrangedFor_ = 0;
    tessary::coef::CoefTransfer flow_;
    // Without a parent: their own widgets are not the window's.
    std::unique_ptr<QFileDialog> OpenDialog1, OpenDialog3, SaveDialog1;
};
