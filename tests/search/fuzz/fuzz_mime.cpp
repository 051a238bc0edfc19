// Feeds arbitrary bytes as an Internet message (.eml, .mht) through the message reader: the text
// of the message, then every attachment through takeAttachments()/next(), and an attached message
// again as a message of its own, as the search walks them. Whatever the bytes, there is no crash,
// hang or unbounded memory (the sanitizers watch those; GMime itself is the system's, not
// instrumented), and:
// - a message whose text is taken whole ends Done or Damaged, never Stopped or NoText,
// - one whose caller stops taking text never ends Done,
// - attachments are handed out in order, their index counting from 0, none larger than the
//   limit given to next(), a damaged one holding no more than the limit, its size its bytes'
//   when they are held,
// - the same bytes read from a file give the same text as held in memory,
// - the screen never rules out a character of the text, and the text read after it is the same.
//
// Byte 0 chooses when the caller stops taking text (bits 0-2: never, or after N pieces) and the
// limit given to next() (bits 3-4: none, 16 bytes, 1 KiB, 64 KiB); the rest is the message.
// Seeds: the mail fixtures and the real mails and pages, each after a zero byte:
//   mkdir corpus-mime && for f in tests/data/documents/mail/*.eml tests/data/documents/mail/*.mht;
//       do { printf '\0'; cat "$f"; } > corpus-mime/$(basename "$f"); done

#include "search/documents/registry.h"
#include "search/match/keyword.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

constexpr int kMaxNesting = 4;

struct Reading
{
    QString text;
    documents::Outcome outcome = documents::Outcome::Done;
};

Reading readText(documents::Document &document, int stopAfter)
{
    Reading reading;
    int pieces = 0;
    platform::WorkMonitor monitor;
    reading.outcome = document.extract(
        [&](QStringView piece) {
            if (piece.isEmpty())
                std::abort(); // pieces carry text
            reading.text += piece;
            return stopAfter == 0 || ++pieces < stopAfter;
        },
        monitor);
    const bool callerStopped = stopAfter != 0 && pieces >= stopAfter;
    if (callerStopped && reading.outcome == documents::Outcome::Done)
        std::abort();
    if (!callerStopped && reading.outcome != documents::Outcome::Done &&
        reading.outcome != documents::Outcome::Damaged)
        std::abort();
    return reading;
}

void walk(documents::Document &document, int stopAfter, qint64 limit, int depth)
{
    readText(document, stopAfter);
    const bool has = document.hasAttachments();
    std::unique_ptr<documents::Attachments> attachments = document.takeAttachments();
    if (has != bool(attachments) || document.takeAttachments() || document.hasAttachments())
        std::abort(); // handed out once, and only when there are some
    if (!attachments)
        return;
    int expected = 0;
    while (std::optional<documents::Attachments::Attachment> attachment =
               attachments->next(limit)) {
        if (attachment->index != expected++ || attachment->name.isEmpty())
            std::abort();
        if (limit >= 0 && attachment->bytes.size() > limit)
            std::abort();
        if (!attachment->bytes.isEmpty() && attachment->size != attachment->bytes.size())
            std::abort();
        if (depth >= kMaxNesting)
            continue;
        const documents::Source source =
            documents::Source::fromBytes(attachment->bytes, attachment->name);
        const QByteArray &bytes = attachment->bytes;
        const QByteArrayView head =
            QByteArrayView(bytes).first(std::min<qsizetype>(bytes.size(), 1024));
        const std::unique_ptr<documents::Document> inner = documents::openDocument(source, head);
        if (inner && inner->kind() == documents::Kind::Message)
            walk(*inner, stopAfter, limit, depth + 1);
    }
    if (attachments->next(limit))
        std::abort(); // nothing after the last
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir folder;
    static const QString path = folder.filePath(QStringLiteral("input.eml"));
    if (!folder.isValid() || size < 1)
        return 0;
    static constexpr qint64 kLimits[] = {-1, 16, 1024, 65536};
    const int stopAfter = data[0] & 7;
    const qint64 limit = kLimits[data[0] >> 3 & 3];
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const documents::Source memory =
        documents::Source::fromBytes(bytes, QStringLiteral("input.eml"));
    const std::unique_ptr<documents::Document> held =
        documents::openAs(memory, documents::Kind::Message);
    if (!held)
        std::abort();
    walk(*held, stopAfter, limit, 0);

    // Read from a file as the search reads a mail on disk: the same text.
    if (stopAfter != 0)
        return 0;
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(bytes) != bytes.size())
            std::abort();
    }
    const std::unique_ptr<documents::Document> fromFile =
        documents::openAs(documents::Source(path), documents::Kind::Message);
    const std::unique_ptr<documents::Document> again =
        documents::openAs(memory, documents::Kind::Message);
    if (!fromFile || !again)
        std::abort();
    const Reading onDisk = readText(*fromFile, 0);
    const Reading inMemory = readText(*again, 0);
    if (onDisk.text != inMemory.text || onDisk.outcome != inMemory.outcome)
        std::abort();

    // A few of the text's characters, each screened for on a message of its own.
    QSet<char32_t> screened;
    for (const char32_t c : inMemory.text.toUcs4()) {
        if (c < 0x80 || screened.contains(c))
            continue;
        screened.insert(c);
        if (screened.size() > 8)
            break;
        const std::unique_ptr<documents::Document> message =
            documents::openAs(memory, documents::Kind::Message);
        platform::WorkMonitor monitor;
        const QString character = QString::fromUcs4(&c, 1);
        if (!message || message->screen(search::Keyword::utf8CharactersOf(character), monitor) ==
                            documents::Screen::Absent)
            std::abort();
        const Reading after = readText(*message, 0);
        if (after.text != inMemory.text || after.outcome != inMemory.outcome)
            std::abort();
    }
    return 0;
}
