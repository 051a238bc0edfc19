// Feeds arbitrary bytes after "{\rtf1" through the RTF reader. Whatever the bytes, the extraction
// must end with an outcome, without a crash, a hang or unbounded memory (the sanitizers watch
// those), and:
// - it never gives more characters than the file has bytes (no markup makes text out of nothing),
// - it is never Encrypted, and never Stopped unless the caller stopped it,
// - a caller that stops after N pieces has received the first pieces of the whole text, and a
//   document read to its end is then Stopped, not Done.
// Byte 0 of the input chooses N (0: never stop); the rest is the file after the signature.

#include "search/documents/document_text.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const int stopAfter = data[0] % 8;
    QByteArray bytes = "{\\rtf1";
    bytes.append(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const documents::Source source =
        documents::Source::fromBytes(bytes, QStringLiteral("input.rtf"));
    if (documents::recognise(source, bytes.first(8)) != documents::Kind::Rtf)
        std::abort();

    QString whole;
    const documents::Outcome outcome =
        documents::extractText(source, documents::Kind::Rtf, [&](QStringView piece) {
            whole += piece;
            return true;
        });
    if (outcome == documents::Outcome::Encrypted || outcome == documents::Outcome::Stopped)
        std::abort();
    if (whole.size() > bytes.size())
        std::abort();
    if (stopAfter == 0)
        return 0;

    QString first;
    int pieces = 0;
    const documents::Outcome stopped =
        documents::extractText(source, documents::Kind::Rtf, [&](QStringView piece) {
            first += piece;
            return ++pieces < stopAfter;
        });
    if (!whole.startsWith(first))
        std::abort();
    // A document found damaged stays damaged: its text is handed out with the outcome.
    if (pieces == stopAfter && stopped == documents::Outcome::Done)
        std::abort();
    return 0;
}
