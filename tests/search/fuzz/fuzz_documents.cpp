// Feeds arbitrary bytes, written as a file, through recognise and extractText. Whatever the
// bytes, the extraction must end with an outcome, without a crash, a hang or unbounded memory;
// the sanitizers watch the rest. Inputs that start with a ZIP signature are the interesting ones:
// a corpus of the fixtures in tests/data/documents is a good start.
//
// Byte 0 of the input chooses when the caller stops taking text (never, or after N pieces); the
// rest is the file.

#include "search/documents/document_text.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

const QString &filePath()
{
    static QTemporaryDir dir(QStringLiteral("/dev/shm/quarlex-fuzz-documents-XXXXXX"));
    static const QString path = dir.filePath(QStringLiteral("input"));
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int stopAfter = data[0] & 7; // 0: take everything
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const qsizetype length = qsizetype(size - 1);
    {
        QFile file(filePath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(bytes, length);
    }
    const documents::Kind kind =
        documents::recognise(filePath(), QByteArrayView(bytes, std::min<qsizetype>(length, 16)));
    if (kind == documents::Kind::NotDocument)
        return 0;
    int pieces = 0;
    qsizetype characters = 0;
    const documents::Outcome outcome =
        documents::extractText(filePath(), kind, [&](QStringView piece) {
            if (piece.isEmpty())
                std::abort(); // pieces carry text
            characters += piece.size();
            return stopAfter == 0 || ++pieces < stopAfter;
        });
    // A caller that stopped taking text never hears that all of it was read, and Stopped comes
    // only from the caller.
    const bool callerStopped = stopAfter != 0 && pieces >= stopAfter;
    if (callerStopped && outcome == documents::Outcome::Done)
        std::abort();
    if (!callerStopped && outcome == documents::Outcome::Stopped)
        std::abort();
    return 0;
}
