#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <memory>

namespace documents {

// Where a document's bytes come from: a file on disk, or bytes already in memory (a member read
// out of an archive). Readers open a Source, never a path of their own, so that every document
// family reads both alike.
class Source
{
public:
    Source() = default;
    // A file on disk. Implicit: a path is the usual source.
    Source(const QString &path) : m_path(path) {}
    // Bytes in memory; `name` names them in messages (an archive member's path).
    static Source fromBytes(QByteArray bytes, const QString &name);

    bool inMemory() const { return m_inMemory; }
    // The file's path, or the name given to the bytes.
    const QString &path() const { return m_path; }
    // The bytes of an in-memory source; empty for a file.
    const QByteArray &bytes() const { return m_bytes; }

    // A read-only device over the bytes (the file opened, or a buffer); null when the file
    // cannot be opened.
    std::unique_ptr<QIODevice> open() const;
    // The size in bytes; -1 when the file cannot be read.
    qint64 size() const;
    // Up to `limit` bytes from the start.
    QByteArray head(qint64 limit) const;

private:
    QString m_path;
    QByteArray m_bytes;
    bool m_inMemory = false;
};

} // namespace documents
