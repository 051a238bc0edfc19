#include "search/documents/ole2/ppt_embedded.h"

#include "search/documents/document_text.h"
#include "search/documents/ole2/compound_file.h"
#include "search/documents/text_sink.h"

#include <zlib.h>

namespace documents {

namespace {

constexpr int kMaxDepth = 2;

// How deep the object being read on this thread is nested: an embedded presentation is read by
// a reader of its own, which may meet objects again.
thread_local int t_depth = 0;

// The storage inflated, at most `limit` bytes (the size the record claims); empty when the data
// is no zlib stream or claims more than the limit.
QByteArray inflateStorage(QByteArrayView data, qint64 limit)
{
    if (data.size() < 4)
        return QByteArray();
    const qint64 size = le32(data, 0);
    if (size == 0 || size > limit)
        return QByteArray();
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return QByteArray();
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data() + 4));
    z.avail_in = uInt(data.size() - 4);
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    const int result = inflate(&z, Z_FINISH);
    const qint64 produced = qint64(z.total_out);
    inflateEnd(&z);
    // A stream cut short still gives what it held; one longer than it claims is cut at the claim.
    if (result != Z_STREAM_END && result != Z_BUF_ERROR && result != Z_OK)
        return QByteArray();
    out.resize(qsizetype(produced));
    return out;
}

} // namespace

void writeEmbeddedObject(QByteArrayView data, bool compressed, const QString &name, qint64 &budget,
                         TextSink &sink)
{
    if (t_depth >= kMaxDepth || budget <= 0)
        return;
    QByteArray storage = compressed ? inflateStorage(data, budget) : data.toByteArray();
    budget -= compressed ? storage.size() : 0;
    Source source = Source::fromBytes(std::move(storage), name);
    {
        CompoundFile file;
        if (!file.open(source))
            return;
        QByteArray package;
        if (file.read("Package", package) == CompoundFile::Status::Ok)
            source = Source::fromBytes(std::move(package), name);
    }
    const Kind kind = recognise(source, source.head(16));
    if (kind == Kind::NotDocument || kind == Kind::EncryptedPackage)
        return;
    ++t_depth;
    extractText(source, kind, [&sink](QStringView piece) {
        sink.append(piece);
        return !sink.stopRequested();
    });
    --t_depth;
}

} // namespace documents
