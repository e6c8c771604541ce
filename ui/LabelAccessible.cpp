#include "ui/LabelAccessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QTextDocument>

namespace {

class LabelAccessible final : public QAccessibleWidget {
public:
    explicit LabelAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        const auto* label = static_cast<const QLabel*>(widget());
        if (t != QAccessible::Name || !label->accessibleName().isEmpty()) return QAccessibleWidget::text(t);
        const QString shown = label->text();
        const bool rich = label->textFormat() == Qt::RichText ||
                          (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(shown));
        if (!rich) return shown;
        QTextDocument doc;
        doc.setHtml(shown);
        return doc.toPlainText();
    }
};

// Asked before Qt's own widget factory, for each class from the most derived up.
QAccessibleInterface* LabelFactory(const QString&, QObject* object) {
    auto* label = qobject_cast<QLabel*>(object);
    return label ? new LabelAccessible(label) : nullptr;
}

}  // namespace

void InstallLabelAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(&LabelFactory);
        return true;
    }();
    (void)installed;
}
