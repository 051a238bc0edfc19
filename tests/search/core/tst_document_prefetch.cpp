#include "platform/core/program.h"
#include "search/cache/text_cache.h"
#include "search/core/document_prefetch.h"
#include "search/core/search_run.h"
#include "support/document_catalogue.h"
#include "support/fake_entry_list.h"
#include "support/test_files.h"

#include "search/core/document_text_stream.h"
#include "search/documents/document_text.h"
#include "search/documents/registry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace search;

namespace {

bool copyDocument(const QString &name, const QString &to)
{
    const QString from = fixtures::documentPath(name);
    if (QFile::exists(to))
        return true; // made by an earlier run of the same test
    return QFile::copy(from, to) && QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
}

enum class Gone { StreamAfterText, StreamAtOnce, PrefetchExtracting, PrefetchAfterItsRun };

} // namespace

Q_DECLARE_METATYPE(Gone)

class TestDocumentPrefetch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void reportsAsARunWithoutWorkers_data();
    void reportsAsARunWithoutWorkers();
    void cancelStopsTheWorkers();
    void waitingRunExtractsFilesAhead();
    void keywordChangedDuringTheRun();
    void endOfTheProcessJoinsTheWorkersOfGoneOwners_data();
    void endOfTheProcessJoinsTheWorkersOfGoneOwners();

private:
    // A list of slow and fast documents mixed with text files, an unreadable document, a
    // missing file and unmarked entries.
    // `leadingText` text files come first (without the keyword).
    FakeEntryList mixedList(int leadingText = 0);
    QString report(textcache::TextCache *cache, int workers, const QString &keyword,
                   std::unique_ptr<DocumentPrefetch> *keep = nullptr, int leadingText = 0,
                   int keepLaterBelowMs = DocumentPrefetch::kKeepLaterBelowMs);
    QString report(textcache::TextCache *cache, int workers, std::function<QString()> keyword,
                   std::unique_ptr<DocumentPrefetch> *keep = nullptr, int leadingText = 0,
                   int keepLaterBelowMs = DocumentPrefetch::kKeepLaterBelowMs);
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestDocumentPrefetch::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

FakeEntryList TestDocumentPrefetch::mixedList(int leadingText)
{
    FakeEntryList list;
    list.folder = m_dir->path();
    for (int i = 0; i < leadingText; ++i) {
        const QString text = QStringLiteral("0-lead-%1.txt").arg(i, 3, 10, QChar(u'0'));
        writeTestFile(m_dir->path(), text, "plain text, no keyword");
        list.entries.append(RunEntry{text, true});
    }
    const QStringList sources = {
        QStringLiteral("pages.pdf"),     QStringLiteral("runs.docx"),
        QStringLiteral("encrypted.pdf"), QStringLiteral("sheets.xlsx"),
        QStringLiteral("pages.pdf"),     QStringLiteral("truncated.docx"),
        QStringLiteral("runs.odt"),      QStringLiteral("slides.ppt"),
        QStringLiteral("pages.pdf"),     QStringLiteral("table.doc"),
    };
    for (int i = 0; i < sources.size(); ++i) {
        const QString name = QStringLiteral("%1-%2").arg(i, 2, 10, QChar(u'0')).arg(sources.at(i));
        if (!copyDocument(sources.at(i), m_dir->filePath(name)))
            qFatal("cannot copy a fixture");
        list.entries.append(RunEntry{name, i != 3});
        // A plain text file after every document, and a file that is gone.
        const QString text = QStringLiteral("%1-note.txt").arg(i, 2, 10, QChar(u'0'));
        writeTestFile(m_dir->path(), text, "NeedleWord," + QByteArray::number(i));
        list.entries.append(RunEntry{text, i % 3 == 0});
    }
    // An archive with text members and a document inside, searched ahead like a document.
    if (!QFile::copy(QStringLiteral(QUARLEX_ARCHIVES_DIR "/mail.zip"),
                     m_dir->filePath(QStringLiteral("10-mail.zip"))) &&
        !QFile::exists(m_dir->filePath(QStringLiteral("10-mail.zip"))))
        qFatal("cannot copy an archive");
    list.entries.append(RunEntry{QStringLiteral("10-mail.zip"), true});
    // A mail carrying a .docx: its attachments' text is kept under the mail's key.
    if (!copyDocument(QStringLiteral("mail/mail.eml"),
                      m_dir->filePath(QStringLiteral("11-mail.eml"))))
        qFatal("cannot copy a mail");
    list.entries.append(RunEntry{QStringLiteral("11-mail.eml"), true});
    list.entries.append(RunEntry{QStringLiteral("gone.docx"), true});
    return list;
}

QString TestDocumentPrefetch::report(textcache::TextCache *cache, int workers,
                                     const QString &keyword,
                                     std::unique_ptr<DocumentPrefetch> *keep, int leadingText,
                                     int keepLaterBelowMs)
{
    return report(
        cache, workers, [keyword] { return keyword; }, keep, leadingText, keepLaterBelowMs);
}

QString TestDocumentPrefetch::report(textcache::TextCache *cache, int workers,
                                     std::function<QString()> keyword,
                                     std::unique_ptr<DocumentPrefetch> *keep, int leadingText,
                                     int keepLaterBelowMs)
{
    const FakeEntryList list = mixedList(leadingText);
    SearchRun run(RunSnapshot::take(list), std::move(keyword), [] {});
    run.setEntryYieldSpacing(0);
    run.setKeepLaterBelow(keepLaterBelowMs);
    if (cache)
        run.setTextCache(cache, workers);
    run.run();
    if (keep) {
        *keep = run.takePrefetch();
    } else {
        // The workers outlive the prefetch for a moment; the cache must outlive them.
        run.takePrefetch().reset();
        if (!QTest::qWaitFor([] { return DocumentPrefetch::runningWorkers() == 0; }, 60000))
            qFatal("the workers did not stop");
    }
    return run.reportText();
}

void TestDocumentPrefetch::reportsAsARunWithoutWorkers_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<int>("workers");
    QTest::addColumn<int>("leadingText");
    QTest::addColumn<int>("keepLaterBelowMs");
    const int usual = DocumentPrefetch::kKeepLaterBelowMs;
    QTest::newRow("a word of the PDF files, one worker")
        << QStringLiteral(u"第") << 1 << 0 << usual;
    QTest::newRow("a word of the PDF files, three workers")
        << QStringLiteral(u"第") << 3 << 0 << usual;
    QTest::newRow("a word of the text files and some documents")
        << QStringLiteral("NeedleWord") << 1 << 0 << usual;
    QTest::newRow("a word of none") << QStringLiteral(u"违约金") << 2 << 0 << usual;
    // The workers start with the first document, after a run of text files.
    QTest::newRow("a word of the PDF files after 50 text files")
        << QStringLiteral(u"第") << 1 << 50 << usual;
    QTest::newRow("a word of none after 50 text files")
        << QStringLiteral(u"违约金") << 2 << 50 << usual;
    // Every text the run and the workers read is kept only once nothing is left ahead, or stored
    // as it is read.
    QTest::newRow("a word of none, every text kept after")
        << QStringLiteral(u"违约金") << 1 << 0 << 3600000;
    QTest::newRow("a word of the PDF files, every text kept after")
        << QStringLiteral(u"第") << 1 << 0 << 3600000;
    QTest::newRow("a word of none, every text stored as read")
        << QStringLiteral(u"违约金") << 1 << 0 << -1;
}

// Results, their order and the unreadable files' reasons do not depend on which thread extracted
// a document, nor on whether its text came from the cache; and once the workers are through,
// every document's text is kept, those the run decided by their bytes included.
void TestDocumentPrefetch::reportsAsARunWithoutWorkers()
{
    QFETCH(QString, keyword);
    QFETCH(int, workers);
    QFETCH(int, leadingText);
    QFETCH(int, keepLaterBelowMs);
    const QString expected = report(nullptr, 0, keyword, nullptr, leadingText);
    QVERIFY(expected.contains(QStringLiteral(u"文档已加密")));
    QVERIFY(expected.contains(QStringLiteral(u"文件不存在")));

    textcache::TextCache cache(m_dir->filePath(QStringLiteral("cache")));
    std::unique_ptr<DocumentPrefetch> prefetch;
    QCOMPARE(report(&cache, workers, keyword, &prefetch, leadingText, keepLaterBelowMs), expected);
    QTRY_COMPARE_WITH_TIMEOUT(DocumentPrefetch::runningWorkers(), 0, 60000);
    // Nine marked documents that exist (one is unmarked, one is gone), and the .docx attached to
    // the mail and the one inside the archive when their text was read (not when their raw bytes
    // ruled the keyword out: 违约金's characters are in neither). The message attached to the mail
    // is kept when its text was read (an ASCII keyword passes every screen), and when its bytes
    // ruled the keyword out (第 is not in it) only if the workers went back to the mail: they do
    // when the run left the attached .docx to keep, as one read in under 3 ms is.
    const qsizetype kept =
        QDir(cache.folder()).entryList({QStringLiteral("*.qtc")}, QDir::Files).size();
    const qsizetype docxKept = keyword == u"违约金" ? 0 : 2;
    const bool messageRead = keyword == u"NeedleWord";
    const bool messageMaybe = keyword == u"第";
    QVERIFY2(kept == 9 + docxKept + (messageRead ? 1 : 0) ||
                 (messageMaybe && kept == 9 + docxKept + 1),
             qPrintable(QString::number(kept)));
    prefetch.reset();
    QCOMPARE(report(&cache, workers, keyword, nullptr, leadingText), expected);
    QCOMPARE(report(&cache, workers, QStringLiteral(u"第二"), nullptr, leadingText),
             report(nullptr, 0, QStringLiteral(u"第二"), nullptr, leadingText));
}

void TestDocumentPrefetch::cancelStopsTheWorkers()
{
    const FakeEntryList list = mixedList();
    textcache::TextCache cache(m_dir->filePath(QStringLiteral("cache")));
    int yields = 0;
    SearchRun *current = nullptr;
    SearchRun run(
        RunSnapshot::take(list), [] { return QStringLiteral(u"违约金"); },
        [&] {
            if (++yields == 3)
                current->cancel();
        });
    current = &run;
    run.setEntryYieldSpacing(0);
    run.setTextCache(&cache, 2);
    run.run();
    QVERIFY(run.wasCancelled());
    {
        // Destroying the prefetch returns at once, and its workers end soon after.
        std::unique_ptr<DocumentPrefetch> prefetch = run.takePrefetch();
        QVERIFY(prefetch);
    }
    QTRY_COMPARE_WITH_TIMEOUT(DocumentPrefetch::runningWorkers(), 0, 10000);
}

// While the run waits for a worker stuck on one file, its own thread extracts the files after it:
// the worker is held on a FIFO, which is only closed once the run has kept the text of both
// documents behind it (if the run only waited, nothing would close it before the time limit).
void TestDocumentPrefetch::waitingRunExtractsFilesAhead()
{
    const QString fifo = m_dir->filePath(QStringLiteral("held.pdf"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QStringList paths = {fifo, m_dir->filePath(QStringLiteral("a.pdf")),
                               m_dir->filePath(QStringLiteral("b.doc"))};
    QVERIFY(copyDocument(QStringLiteral("pages.pdf"), paths.at(1)));
    QVERIFY(copyDocument(QStringLiteral("table.doc"), paths.at(2)));
    textcache::TextCache cache(m_dir->filePath(QStringLiteral("cache")));
    // Each text stored as it is read: the test watches the cache.
    auto prefetch = std::make_unique<DocumentPrefetch>(cache, paths, 1, nullptr, nullptr, -1);
    // Opening the writing end returns once the worker has opened the FIFO to read it.
    const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY);
    QVERIFY(writer >= 0);
    QVERIFY(prefetch->reached(0));

    const QByteArray version = documents::extractorVersion();
    const auto kept = [&](int index) {
        const std::optional<textcache::FileKey> key = textcache::FileKey::of(paths.at(index));
        return key && cache.contains(*key, version);
    };
    QElapsedTimer waited;
    waited.start();
    bool released = false;
    platform::WorkMonitor monitor([&] {
        if (!released && kept(1) && kept(2)) {
            ::close(writer);
            released = true;
        }
        return waited.elapsed() < 20000;
    });
    prefetch->waitFor(0, monitor);
    QVERIFY(released);
    QVERIFY(kept(1));
    QVERIFY(kept(2));
    prefetch.reset();
    QTRY_COMPARE_WITH_TIMEOUT(DocumentPrefetch::runningWorkers(), 0, 10000);
}

// The keyword is asked for each file; the documents searched ahead for the keyword the run had
// then are searched again for the new one.
void TestDocumentPrefetch::keywordChangedDuringTheRun()
{
    const auto changing = [] {
        return [asked = 0]() mutable {
            return ++asked <= 4 ? QStringLiteral("NeedleWord") : QStringLiteral(u"第");
        };
    };
    const QString expected = report(nullptr, 0, changing());
    QVERIFY(expected.contains(QStringLiteral("NeedleWord")));
    QVERIFY(expected.contains(QStringLiteral(u"第")));
    textcache::TextCache cache(m_dir->filePath(QStringLiteral("cache")));
    QCOMPARE(report(&cache, 2, changing()), expected);
}

void TestDocumentPrefetch::endOfTheProcessJoinsTheWorkersOfGoneOwners_data()
{
    QTest::addColumn<Gone>("gone");
    QTest::newRow("a text stream destroyed after the first text of a scanned PDF file")
        << Gone::StreamAfterText;
    QTest::newRow("a text stream destroyed before its worker gave any text") << Gone::StreamAtOnce;
    QTest::newRow("a prefetch destroyed while its workers extract scanned pages")
        << Gone::PrefetchExtracting;
    QTest::newRow("a prefetch destroyed while its workers go back over the run's files")
        << Gone::PrefetchAfterItsRun;
}

// The owner goes in the middle of a document, its worker being inside a page (a scanned page is
// recognised for a good while); once the process's end has stopped and joined its threads, as
// it does before any static destructor runs, no worker is left.
void TestDocumentPrefetch::endOfTheProcessJoinsTheWorkersOfGoneOwners()
{
    QFETCH(Gone, gone);
    QVERIFY(platform::endThreads());
    const QString scan = QStringLiteral(QUARLEX_DOCUMENTS_DIR "/ocr/pages.pdf");
    QStringList paths;
    for (int i = 0; i < 6; ++i) {
        paths.append(m_dir->filePath(QStringLiteral("scan-%1.pdf").arg(i)));
        QVERIFY(QFile::copy(scan, paths.last()));
    }
    textcache::TextCache cache(m_dir->filePath(QStringLiteral("cache")));
    switch (gone) {
    case Gone::StreamAfterText: {
        search::DocumentTextStream stream(documents::openAs(scan, documents::Kind::Pdf));
        QString piece;
        while (stream.next(piece, 50) == search::DocumentTextStream::Status::Waiting) {
        }
        break;
    }
    case Gone::StreamAtOnce: {
        const search::DocumentTextStream stream(documents::openAs(scan, documents::Kind::Pdf));
        break;
    }
    case Gone::PrefetchExtracting:
    case Gone::PrefetchAfterItsRun: {
        DocumentPrefetch prefetch(cache, paths, 2);
        if (gone == Gone::PrefetchAfterItsRun) {
            prefetch.reached(0);
            prefetch.reached(1);
            prefetch.runEnded();
        }
        QTest::qWait(300);
        break;
    }
    }
    QVERIFY(platform::endThreads());
    QCOMPARE(search::DocumentTextStream::runningWorkers(), 0);
    QCOMPARE(DocumentPrefetch::runningWorkers(), 0);
}

QTEST_GUILESS_MAIN(TestDocumentPrefetch)
#include "tst_document_prefetch.moc"
