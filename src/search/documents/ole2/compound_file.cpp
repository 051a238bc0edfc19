#include "search/documents/ole2/compound_file.h"

#include "platform/core/paths.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-utils.h>

#include <cstring>
#include <mutex>

namespace documents {

namespace {

void initialiseLibgsf()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        // libgsf warns on stderr about every oddity of a damaged compound file; the outcome says
        // what matters.
        g_log_set_handler(
            "libgsf:msole",
            GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE |
                           G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG),
            [](const gchar *, GLogLevelFlags, const gchar *, gpointer) {}, nullptr);
    });
}

} // namespace

CompoundFile::~CompoundFile()
{
    if (m_ole)
        g_object_unref(m_ole);
    if (m_input)
        g_object_unref(m_input);
}

bool CompoundFile::open(const Source &source)
{
    initialiseLibgsf();
    GError *error = nullptr;
    if (source.inMemory()) {
        // The bytes stay with this object for as long as libgsf reads them.
        m_bytes = source.bytes();
        m_input = gsf_input_memory_new(reinterpret_cast<const guint8 *>(m_bytes.constData()),
                                       gsf_off_t(m_bytes.size()), FALSE);
    } else {
        m_input = gsf_input_stdio_new(platform::nativePath(source.path()).constData(), &error);
    }
    if (error)
        g_error_free(std::exchange(error, nullptr));
    if (!m_input)
        return false;
    m_ole = gsf_infile_msole_new(m_input, &error);
    if (error)
        g_error_free(error);
    return m_ole != nullptr;
}

// The index of the child `name` of `storage`, or -1. Names compare without regard to the case of
// ASCII letters, as the directory's own order does: some writers name the workbook stream
// "WORKBOOK".
int CompoundFile::childIndex(GsfInfile *storage, QByteArrayView name)
{
    const int children = gsf_infile_num_children(storage);
    for (int i = 0; i < children; ++i) {
        const char *child = gsf_infile_name_by_index(storage, i);
        if (child && std::strlen(child) == size_t(name.size()) &&
            g_ascii_strncasecmp(child, name.data(), gsize(name.size())) == 0)
            return i;
    }
    return -1;
}

GsfInfile *CompoundFile::openStorage(QByteArrayView path) const
{
    if (!m_ole)
        return nullptr;
    GsfInfile *current = GSF_INFILE(g_object_ref(m_ole));
    for (QByteArrayView rest = path; !rest.isEmpty();) {
        const qsizetype slash = rest.indexOf('/');
        const QByteArrayView name = slash < 0 ? rest : rest.first(slash);
        rest = slash < 0 ? QByteArrayView() : rest.sliced(slash + 1);
        const int index = childIndex(current, name);
        GsfInput *child = index >= 0 ? gsf_infile_child_by_index(current, index) : nullptr;
        g_object_unref(current);
        // A stream has no children: libgsf answers -1 for their count.
        if (!child || !GSF_IS_INFILE(child) || gsf_infile_num_children(GSF_INFILE(child)) < 0) {
            if (child)
                g_object_unref(child);
            return nullptr;
        }
        current = GSF_INFILE(child);
    }
    return current;
}

// The storage that holds the last name of `path`, and that name.
std::pair<GsfInfile *, QByteArrayView> CompoundFile::parentOf(QByteArrayView path) const
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return {openStorage({}), path};
    return {openStorage(path.first(slash)), path.sliced(slash + 1)};
}

bool CompoundFile::contains(const char *name) const
{
    const auto [storage, last] = parentOf(name);
    if (!storage)
        return false;
    const bool found = childIndex(storage, last) >= 0;
    g_object_unref(storage);
    return found;
}

QList<QByteArray> CompoundFile::childNames(const char *path) const
{
    QList<QByteArray> names;
    GsfInfile *storage = openStorage(path);
    if (!storage)
        return names;
    const int children = gsf_infile_num_children(storage);
    for (int i = 0; i < children; ++i) {
        if (const char *child = gsf_infile_name_by_index(storage, i))
            names.append(QByteArray(child));
    }
    g_object_unref(storage);
    return names;
}

qint64 CompoundFile::streamSize(const char *name) const
{
    const auto [storage, last] = parentOf(name);
    if (!storage)
        return -1;
    const int index = childIndex(storage, last);
    GsfInput *stream = index >= 0 ? gsf_infile_child_by_index(storage, index) : nullptr;
    g_object_unref(storage);
    if (!stream)
        return -1;
    const qint64 size = GSF_IS_INFILE(stream) && gsf_infile_num_children(GSF_INFILE(stream)) >= 0
                            ? -1
                            : qint64(gsf_input_size(stream));
    g_object_unref(stream);
    return size;
}

CompoundFile::Status CompoundFile::read(const char *name, QByteArray &out, qint64 maxBytes) const
{
    out.clear();
    const auto [storage, last] = parentOf(name);
    if (!storage)
        return Status::Missing;
    const int index = childIndex(storage, last);
    GsfInput *stream = index >= 0 ? gsf_infile_child_by_index(storage, index) : nullptr;
    g_object_unref(storage);
    if (index < 0)
        return Status::Missing;
    if (!stream)
        return Status::Damaged;
    const gsf_off_t size = gsf_input_size(stream);
    Status status = Status::Ok;
    if (size < 0) {
        status = Status::Damaged;
    } else if (size > kMaxStreamSize && maxBytes > kMaxStreamSize) {
        status = Status::TooLarge;
    } else {
        // Read a block at a time, so that a size the directory claims but the file does not hold
        // allocates no more than what was really read.
        const qint64 wanted = std::min<qint64>(std::min<qint64>(size, maxBytes), kMaxStreamSize);
        constexpr qint64 kBlock = 64 * 1024;
        while (out.size() < wanted) {
            const qsizetype n = qsizetype(std::min(kBlock, wanted - out.size()));
            const qsizetype at = out.size();
            out.resize(at + n);
            if (!gsf_input_read(stream, size_t(n), reinterpret_cast<guint8 *>(out.data() + at))) {
                out.resize(at);
                status = Status::Damaged;
                break;
            }
        }
    }
    g_object_unref(stream);
    return status;
}

} // namespace documents
