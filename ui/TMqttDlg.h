#pragma once
#include "mqtt/Publisher.h"

#include <QDialog>
#include <memory>

namespace Ui {
class TMqttDlg;
}

// The broker, prefix, QoS and discovery of "Publish to MQTT".
class TMqttDlg : public QDialog {
    Q_OBJECT
public:
    explicit TMqttDlg(QWidget* parent = nullptr);
    ~TMqttDlg() override;
    // Shows `choices`; on OK they hold what the operator set.
    int Edit(tessary::mqtt::WindowChoices& choices);

private:
    std::unique_ptr<Ui::TMqttDlg> ui;
};
