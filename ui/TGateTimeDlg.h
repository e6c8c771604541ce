#pragma once
#include "device/DeviceView.h"

#include <QDialog>
#include <memory>
#include <optional>

namespace Ui {
class TGateTimeDlg;
}

// The gate time as typed (the box judges the range); the tick is kept between showings.
class TGateTimeDlg : public QDialog {
    Q_OBJECT
public:
    explicit TGateTimeDlg(QWidget* parent = nullptr);
    ~TGateTimeDlg() override;
    std::optional<tessary::device::GateTimeChoice> Ask(const QString& current);

private:
    std::unique_ptr<Ui::TGateTimeDlg> ui;
};
