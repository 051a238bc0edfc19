#pragma once

#include "search/documents/ole2/compound_file.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace documents::msg {

// One object of an Outlook message file ([MS-OXMSG]): the message at the root, an attachment's
// storage, or a message embedded in an attachment. Its fixed-size properties are entries of its
// property stream ("__properties_version1.0"); each variable-size one is a stream of its own,
// "__substg1.0_" followed by the property's tag in hexadecimal (its ID, then its type).
class MessageStorage
{
public:
    // The size of the property stream's header before its 16-byte entries.
    enum class Object { Message = 32, Embedded = 24, Attachment = 8 };

    // `path`: the storage's path in `file` ("" for the root). `charset`: the one 8-bit strings are
    // written in (empty: not known, decoded by the encoding rule of text files).
    MessageStorage(const CompoundFile &file, QByteArray path, Object object, QByteArray charset);

    const CompoundFile &file() const { return m_file; }
    const QByteArray &path() const { return m_path; }
    const QByteArray &charset() const { return m_charset; }
    void setCharset(QByteArray charset) { m_charset = std::move(charset); }

    // The path of the stream or storage `name` of this object.
    QByteArray child(QByteArrayView name) const;
    // The path of the stream of property `id` of `type` (0x001F, 0x001E, 0x0102, 0x000D).
    QByteArray propertyPath(quint16 id, quint16 type) const;

    // A 32-bit integer property (PtypInteger32), from the property stream.
    std::optional<quint32> integer(quint16 id) const;
    // A string property, Unicode (PtypString, UTF-16LE) or else 8-bit (PtypString8, in the
    // charset), without its trailing NULs and blanks; empty when the object has none.
    QString string(quint16 id) const;
    // A binary property's bytes (PtypBinary); the status of the read.
    CompoundFile::Status binary(quint16 id, QByteArray &out) const;

    // The storages of the object's attachments, "__attach_version1.0_#XXXXXXXX", with their
    // numbers, in number order.
    struct Child
    {
        int number;
        QByteArray name;
    };
    QList<Child> attachments() const;

private:
    const CompoundFile &m_file;
    QByteArray m_path; // ends with "/" unless empty
    Object m_object;
    QByteArray m_charset;
    mutable std::optional<QByteArray> m_properties;
};

// The charset name of a Windows code page (PidTagInternetCodepage, PidTagMessageCodepage); empty
// when it names none known here.
QByteArray charsetOfCodePage(quint32 codePage);

} // namespace documents::msg
