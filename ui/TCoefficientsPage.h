#pragma once
// The Coefficients page's controls that depend on the device family. Their
// read and file actions come with the coefficient transfer; until then the
// read buttons stay disabled.

#include "app/AppState.h"

#include <QWidget>
#include <memory>

namespace Ui {
class TCoefficientsPage;
}

class TCoefficientsPage : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kDigitalFilter = "Bravik Coef|*.hex|Kestin Coef|*.C*F;*.C*T|All Files|*.*";
    static constexpr const char* kKestinFilter = "Kestin Coef|*.C*F;*.C*T|Bravik Coef|*.hex|All Files|*.*";

    explicit TCoefficientsPage(QWidget* parent = nullptr);
    ~TCoefficientsPage() override;

    // Rearranges the page for "Digital" or "Kestin"; any other text changes nothing.
    void ArrangeForDevice(const std::string& deviceType);
    // Arranges the page when a read-out has fixed the family since the last call.
    void Refresh(const tessary::app::AppState& state);

    // The filter of the coefficient file dialog, "label|patterns|..." pairs.
    QString OpenDialog1Filter() const { return openFilter_; }
    Ui::TCoefficientsPage* Form() const { return ui.get(); }

private:
    std::unique_ptr<Ui::TCoefficientsPage> ui;
    QString openFilter_ = "Kestin Coef|*.CRF,CRT,CFF,CFT";
    unsigned arrangedFor_ = 0;
};
