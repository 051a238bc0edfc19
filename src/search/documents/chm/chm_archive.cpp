#include "search/documents/chm/chm_archive.h"

#include "search/documents/chm/chm_checks.h"

#include <QFile>

#include <chm_lib.h>

namespace documents {

ChmArchive::~ChmArchive()
{
    if (m_file)
        chm_close(m_file);
}

bool ChmArchive::open(const QString &path)
{
    if (m_file)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const std::optional<ChmLayout> layout = checkHelpFile(file);
    if (!layout)
        return false;
    m_size = layout->size;
    m_sectionLength = layout->sectionLength;
    // chmlib opens a path of its own: the checked file's descriptor, so that a file put in its
    // place after the checks is never read unchecked.
    static const bool descriptors = QFile::exists(QStringLiteral("/proc/self/fd"));
    const QByteArray opened = descriptors ? "/proc/self/fd/" + QByteArray::number(file.handle())
                                          : QFile::encodeName(path);
    m_file = chm_open(opened.constData());
    return m_file != nullptr;
}

std::vector<ChmArchive::Object> ChmArchive::objects(qsizetype maxObjects) const
{
    struct Listing
    {
        std::vector<Object> objects;
        qsizetype max;
    } listing{{}, maxObjects};
    if (!m_file || maxObjects <= 0)
        return {};
    chm_enumerate(
        m_file, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES,
        [](chmFile *, chmUnitInfo *unit, void *context) {
            auto &into = *static_cast<Listing *>(context);
            unit->path[CHM_MAX_PATHLEN] = '\0';
            into.objects.push_back({QByteArray(unit->path), unit->length});
            return qsizetype(into.objects.size()) < into.max ? CHM_ENUMERATOR_CONTINUE
                                                             : CHM_ENUMERATOR_SUCCESS;
        },
        &listing);
    return std::move(listing.objects);
}

std::optional<QByteArray> ChmArchive::read(const QByteArray &path, qint64 maxBytes) const
{
    chmUnitInfo unit;
    if (!m_file || chm_resolve_object(m_file, path.constData(), &unit) != CHM_RESOLVE_SUCCESS ||
        unit.length > quint64(maxBytes))
        return std::nullopt;
    // An uncompressed object lies in the file, a compressed one in the section as the reset table
    // gives its length: one that reaches past them is damaged, and no buffer is made for it.
    const quint64 room = unit.space == CHM_UNCOMPRESSED ? quint64(m_size) : m_sectionLength;
    if (unit.start > room || unit.length > room - unit.start)
        return std::nullopt;
    QByteArray bytes(qsizetype(unit.length), Qt::Uninitialized);
    if (unit.length == 0)
        return bytes;
    const LONGINT64 got = chm_retrieve_object(
        m_file, &unit, reinterpret_cast<unsigned char *>(bytes.data()), 0, LONGINT64(unit.length));
    if (got != LONGINT64(unit.length))
        return std::nullopt;
    return bytes;
}

} // namespace documents
