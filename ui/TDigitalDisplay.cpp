#include "ui/TDigitalDisplay.h"

#include <QFontDatabase>

TDigitalDisplay::TDigitalDisplay(QWidget* parent) : QLabel(parent) {
    QFont face = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    face.setPointSizeF(face.pointSizeF() * 1.3);
    face.setBold(true);
    setFont(face);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::TextSelectableByMouse);  // a reading can be copied
    setStyleSheet("TDigitalDisplay { background: #0d160d; color: #8cff7a; border: 2px inset #46524a;"
                  " border-radius: 3px; padding: 1px 6px; }");
}

QSize TDigitalDisplay::sizeHint() const {
    const QFontMetrics m(font());
    return {m.horizontalAdvance(QString(19, QChar('8'))) + 20, m.height() + 8};
}
