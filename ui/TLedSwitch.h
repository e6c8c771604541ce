#pragma once
// An LED switch: a lamp that lights while the switch is on. Each click flips it
// and emits toggled(); the keyboard (Space) does the same when it has focus.

#include <QAbstractButton>

class TLedSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit TLedSwitch(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {30, 30}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
};
