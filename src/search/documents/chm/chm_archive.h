#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

struct chmFile;

namespace documents {

// A compiled help file (.chm) opened through chmlib, after the checks of checkHelpFile
// (chm_checks.h) on what chmlib trusts: a file failing them is not opened. Objects are read
// only up to a size the caller gives, and only when they lie inside the file or the section.
//
// chmlib opens file paths only, so the archive is a file on disk.
class ChmArchive
{
public:
    struct Object
    {
        QByteArray path; // as stored: UTF-8, starting with '/'
        quint64 length = 0;
    };

    ChmArchive() = default;
    ~ChmArchive();
    ChmArchive(const ChmArchive &) = delete;
    ChmArchive &operator=(const ChmArchive &) = delete;

    // False when the file is no help file chmlib can read safely.
    bool open(const QString &path);

    // The ordinary files of the archive in the order of its directory, the first `maxObjects`.
    std::vector<Object> objects(qsizetype maxObjects) const;
    // The object at `path` whole; nothing when it is missing, longer than `maxBytes` or cannot be
    // read whole (a damaged section).
    std::optional<QByteArray> read(const QByteArray &path, qint64 maxBytes) const;

private:
    chmFile *m_file = nullptr;
    qint64 m_size = 0;
    quint64 m_sectionLength = 0; // the compressed section's length uncompressed
};

} // namespace documents
