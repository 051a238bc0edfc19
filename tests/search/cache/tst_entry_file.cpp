#include "search/cache/cache_bytes.h"
#include "search/cache/entry_file.h"
#include "search/match/text_summary.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using textcache::EntryFile;
using search::TextSummary;
using Verdict = textcache::EntryFile::Verdict;

namespace {

// Where a damage is to be caught: nowhere (a sound entry), at the head (before a search may stop
// there on the summary's word), or at the text.
enum class Stage { Sound, Head, Text };

// Chinese text from a fixed seed, of `size` characters.
QString textOf(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QString text;
    text.reserve(size);
    while (text.size() < size)
        text.append(QChar(char16_t(0x4E00 + random.bounded(3000u))));
    return text;
}

// The fields of an entry of `key` with a summary of `summaryBytes`, by their offsets.
struct Offsets
{
    qsizetype outcome, characters, summaryLog2, summary, checksum, frame;
};

Offsets offsetsOf(qsizetype keySize, qsizetype summaryBytes)
{
    const qsizetype outcome = 12 + keySize;
    const qsizetype summary = outcome + 10;
    return {outcome,
            outcome + 1,
            outcome + 9,
            summary,
            summary + summaryBytes,
            summary + summaryBytes + 8};
}

void setNumber(QByteArray &bytes, qsizetype at, quint64 value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes[at + i] = char((value >> (8 * i)) & 0xFF);
}

// Makes the head's checksum match again, so that the check after it is the one to catch a damage.
void remakeChecksum(QByteArray &bytes, const Offsets &at)
{
    setNumber(bytes, at.checksum, textcache::bytes::checksum(bytes.first(at.checksum)), 8);
}

void applyDamage(QByteArray &bytes, const QString &how, const Offsets &at, quint64 characters)
{
    if (how == u"empty") {
        bytes.clear();
    } else if (how == u"magic") {
        bytes[3] = char(bytes[3] ^ 1);
    } else if (how == u"cut in fixed head") {
        bytes.truncate(20);
    } else if (how == u"key size") {
        setNumber(bytes, 8, quint64(at.outcome - 12 + 1), 4);
    } else if (how == u"other key") {
        bytes[14] = char(bytes[14] ^ 1);
        remakeChecksum(bytes, at);
    } else if (how == u"too long") {
        setNumber(bytes, at.characters, (quint64(32) << 20) + 1, 8);
        remakeChecksum(bytes, at);
    } else if (how == u"summary too small" || how == u"summary too large") {
        bytes[at.summaryLog2] = char(how == u"summary too small" ? TextSummary::kMinBitsLog2 - 1
                                                                 : TextSummary::kMaxBitsLog2 + 1);
        remakeChecksum(bytes, at);
    } else if (how == u"summary bit") {
        bytes[at.summary + 5] = char(bytes[at.summary + 5] ^ 0x10);
    } else if (how == u"checksum") {
        bytes[at.checksum] = char(bytes[at.checksum] ^ 1);
    } else if (how == u"cut in summary") {
        bytes.truncate((at.summary + at.checksum) / 2);
    } else if (how == u"no frame") {
        bytes.truncate(at.frame);
    } else if (how == u"frame byte") {
        const qsizetype middle = (at.frame + bytes.size()) / 2;
        bytes[middle] = char(bytes[middle] ^ 0x40);
    } else if (how == u"frame cut") {
        bytes.chop(1);
    } else if (how == u"byte after frame") {
        bytes.append('\0');
    } else if (how == u"one character more") {
        setNumber(bytes, at.characters, characters + 1, 8);
        remakeChecksum(bytes, at);
    }
}

} // namespace

class TestEntryFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyDamageIsCaughtWhereItLies_data();
    void everyDamageIsCaughtWhereItLies();
};

void TestEntryFile::everyDamageIsCaughtWhereItLies_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<int>("stage");
    QTest::addColumn<bool>("longHead");
    // A head of some hundred bytes, then one of 64 KiB that takes more than the first read: the
    // rows of the long head come last, after the short ones made the first read small.
    for (const bool longHead : {false, true}) {
        const auto row = [longHead](const char *name, const char *how, Stage stage) {
            QTest::addRow("%s%s", name, longHead ? " (long head)" : "")
                << QString::fromLatin1(how) << int(stage) << longHead;
        };
        row("a sound entry gives its head and text back", "none", Stage::Sound);
        row("the file ending inside its summary", "cut in summary", Stage::Head);
        row("an empty file", "empty", Stage::Head);
        row("another magic", "magic", Stage::Head);
        row("the file ending inside the fixed head", "cut in fixed head", Stage::Head);
        row("a key size that is not the key's", "key size", Stage::Head);
        row("another key of the same size, its checksum matching", "other key", Stage::Head);
        row("a length over the longest text kept, its checksum matching", "too long", Stage::Head);
        row("a summary smaller than any made, its checksum matching", "summary too small",
            Stage::Head);
        row("a summary larger than any made, its checksum matching", "summary too large",
            Stage::Head);
        row("a bit of the summary changed", "summary bit", Stage::Head);
        row("the head's checksum changed", "checksum", Stage::Head);
        row("the head without its text", "no frame", Stage::Text);
        row("a byte of the compressed text changed", "frame byte", Stage::Text);
        row("the compressed text one byte short", "frame cut", Stage::Text);
        row("a byte after the compressed text", "byte after frame", Stage::Text);
        row("a length one more than the text's, its checksum matching", "one character more",
            Stage::Text);
    }
}

// An entry written by encode() and damaged in one way is never served: the damage is caught as
// Damaged (so that the entry is removed), and a damage of the head before the head is given, as a
// search may stop at the head's summary.
void TestEntryFile::everyDamageIsCaughtWhereItLies()
{
    QFETCH(QString, damage);
    QFETCH(int, stage);
    QFETCH(bool, longHead);
    const QByteArray key = QByteArrayLiteral("the key of a document, with its version");
    // 150,000 characters of 3,000 kinds set enough pairs for the largest summary.
    const QString text = textOf(longHead ? 150000 : 3000, 7);
    const QByteArray summary = TextSummary::of(text);
    QCOMPARE(summary.size() > 16 * 1024, longHead);
    QByteArray bytes = EntryFile::encode(key, 5, text, summary);
    QVERIFY(!bytes.isEmpty());
    applyDamage(bytes, damage, offsetsOf(key.size(), summary.size()), quint64(text.size()));

    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("entry.qtc")));
    QFile file(QString::fromUtf8(path));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();

    QByteArray buffer;
    EntryFile entry(path, buffer);
    QVERIFY(entry.isOpen());
    const Verdict head = entry.readHead(key);
    if (Stage(stage) == Stage::Head) {
        QCOMPARE(head, Verdict::Damaged);
        return;
    }
    QCOMPARE(head, Verdict::Sound);
    QCOMPARE(entry.head().outcome, quint8(5));
    QVERIFY(entry.head().summary == QByteArrayView(summary));
    QString read;
    const Verdict body = entry.readText(read);
    if (Stage(stage) == Stage::Text) {
        QCOMPARE(body, Verdict::Damaged);
        return;
    }
    QCOMPARE(body, Verdict::Sound);
    QCOMPARE(read, text);
}

QTEST_GUILESS_MAIN(TestEntryFile)
#include "tst_entry_file.moc"
