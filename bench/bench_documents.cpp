// Benchmarks of the document text library, driven by bench/run.sh. Commands:
//
//   search KEYWORD FILE...         prints the files that hold KEYWORD, like grep -l: the search the
//                                  run does (search::FileSearch, one for all files)
//   search-stream KEYWORD FILE...  the document text only, through DocumentTextStream (the worker
//                                  thread)
//   rss FILE                       idle and peak resident memory (KiB) around extracting FILE
//   make-rtf DIR COUNT [KEYWORD]   writes COUNT RTF files of about 30 KiB to DIR (fixed seed):
//                                  Chinese text as GBK \'xx bytes with some \uN characters, a
//                                  picture; KEYWORD, when given, in the middle of each file, split
//                                  by a formatting group after its first character
//   make-rtf-hex FILE MIB          writes an RTF file whose picture is a hex run of MIB MiB
//
// The search text is what the search run reads: the extracted text cut into fields by the same
// rules as every file, fields joined with nothing between them.

#include "platform/core/field_cutter.h"
#include "platform/core/program.h"
#include "search/core/file_search.h"
#include "search/documents/document_text.h"
#include "search/documents/document_text_stream.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <sys/resource.h>

#include <cstdio>
#include <random>

namespace {

// Looks for the keyword in the search text as pieces of extracted text come in, holding only the
// last keyword-length characters between pieces.
class KeywordScan
{
public:
    explicit KeywordScan(QString keyword) : m_keyword(std::move(keyword)) {}

    // False once the keyword was found (the caller stops reading).
    bool feed(QStringView piece)
    {
        const char16_t *p = piece.utf16();
        const char16_t *end = p + piece.size();
        while (p < end) {
            m_cutter.cut(p, end, *this);
            m_cutter.skipPendingLineFeed(p, end);
        }
        // The fields of the whole piece are searched at once, with the end of the previous
        // piece's fields in front.
        if (m_window.indexOf(m_keyword) >= 0)
            m_found = true;
        const qsizetype keep = m_keyword.size() - 1;
        if (m_window.size() > keep)
            m_window.remove(0, m_window.size() - keep);
        return !m_found;
    }
    bool found() const { return m_found; }

    // Field content from the cutter.
    void append(const char16_t *p, qsizetype n) { m_window.append(QStringView(p, n)); }

private:
    QString m_keyword;
    QString m_window;
    platform::FieldCutter<char16_t> m_cutter;
    bool m_found = false;
};

documents::Kind kindOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return documents::Kind::NotDocument;
    return documents::recognise(path, file.read(16));
}

bool streamHolds(const QString &path, const QString &keyword)
{
    KeywordScan scan(keyword);
    const documents::Kind kind = kindOf(path);
    if (kind == documents::Kind::NotDocument)
        return false;
    documents::DocumentTextStream text(path, kind);
    QString piece;
    for (;;) {
        const auto status = text.next(piece, 16);
        if (status == documents::DocumentTextStream::Status::End)
            return false;
        if (status == documents::DocumentTextStream::Status::Text && !scan.feed(piece))
            return true;
    }
}

qint64 maxRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void appendHex(QByteArray &rtf, QByteArrayView bytes)
{
    for (const char b : bytes) {
        rtf += "\\'";
        rtf += QByteArray::number(uchar(b), 16).rightJustified(2, '0');
    }
}

// One RTF file as a word processor on Chinese Windows saves it: GBK text as \'xx pairs, about one
// character in eight as \uN with a one-byte fallback, formatting groups and a picture.
QByteArray chineseRtf(std::mt19937 &random, const QString &keyword)
{
    constexpr qsizetype kSize = 30 * 1024;
    QStringDecoder gbk("GB18030");
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg936\\uc1\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 "
                     "\\'cb\\'ce\\'cc\\'e5;}{\\f1\\fswiss\\fcharset0 Arial;}}\n"
                     "{\\colortbl;\\red0\\green0\\blue0;}{\\*\\generator Quarlex bench;}"
                     "\\paperw11906\\paperh16838\\pard\\plain\\f0\\fs21 ";
    // A picture: a PNG of one grey pixel, as hex digits.
    rtf += "{\\pict\\pngblip\\picw1\\pich1 89504e470d0a1a0a0000000d49484452000000010000000108000000"
           "003a7e9b550000000a49444154789c636000000002000148afa4710000000049454e44ae426082}\\par\n";
    bool keywordWritten = keyword.isEmpty();
    while (rtf.size() < kSize) {
        const int length = 30 + int(random() % 50);
        for (int i = 0; i < length; ++i) {
            // GB2312 level 1 (B0A1-D7F9), without 关 (B9D8): the keyword only where it is put.
            char pair[2];
            do {
                pair[0] = char(0xB0 + random() % 40);
                pair[1] = char(0xA1 + random() % 94);
            } while ((uchar(pair[0]) == 0xD7 && uchar(pair[1]) > 0xF9) ||
                     (uchar(pair[0]) == 0xB9 && uchar(pair[1]) == 0xD8));
            const QByteArrayView bytes(pair, 2);
            if (random() % 8 == 0) {
                const QString character = gbk(bytes);
                const int unit = character.at(0).unicode();
                rtf += "\\u" + QByteArray::number(unit > 32767 ? unit - 65536 : unit) + "?";
            } else if (random() % 16 == 0) {
                rtf += "{\\b ";
                appendHex(rtf, bytes);
                rtf += "}";
            } else {
                appendHex(rtf, bytes);
            }
        }
        if (!keywordWritten && rtf.size() > kSize / 2) {
            const QByteArray bytes = QStringEncoder("GB18030")(keyword);
            rtf += "{\\b ";
            appendHex(rtf, QByteArrayView(bytes).first(2));
            rtf += "}";
            appendHex(rtf, QByteArrayView(bytes).sliced(2));
            keywordWritten = true;
        }
        rtf += random() % 4 == 0 ? "{\\f1 Report 2026}\\par\n" : "\\par\n";
    }
    return rtf + "}";
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char **argv)
{
    platform::pinTimeZone();
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString command = args.value(0);
    if ((command == QStringLiteral("search") || command == QStringLiteral("search-stream")) &&
        args.size() >= 3) {
        const bool stream = command == QStringLiteral("search-stream");
        int found = 0;
        search::FileSearch search;
        for (const QString &path : args.mid(2)) {
            const bool holds = stream ? streamHolds(path, args.at(1))
                                      : search.search(path, args.at(1)).outcome ==
                                            search::FileSearchResult::Outcome::Hit;
            if (holds) {
                std::printf("%s\n", qPrintable(path));
                ++found;
            }
        }
        return found > 0 ? 0 : 1;
    }
    if (command == QStringLiteral("rss") && args.size() == 2) {
        const qint64 idle = maxRssKiB();
        qint64 characters = 0;
        const documents::Outcome outcome =
            documents::extractText(args.at(1), kindOf(args.at(1)), [&](QStringView piece) {
                characters += piece.size();
                return true;
            });
        std::printf("%lld %lld %lld %d\n", idle, maxRssKiB(), characters, int(outcome));
        return 0;
    }
    if (command == QStringLiteral("make-rtf") && args.size() >= 3) {
        std::mt19937 random(18);
        const QDir dir(args.at(1));
        const int count = args.at(2).toInt();
        for (int i = 0; i < count; ++i) {
            const QString name = QStringLiteral("r%1.rtf").arg(i, 4, 10, QLatin1Char('0'));
            if (!writeFile(dir.filePath(name), chineseRtf(random, args.value(3))))
                return 1;
        }
        return 0;
    }
    if (command == QStringLiteral("make-rtf-hex") && args.size() == 3) {
        QFile file(args.at(1));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write("{\\rtf1\\ansi before{\\pict\\pngblip ");
        const QByteArray block = QByteArray("0123456789abcdef").repeated(65536);
        for (qint64 i = 0; i < args.at(2).toLongLong() * 1024 * 1024 / block.size(); ++i)
            file.write(block);
        file.write("}after}");
        return 0;
    }
    std::fprintf(stderr, "see the comment at the top of bench/bench_documents.cpp\n");
    return 2;
}
