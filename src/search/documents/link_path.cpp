#include "search/documents/link_path.h"

#include <QStringList>
#include <QUrl>

namespace documents {

QString resolveLink(const QString &base, QString reference)
{
    for (const QChar end : {u'#', u'?'}) {
        if (const qsizetype cut = reference.indexOf(end); cut >= 0)
            reference.truncate(cut);
    }
    if (reference.contains(u':'))
        return QString(); // http:, data:, mailto:
    reference = QUrl::fromPercentEncoding(reference.toUtf8()).replace(u'\\', u'/');
    const QString joined = reference.startsWith(u'/') ? reference : base + reference;
    QStringList segments;
    for (const QString &segment : joined.split(u'/', Qt::SkipEmptyParts)) {
        if (segment == u"..") {
            if (!segments.isEmpty())
                segments.removeLast();
        } else if (segment != u".") {
            segments.append(segment);
        }
    }
    return segments.join(u'/');
}

} // namespace documents
