#pragma once
#include "device/DeviceView.h"

#include <QDialog>
#include <memory>
#include <optional>

namespace Ui {
class TAddressDlg;
}
class QButtonGroup;

// Which box to show, the selected box's new address, or the address for the
// next start-up connection.
class TAddressDlg : public QDialog {
    Q_OBJECT
public:
    explicit TAddressDlg(QWidget* parent = nullptr);
    ~TAddressDlg() override;
    // Opens on address `addressIndex` (-1: none) with "Display data from another
    // device." and "Temporary"; empty when not closed with OK.
    std::optional<tessary::device::AddressChoice> Ask(int addressIndex);

    void rgChangeClick();
    void AddrComboBoxSelect(int index);
    Ui::TAddressDlg* Form() const { return ui.get(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TAddressDlg> ui;
    QButtonGroup* rgChange_;
    QButtonGroup* rgTemporary_;
};
