#include "search/documents/msg/message_storage.h"

#include "search/documents/html_text.h"

#include <algorithm>
#include <limits>

namespace documents::msg {

namespace {

constexpr qsizetype kEntrySize = 16;
// A property stream holds one entry per property: a few hundred at most in a real message.
constexpr qint64 kMaxPropertyStream = 1 << 20;
// The storages an object may have: [MS-OXMSG] allows 2048 attachments.
constexpr int kMaxAttachments = 2048;

QString trimmedEnd(QString text)
{
    qsizetype end = text.size();
    while (end > 0 && (text[end - 1] == u'\0' || text[end - 1].isSpace()))
        --end;
    text.truncate(end);
    return text;
}

} // namespace

MessageStorage::MessageStorage(const CompoundFile &file, QByteArray path, Object object,
                               QByteArray charset)
    : m_file(file), m_path(std::move(path)), m_object(object), m_charset(std::move(charset))
{
    if (!m_path.isEmpty() && !m_path.endsWith('/'))
        m_path += '/';
}

QByteArray MessageStorage::child(QByteArrayView name) const
{
    return m_path + name.toByteArray();
}

QByteArray MessageStorage::propertyPath(quint16 id, quint16 type) const
{
    return m_path + "__substg1.0_" +
           QByteArray::number((quint32(id) << 16) | type, 16).rightJustified(8, '0').toUpper();
}

std::optional<quint32> MessageStorage::integer(quint16 id) const
{
    if (!m_properties) {
        QByteArray bytes;
        m_file.read(child("__properties_version1.0").constData(), bytes, kMaxPropertyStream);
        m_properties = std::move(bytes);
    }
    const QByteArrayView entries = *m_properties;
    const quint32 tag = (quint32(id) << 16) | 0x0003;
    for (qsizetype at = qsizetype(m_object); fits(entries, at, kEntrySize); at += kEntrySize) {
        if (le32(entries, at) == tag)
            return le32(entries, at + 8);
    }
    return std::nullopt;
}

QString MessageStorage::string(quint16 id) const
{
    QByteArray bytes;
    m_file.read(propertyPath(id, 0x001F).constData(), bytes);
    if (!bytes.isEmpty()) {
        return trimmedEnd(QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData()),
                                             bytes.size() / 2));
    }
    m_file.read(propertyPath(id, 0x001E).constData(), bytes);
    return bytes.isEmpty() ? QString() : trimmedEnd(decodeHtml(bytes, m_charset));
}

CompoundFile::Status MessageStorage::binary(quint16 id, QByteArray &out) const
{
    return m_file.read(propertyPath(id, 0x0102).constData(), out);
}

QList<MessageStorage::Child> MessageStorage::attachments() const
{
    static constexpr QByteArrayView kPrefix = "__attach_version1.0_#";
    QList<Child> found;
    for (const QByteArray &name : m_file.childNames(m_path.chopped(m_path.isEmpty() ? 0 : 1))) {
        if (found.size() >= kMaxAttachments)
            break;
        if (name.size() != kPrefix.size() + 8 || !name.startsWith(kPrefix))
            continue;
        bool ok = false;
        const uint number = name.sliced(kPrefix.size()).toUInt(&ok, 16);
        if (ok && number <= uint(std::numeric_limits<int>::max()))
            found.append(Child{int(number), name});
    }
    std::sort(found.begin(), found.end(),
              [](const Child &a, const Child &b) { return a.number < b.number; });
    return found;
}

QByteArray charsetOfCodePage(quint32 codePage)
{
    switch (codePage) {
    case 65001:
        return "utf-8";
    case 936:
    case 20936:
    case 54936:
        return "gb18030";
    case 950:
        return "big5";
    case 932:
        return "windows-31j";
    case 949:
        return "windows-949";
    case 50220:
    case 50221:
    case 50222:
        return "iso-2022-jp";
    case 51932:
        return "euc-jp";
    case 51949:
        return "euc-kr";
    case 20127:
        return "us-ascii";
    case 20866:
        return "koi8-r";
    default:
        break;
    }
    if (codePage >= 874 && codePage <= 1258 && (codePage == 874 || codePage >= 1250))
        return "windows-" + QByteArray::number(codePage);
    if (codePage >= 28591 && codePage <= 28605)
        return "iso-8859-" + QByteArray::number(codePage - 28590);
    return QByteArray();
}

} // namespace documents::msg
