#include "platform/core/paths.h"

#include "platform/core/text_encoding.h"

#include <algorithm>

#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscape(char16_t c)
{
    return c >= 0xDC80 && c <= 0xDCFF;
}

// Valid UTF-8 through and through: a sequence cut off at the end is not.
bool isValidUtf8(QByteArrayView bytes)
{
    return isValidUtf8Window(bytes, true);
}

void appendComponent(QString &out, QByteArrayView component)
{
    if (isValidUtf8(component)) {
        out += QString::fromUtf8(component);
        return;
    }
    for (const char byte : component) {
        const auto b = uchar(byte);
        out += b < 0x80 ? QChar(char16_t(b)) : QChar(char16_t(kEscapeBase + b));
    }
}

QString decodeGb18030(QByteArrayView bytes)
{
    QStringDecoder decoder("GB18030", QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    // Without the converter (a Qt built without ICU) the name still shows, byte by byte.
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    return text;
}

} // namespace

QByteArray nativePath(const QString &path)
{
    if (!hasRawBytes(path))
        return path.toUtf8();
    QByteArray bytes;
    bytes.reserve(path.size() * 3);
    qsizetype from = 0;
    for (qsizetype i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !isEscape(path.at(i).unicode()))
            continue;
        bytes += QStringView(path).mid(from, i - from).toUtf8();
        if (i < path.size())
            bytes += char(path.at(i).unicode() - kEscapeBase);
        from = i + 1;
    }
    return bytes;
}

QString pathFromNative(QByteArrayView bytes)
{
    // Valid UTF-8 as a whole means every component is.
    if (isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    QString path;
    path.reserve(bytes.size());
    qsizetype from = 0;
    for (qsizetype i = 0; i <= bytes.size(); ++i) {
        if (i < bytes.size() && bytes.at(i) != '/')
            continue;
        appendComponent(path, bytes.sliced(from, i - from));
        if (i < bytes.size())
            path += u'/';
        from = i + 1;
    }
    return path;
}

QString currentFolder()
{
    QByteArray bytes(4096, Qt::Uninitialized);
    while (!::getcwd(bytes.data(), size_t(bytes.size()))) {
        if (errno != ERANGE)
            return QString();
        bytes.resize(bytes.size() * 2);
    }
    return pathFromNative(QByteArrayView(bytes.constData()));
}

bool hasRawBytes(const QString &path)
{
    for (const QChar c : path) {
        if (isEscape(c.unicode()))
            return true;
    }
    return false;
}

QString displayName(const QString &path)
{
    if (!hasRawBytes(path))
        return path;
    QString shown;
    shown.reserve(path.size());
    qsizetype from = 0;
    for (qsizetype i = 0; i <= path.size(); ++i) {
        if (i < path.size() && path.at(i) != u'/')
            continue;
        const QString component = path.mid(from, i - from);
        shown += hasRawBytes(component) ? decodeGb18030(nativePath(component)) : component;
        if (i < path.size())
            shown += u'/';
        from = i + 1;
    }
    return shown;
}

namespace {

// True for the characters visibleName() writes out.
bool breaksTheLine(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

} // namespace

QString visibleName(const QString &path)
{
    return visibleText(displayName(path));
}

QString visibleText(QString shown)
{
    const auto first = std::find_if(shown.cbegin(), shown.cend(),
                                    [](QChar c) { return breaksTheLine(c.unicode()); });
    if (first == shown.cend())
        return shown;
    QString escaped = shown.left(first - shown.cbegin());
    escaped.reserve(shown.size() + 16);
    for (auto it = first; it != shown.cend(); ++it) {
        const char16_t c = it->unicode();
        if (!breaksTheLine(c))
            escaped += *it;
        else if (c == u'\t')
            escaped += QLatin1String("\\t");
        else if (c == u'\r')
            escaped += QLatin1String("\\r");
        else if (c == u'\n')
            escaped += QLatin1String("\\n");
        else
            escaped += QLatin1String("\\u") +
                       QString::number(uint(c), 16).toUpper().rightJustified(4, u'0');
    }
    return escaped;
}

QString rawNameFromDisplay(const QString &name)
{
    QStringEncoder encoder("GB18030", QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return name;
    const QByteArray bytes = encoder.encode(name);
    if (encoder.hasError())
        return name;
    return pathFromNative(bytes);
}

QString pathFromDisplay(const QString &shown)
{
    const auto exists = [](const QString &path) {
        struct stat info;
        return ::lstat(nativePath(path).constData(), &info) == 0;
    };
    if (!shown.startsWith(u'/') || exists(shown))
        return shown;
    const QStringList components = shown.split(u'/');
    QString path;
    bool found = true;
    for (qsizetype i = 1; i < components.size(); ++i) {
        const QString &name = components.at(i);
        path += u'/';
        if (!found || name.isEmpty()) {
            path += name;
            continue;
        }
        const QString raw = rawNameFromDisplay(name);
        if (!exists(path + name) && raw != name && exists(path + raw)) {
            path += raw;
            continue;
        }
        path += name;
        found = exists(path);
    }
    return path;
}

QByteArray fileUrl(const QString &absolutePath)
{
    return QByteArrayLiteral("file://") + nativePath(absolutePath).toPercentEncoding("/");
}

} // namespace platform
