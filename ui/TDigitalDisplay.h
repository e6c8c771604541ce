#pragma once
// A read-only digital display: one text, bright on a dark panel, in a fixed-pitch
// face so that changing digits do not make the number jump.

#include <QLabel>

class TDigitalDisplay : public QLabel {
    Q_OBJECT
public:
    explicit TDigitalDisplay(QWidget* parent = nullptr);
    // Room for the widest text a panel shows, a formatted clock.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
};
