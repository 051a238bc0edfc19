#include "document_fixtures.h"

#include "search/documents/registry.h"
#include "search/documents/signatures.h"
#include "search/formats/format_module.h"
#include "search/formats/linked/linked_readers.h"
#include "search/match/keyword.h"

#include <QTest>

using documents::Kind;
using documents::Outcome;
using fixtures::document;
using namespace Qt::Literals::StringLiterals;

// The contract every reader family keeps, run through the registry for each family's fixtures:
// the family's row recognises its files by their first bytes, the document it makes reads the
// words a reader sees, the same whether opened by recognition or by kind and whether reached
// through the readers linked in or through the format module; a raw-byte screen never turns away
// a keyword the text holds; a cancelled monitor stops the reading.
class TestReaderContract : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyRowHasFixtures();
    void familyKeepsTheContract_data();
    void familyKeepsTheContract();
};

namespace {

struct Fixture
{
    const char *file;
    Kind kind;
    const char16_t *word; // a word a reader sees in it
};

// One or two fixtures for every family of the registry.
const Fixture kCatalogue[] = {
    {"pages.pdf", Kind::Pdf, u"ThirdPageWord"},
    {"runs.docx", Kind::OfficeOpenXml, u"批量查找"},
    {"sheets.xlsx", Kind::OfficeOpenXml, u"NeedleCell"},
    {"runs.odt", Kind::OpenDocument, u"批量查找"},
    {"slides.odp", Kind::OpenDocument, u"批量查找"},
    {"ofd/ofdrw_n_iofd.ofd", Kind::Ofd, u""},
    {"runs.epub", Kind::Epub, u"NeedleWord"},
    {"encrypted.docx", Kind::EncryptedPackage, u""},
    {"runs.doc", Kind::Word97, u"批量查找"},
    {"sheets.xls", Kind::Excel97, u"NeedleCell"},
    {"slides.ppt", Kind::PowerPoint97, u"批量查找"},
    {"rtf/chinese.rtf", Kind::Rtf, u"批量查找"},
    {"ocr/lines.png", Kind::Picture, u""},
    {"mail/mail.eml", Kind::Message, u"PlainBodyWord"},
    {"chm/contents_gbk.chm", Kind::HelpFile, u"批量查找"},
    {"mail/outlook.msg", Kind::OutlookMessage, u"MsgBodyWord"},
    {"msg/hiraoka_hello_cjk.msg", Kind::OutlookMessage, u"こんにちは"},
};

struct Read
{
    Outcome outcome = Outcome::Done;
    QString text;
};

Read readAll(documents::Document &document, bool cancelled = false)
{
    Read read;
    platform::WorkMonitor monitor;
    if (cancelled)
        monitor.cancel();
    read.outcome = document.extract(
        [&](QStringView piece) {
            read.text += piece;
            return true;
        },
        monitor);
    return read;
}

} // namespace

void TestReaderContract::everyRowHasFixtures()
{
    for (const documents::Format *format : documents::formats()) {
        const auto row = std::find_if(std::begin(kCatalogue), std::end(kCatalogue),
                                      [&](const Fixture &f) { return f.kind == format->kind; });
        QVERIFY2(row != std::end(kCatalogue),
                 qPrintable(u"no fixture for the row of kind %1"_s.arg(int(format->kind))));
    }
}

void TestReaderContract::familyKeepsTheContract_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("word");
    for (const Fixture &fixture : kCatalogue)
        QTest::newRow(fixture.file)
            << document(fixture.file) << fixture.kind << QString::fromUtf16(fixture.word);
}

void TestReaderContract::familyKeepsTheContract()
{
    QFETCH(QString, path);
    QFETCH(Kind, kind);
    QFETCH(QString, word);
    const QByteArray head = fixtures::head(path);
    // Told by the bytes before any reader is loaded, and by its own row.
    QVERIFY(documents::mayBeDocument(head));
    const auto row = std::find_if(documents::formats().begin(), documents::formats().end(),
                                  [&](const documents::Format *f) { return f->kind == kind; });
    QVERIFY(row != documents::formats().end());
    QVERIFY((*row)->signature(head));

    const std::unique_ptr<documents::Document> recognised = documents::openDocument(path, head);
    QVERIFY(recognised);
    QCOMPARE(recognised->kind(), kind);
    QCOMPARE(recognised->readsOnWorker(), (*row)->onWorker);
    const Read read = readAll(*recognised);
    if (!word.isEmpty()) {
        QCOMPARE(read.outcome, Outcome::Done);
        QVERIFY2(fixtures::searchText(read.text).contains(word), qPrintable(read.text.left(200)));
    }
    // The same text from a document opened by its kind, and through the format module.
    const std::unique_ptr<documents::Document> byKind = documents::openAs(path, kind);
    QVERIFY(byKind);
    const Read again = readAll(*byKind);
    QCOMPARE(again.outcome, read.outcome);
    QCOMPARE(again.text, read.text);
    const std::unique_ptr<documents::Document> viaModule =
        formats::moduleReaders().openDocument(path, head);
    QVERIFY(viaModule);
    QCOMPARE(viaModule->kind(), kind);
    const Read fromModule = readAll(*viaModule);
    QCOMPARE(fromModule.outcome, read.outcome);
    QCOMPARE(fromModule.text, read.text);
    QCOMPARE(formats::moduleReaders().version(), formats::linkedReaders().version());

    // The raw-byte screen never rules out a word the text holds.
    if (!word.isEmpty()) {
        const search::Keyword keyword(word);
        platform::WorkMonitor monitor;
        QVERIFY(documents::openDocument(path, head)->screen(keyword.utf8Characters(), monitor) !=
                documents::Screen::Absent);
    }
    // A monitor cancelled before the reading starts ends it without its text.
    const Read cancelled = readAll(*documents::openDocument(path, head), true);
    QVERIFY(cancelled.outcome != Outcome::Done || cancelled.text.isEmpty());
    QVERIFY(cancelled.text.size() <= read.text.size());
}

QTEST_GUILESS_MAIN(TestReaderContract)
#include "tst_reader_contract.moc"
