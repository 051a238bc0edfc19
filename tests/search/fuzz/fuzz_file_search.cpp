// Feeds arbitrary file contents and keywords to the streaming search and checks that it answers
// exactly like FindA and HitEntry over ReadSearchText. Any difference aborts.
//
// Input layout: byte 0 chooses the chunk size, the history size and whether bytes are searched
// first; byte 1 chooses how the keyword is made; bytes 2-3 place it; the rest is the file.

#include "search/core/file_search.h"
#include "search/core/report.h"
#include "search/core/search_text.h"
#include "search/formats/format_module.h"
#include "search/formats/linked/linked_readers.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace search;

namespace {

const QString &filePath()
{
    static QTemporaryDir dir(QStringLiteral("/dev/shm/quarlex-fuzz-XXXXXX"));
    static const QString path = dir.filePath(QStringLiteral("input.txt"));
    return path;
}

QString makeKeyword(const uint8_t *data, size_t size, const QString &text)
{
    if (size < 4)
        return QString();
    const uint8_t how = data[1];
    const int place = data[2] | data[3] << 8;
    const int length = how & 0x0F;
    QString keyword;
    switch (how >> 5) {
    case 0: // raw: the last bytes of the input, as UTF-8
        keyword = QString::fromUtf8(
            reinterpret_cast<const char *>(data + size - std::min<size_t>(size, length)),
            std::min<size_t>(size, length));
        break;
    case 1:
        keyword = QString(); // empty
        break;
    default: // a piece of the search text, so that hits are common
        if (!text.isEmpty())
            keyword = text.mid(place % text.size(), length + 1);
        break;
    }
    if ((how & 0x10) && !keyword.isEmpty())
        keyword[place % keyword.size()] = QChar(QChar::ReplacementCharacter);
    return keyword;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool linked = (formats::setDefaultReaders(formats::linkedReaders()), true);
    Q_UNUSED(linked);
    const size_t skip = std::min<size_t>(size, 4);
    {
        QFile file(filePath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char *>(data + skip), qint64(size - skip));
    }
    const SearchTextResult reference = ReadSearchText(filePath());
    // Only a document can fail here (damaged, encrypted, or a scan without text); the text
    // before the damage counts.
    if (!reference.ok() && reference.status != ReadStatus::Damaged &&
        reference.status != ReadStatus::Encrypted && reference.status != ReadStatus::NoText)
        std::abort();
    const QString keyword = makeKeyword(data, size, reference.text);

    FileSearchOptions options;
    const uint8_t flags = size > 0 ? data[0] : 0;
    static const qsizetype chunks[] = {1, 2, 3, 5, 16, 100, 4096, 256 * 1024};
    options.chunkSize = chunks[flags & 7];
    options.historySize = (flags & 8) ? 0 : 64 * 1024;
    options.bytesFirst = !(flags & 16);

    FileSearch search(options);
    const FileSearchResult result = search.search(filePath(), keyword);
    // An archive is searched member by member, not as one text (fuzz_archives covers it).
    if (result.outcome == FileSearchResult::Outcome::Archive)
        return 0;
    const bool expectedHit = FindA(keyword, reference.text);
    const QString expectedExcerpt =
        expectedHit ? excerptAt(reference.text, FirstPosition(keyword, reference.text)) : QString();
    const bool hit = result.outcome == FileSearchResult::Outcome::Hit;
    // A damaged document is searched up to the damage (a hit there is a hit); an encrypted one
    // has no text, whatever the keyword (the empty one included).
    const bool expectUnreadable =
        !reference.ok() && !(reference.status == ReadStatus::Damaged && expectedHit);
    if (expectUnreadable) {
        // A package whose entries inflate but whose XML is broken is decided from its raw bytes
        // when they lack a keyword character: no hit, without being parsed and found damaged.
        if (result.outcome == FileSearchResult::Outcome::NoHit && search.stats().screenedOut &&
            reference.status == ReadStatus::Damaged)
            return 0;
        if (result.outcome != FileSearchResult::Outcome::Unreadable ||
            result.status != reference.status) {
            std::fprintf(stderr, "MISMATCH a failed document: expected status %d, got outcome %d\n",
                         int(reference.status), int(result.outcome));
            std::abort();
        }
        return 0;
    }
    if (result.outcome == FileSearchResult::Outcome::Unreadable ||
        result.outcome == FileSearchResult::Outcome::Stopped || hit != expectedHit ||
        result.excerpt != expectedExcerpt) {
        std::fprintf(stderr, "MISMATCH keyword=%s expected hit=%d [%s] got outcome=%d [%s]\n",
                     keyword.toUtf8().toHex(' ').constData(), expectedHit,
                     expectedExcerpt.toUtf8().toHex(' ').constData(), int(result.outcome),
                     result.excerpt.toUtf8().toHex(' ').constData());
        std::abort();
    }
    return 0;
}
