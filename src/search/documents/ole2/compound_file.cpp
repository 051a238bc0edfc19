#include "search/documents/ole2/compound_file.h"

#include "platform/core/paths.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-utils.h>

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

// The index of the root's child `name`, or -1. Names compare without regard to the case of
// ASCII letters, as the directory's own order does: some writers name the workbook stream
// "WORKBOOK".
int CompoundFile::childIndex(const char *name) const
{
    if (!m_ole)
        return -1;
    const int children = gsf_infile_num_children(m_ole);
    for (int i = 0; i < children; ++i) {
        const char *child = gsf_infile_name_by_index(m_ole, i);
        if (child && g_ascii_strcasecmp(child, name) == 0)
            return i;
    }
    return -1;
}

bool CompoundFile::contains(const char *name) const
{
    return childIndex(name) >= 0;
}

CompoundFile::Status CompoundFile::read(const char *name, QByteArray &out, qint64 maxBytes) const
{
    out.clear();
    const int index = childIndex(name);
    if (index < 0)
        return Status::Missing;
    GsfInput *stream = gsf_infile_child_by_index(m_ole, index);
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
