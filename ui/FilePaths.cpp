#include "ui/FilePaths.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

std::string PathBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString PathText(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

QString NoticeText(const std::string& text) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (!utf8.hasError()) return decoded;
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QStringList NameFilters(const std::string& filter) {
    const QStringList parts = QString::fromLatin1(filter.data(), static_cast<qsizetype>(filter.size())).split('|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (QString p : parts[i + 1].split(QRegularExpression("[;,]"), Qt::SkipEmptyParts)) {
            p = p.trimmed();
            if (p == "*.*") p = "*";
            if (!p.contains('*')) p.prepend('*');
            for (const QString& v : {p, p.toLower(), p.toUpper()})
                if (!patterns.contains(v)) patterns << v;
        }
        out << parts[i] + " (" + patterns.join(' ') + ")";
    }
    return out;
}
