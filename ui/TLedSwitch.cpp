#include "ui/TLedSwitch.h"

#include <QPainter>
#include <QRadialGradient>

TLedSwitch::TLedSwitch(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void TLedSwitch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(width(), height()) - 2.0;
    const QRectF bezel((width() - side) / 2.0, (height() - side) / 2.0, side, side);

    QLinearGradient ring(bezel.topLeft(), bezel.bottomRight());
    ring.setColorAt(0, QColor(0xd8, 0xdc, 0xd8));
    ring.setColorAt(1, QColor(0x40, 0x44, 0x40));
    p.setPen(hasFocus() ? QPen(palette().highlight(), 1.5) : QPen(QColor(0x30, 0x30, 0x30), 1));
    p.setBrush(ring);
    p.drawEllipse(bezel);

    const QRectF lamp = bezel.adjusted(side * 0.18, side * 0.18, -side * 0.18, -side * 0.18);
    QRadialGradient glow(lamp.center() - QPointF(lamp.width() * 0.15, lamp.height() * 0.15), lamp.width() * 0.7);
    const bool lit = isChecked() != isDown();  // pressed shows what a release will do
    if (lit) {
        glow.setColorAt(0, QColor(0xd8, 0xff, 0xc8));
        glow.setColorAt(0.35, QColor(0x3c, 0xf0, 0x3c));
        glow.setColorAt(1, QColor(0x0a, 0x80, 0x14));
    } else {
        glow.setColorAt(0, QColor(0x50, 0x6a, 0x50));
        glow.setColorAt(1, QColor(0x10, 0x22, 0x10));
    }
    p.setPen(QPen(QColor(0x10, 0x18, 0x10), 1));
    p.setBrush(glow);
    p.drawEllipse(lamp);
}
