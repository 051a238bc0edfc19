// Feeds arbitrary bytes through the encoding rule and the streaming search: the file slot, the
// streaming search and the rule on the bytes held whole must decide the same encoding, and the
// search must answer exactly like FindA and HitEntry over ReadSearchText. Any difference aborts.
//
// Input layout: byte 0 chooses what is put before the rest (a declared charset, a byte-order
// mark) and how the rest is shaped (repeated to be long enough for the Big5 test, spread with
// zero bytes as UTF-16); byte 1 the chunk size and whether bytes are searched first; byte 2 how
// the keyword is taken from the text; the rest is the file.

#include "platform/core/file_slot.h"
#include "platform/core/text_encoding.h"
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
    static QTemporaryDir dir(QStringLiteral("/dev/shm/quarlex-fuzz-encoding-XXXXXX"));
    static const QString path = dir.filePath(QStringLiteral("input.txt"));
    return path;
}

QByteArray shape(uint8_t how, QByteArrayView rest)
{
    static const char *const prefixes[] = {
        "",
        "",
        "<meta charset=\"big5\">",
        "<html><meta http-equiv=\"Content-Type\" content=\"text/html; charset=shift_jis\">",
        "<?xml version=\"1.0\" encoding=\"iso-2022-jp\"?>",
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?>",
        "<meta charset=euc-kr>",
        "<meta charset=\"gb18030\">",
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>",
        "<meta charset=\"hz-gb-2312\">",
        "\xEF\xBB\xBF",
        "\xFF\xFE",
    };
    constexpr int kPrefixes = int(sizeof(prefixes) / sizeof(prefixes[0]));
    QByteArray bytes = prefixes[(how & 0x0F) % kPrefixes];
    QByteArray body = rest.toByteArray();
    if ((how & 0x30) == 0x10 && !body.isEmpty()) {
        // Long enough for the Big5 test.
        while (body.size() < 1500)
            body += rest;
    } else if ((how & 0x30) == 0x20) {
        // ASCII-heavy UTF-16 without a mark: a zero after (or before) most bytes.
        QByteArray spread;
        for (const char c : std::as_const(body)) {
            if (how & 0x40)
                spread += '\0';
            spread += c;
            if (!(how & 0x40))
                spread += '\0';
        }
        body = spread;
    }
    return bytes + body;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool linked = (formats::setDefaultReaders(formats::linkedReaders()), true);
    Q_UNUSED(linked);
    if (size < 3)
        return 0;
    const QByteArray bytes = shape(
        data[0], QByteArrayView(reinterpret_cast<const char *>(data + 3), qsizetype(size - 3)));
    {
        QFile file(filePath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(bytes);
    }

    // One rule, whoever asks.
    int bomLength = 0;
    const platform::Encoding whole = platform::detectTextEncoding(bytes, &bomLength);
    (void)platform::decodeText(QByteArrayView(bytes).sliced(bomLength), whole);
    platform::FileSlot slot;
    if (!slot.openInput(filePath()))
        std::abort();
    if (!(slot.inputEncoding() == whole)) {
        std::fprintf(stderr, "MISMATCH encoding: whole %d [%s], file slot %d [%s]\n",
                     int(whole.kind), whole.charset.constData(), int(slot.inputEncoding().kind),
                     slot.inputEncoding().charset.constData());
        std::abort();
    }
    slot.closeAll();

    const SearchTextResult reference = ReadSearchText(filePath());
    if (!reference.ok() && reference.status != ReadStatus::Damaged &&
        reference.status != ReadStatus::Encrypted)
        std::abort();
    if (!reference.ok())
        return 0; // a document (the prefixes make none, the body may): fuzz_documents' part

    const int place = data[2] | (data[1] & 0xF0) << 4;
    QString keyword;
    if (!reference.text.isEmpty())
        keyword = reference.text.mid(place % reference.text.size(), 1 + (data[2] & 0x07));
    FileSearchOptions options;
    static const qsizetype chunks[] = {1, 2, 3, 7, 100, 4096, 256 * 1024, 256 * 1024};
    options.chunkSize = chunks[data[1] & 7];
    options.bytesFirst = !(data[1] & 8);
    FileSearch search(options);
    const FileSearchResult result = search.search(filePath(), keyword);
    if (search.stats().document)
        return 0;
    const bool expectedHit = FindA(keyword, reference.text);
    const QString expectedExcerpt =
        expectedHit ? excerptAt(reference.text, FirstPosition(keyword, reference.text)) : QString();
    const bool hit = result.outcome == FileSearchResult::Outcome::Hit;
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
