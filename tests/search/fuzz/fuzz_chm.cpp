// Feeds arbitrary bytes as a compiled help file (.chm) through recognition and the help file
// reader. chmlib reads paths only: each input is written to a file in the target's own temporary
// folder (made once, mode 0700) and read from there. Whatever the bytes, there is no crash, hang
// or unbounded memory (the sanitizers watch those; chmlib itself is the system's, not
// instrumented, so its own reads and writes show only through the intercepted calls and
// crashes), and:
// - a help file is recognised only when its head starts with "ITSF",
// - the reader ends Done or Damaged: never Encrypted, NoText or Stopped when nobody stopped it,
// - the same bytes held in memory are never taken for a help file.

#include "search/documents/document_text.h"
#include "search/documents/registry.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir folder;
    static const QString path = folder.filePath(QStringLiteral("input.chm"));
    if (!folder.isValid())
        std::abort();
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(bytes) != bytes.size())
            std::abort();
    }
    const QByteArrayView head =
        QByteArrayView(bytes).first(std::min<qsizetype>(bytes.size(), 1024));
    const std::unique_ptr<documents::Document> document = documents::openDocument(path, head);
    const bool helpFile = document && document->kind() == documents::Kind::HelpFile;
    if (helpFile && !bytes.startsWith("ITSF"))
        std::abort();
    if (documents::recognise(documents::Source::fromBytes(bytes, QStringLiteral("input.chm")),
                             head) == documents::Kind::HelpFile)
        std::abort();
    if (!helpFile)
        return 0;
    platform::WorkMonitor monitor;
    const documents::Outcome outcome = document->extract([](QStringView) { return true; }, monitor);
    if (outcome != documents::Outcome::Done && outcome != documents::Outcome::Damaged)
        std::abort();
    return 0;
}
