#include "search/documents/document_fixtures.h"

#include "platform/core/program.h"
#include "search/core/document_text_stream.h"
#include "search/documents/registry.h"

#include <QTemporaryDir>
#include <QTest>

using documents::Kind;
using documents::Outcome;
using search::DocumentTextStream;

Q_DECLARE_METATYPE(documents::Kind)
Q_DECLARE_METATYPE(documents::Outcome)

class TestDocumentTextStream : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void streamGivesTheSameTextAsExtractText_data();
    void streamGivesTheSameTextAsExtractText();
    void streamDestroyedInTheMiddleLetsItsWorkerEnd();
    void callerThatTakesNothingHoldsTheWorkerBack();
    void stopAndWaitEndsTheWorkerWithinAPage_data();
    void stopAndWaitEndsTheWorkerWithinAPage();
    void cleanupTestCase();

private:
    QTemporaryDir m_dir;
};

void TestDocumentTextStream::streamGivesTheSameTextAsExtractText_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Kind>("kind");

    QTest::newRow("a PDF file of fifteen pages")
        << fixtures::benchDocument(QStringLiteral("chinese15.pdf")) << Kind::Pdf;
    QTest::newRow("a Word file of many pieces")
        << fixtures::benchDocument(QStringLiteral("chinese.docx")) << Kind::OfficeOpenXml;
    // A fixture of each outcome that ends a whole reading.
    const std::pair<const char *, const char16_t *> rows[] = {
        {"a Calc file", u"sheets.ods"},
        {"a blank PDF file gives no text", u"blank.pdf"},
        {"an encrypted PDF file gives no text and its outcome", u"encrypted.pdf"},
        {"a damaged Word file gives its outcome", u"truncated.docx"},
        {"a scanned PDF file gives its outcome", u"scan.pdf"},
    };
    for (const auto &[about, path] : rows) {
        const fixtures::DocumentFixture &fixture = fixtures::documentFixture(path);
        QTest::newRow(about) << fixtures::documentPath(fixture) << fixture.kind;
    }
}

void TestDocumentTextStream::streamGivesTheSameTextAsExtractText()
{
    QFETCH(QString, path);
    QFETCH(Kind, kind);
    QString expected;
    const Outcome expectedOutcome = documents::extractText(path, kind, [&](QStringView piece) {
        expected += piece;
        return true;
    });

    DocumentTextStream stream(documents::openAs(path, kind));
    QString text;
    QString piece;
    DocumentTextStream::Status status;
    while ((status = stream.next(piece, 50)) != DocumentTextStream::Status::End) {
        if (status == DocumentTextStream::Status::Text)
            text += piece;
    }
    QCOMPARE(stream.outcome(), expectedOutcome);
    QCOMPARE(text, expected);
}

void TestDocumentTextStream::streamDestroyedInTheMiddleLetsItsWorkerEnd()
{
    const QString path = fixtures::benchDocument(QStringLiteral("chinese15.pdf"));
    {
        DocumentTextStream stream(documents::openAs(path, Kind::Pdf));
        QString piece;
        while (stream.next(piece, 50) != DocumentTextStream::Status::Text) {
        }
        QVERIFY(!piece.isEmpty());
        // The stream goes out of scope with most pages unread and the worker busy.
    }
    {
        // Destroyed before any text was taken.
        DocumentTextStream stream(documents::openAs(path, Kind::Pdf));
    }
    // The workers end by themselves; leak detection at exit checks that they freed everything.
    QTRY_COMPARE_WITH_TIMEOUT(DocumentTextStream::runningWorkers(), 0, 30000);
}

void TestDocumentTextStream::callerThatTakesNothingHoldsTheWorkerBack()
{
    // A document with far more text than the queue holds: a worker that did not wait would have
    // queued all of it by the time the caller starts taking.
    QByteArray body;
    for (int i = 0; i < 20000; ++i)
        body += "<w:p><w:r><w:t>paragraph " + QByteArray::number(i) + "</w:t></w:r></w:p>";
    const QString path = m_dir.filePath(QStringLiteral("long.docx"));
    fixtures::writeZip(path, {{"[Content_Types].xml", fixtures::kWordContentTypes},
                              {"word/document.xml", fixtures::wordDocument(body)}});
    qsizetype total = 0;
    documents::extractText(path, Kind::OfficeOpenXml, [&](QStringView piece) {
        total += piece.size();
        return true;
    });
    QVERIFY(total > 4 * DocumentTextStream::kMaxQueued);

    DocumentTextStream stream(documents::openAs(path, Kind::OfficeOpenXml));
    QTest::qWait(500);
    // Take what is queued without waiting: it is bounded by the queue size plus one piece.
    qsizetype queued = 0;
    QString piece;
    while (stream.next(piece, 0) == DocumentTextStream::Status::Text) {
        queued += piece.size();
        if (queued > DocumentTextStream::kMaxQueued + 64 * 1024)
            break;
    }
    QVERIFY2(queued <= DocumentTextStream::kMaxQueued + 64 * 1024,
             qPrintable(QString::number(queued)));
}

void TestDocumentTextStream::stopAndWaitEndsTheWorkerWithinAPage_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("takeFirst");

    QTest::newRow("a PDF file of fifteen pages, after its first piece")
        << fixtures::benchDocument(QStringLiteral("chinese15.pdf")) << Kind::Pdf << true;
    QTest::newRow("a PDF file of fifteen pages, before any text was taken")
        << fixtures::benchDocument(QStringLiteral("chinese15.pdf")) << Kind::Pdf << false;
    QTest::newRow("a scanned PDF file, in the middle of recognising a page")
        << fixtures::document(QStringLiteral("ocr/pages.pdf")) << Kind::Pdf << false;
}

// The caller stops the stream in the middle of the document and waits: the worker has ended by
// then, having read no more than the page it was in; what it queued comes, then the end.
void TestDocumentTextStream::stopAndWaitEndsTheWorkerWithinAPage()
{
    QFETCH(QString, path);
    QFETCH(Kind, kind);
    QFETCH(bool, takeFirst);
    QVERIFY(platform::endThreads()); // no worker of an earlier test is left
    qsizetype whole = 0;
    documents::extractText(path, kind, [&](QStringView piece) {
        whole += piece.size();
        return true;
    });

    DocumentTextStream stream(documents::openAs(path, kind));
    qsizetype got = 0;
    QString piece;
    if (takeFirst) {
        while (stream.next(piece, 50) != DocumentTextStream::Status::Text) {
        }
        got += piece.size();
    }
    stream.stopAndWait();
    QCOMPARE(DocumentTextStream::runningWorkers(), 0);
    DocumentTextStream::Status status;
    while ((status = stream.next(piece, 0)) == DocumentTextStream::Status::Text)
        got += piece.size();
    QCOMPARE(status, DocumentTextStream::Status::End);
    QCOMPARE(stream.outcome(), Outcome::Stopped);
    QVERIFY2(got < whole, qPrintable(QStringLiteral("%1 of %2").arg(got).arg(whole)));
}

void TestDocumentTextStream::cleanupTestCase()
{
    QTRY_COMPARE_WITH_TIMEOUT(DocumentTextStream::runningWorkers(), 0, 30000);
}

QTEST_GUILESS_MAIN(TestDocumentTextStream)
#include "tst_document_text_stream.moc"
