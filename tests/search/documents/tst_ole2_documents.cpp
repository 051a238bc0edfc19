// The Word, Excel and PowerPoint 97-2003 readers against real files that other software wrote
// (tests/data/documents/ole2/): each gives the words a reader of it sees.

#include "document_fixtures.h"

#include "search/documents/document_text.h"

#include <QTest>

using documents::Kind;
using documents::Outcome;

Q_DECLARE_METATYPE(documents::Kind)
Q_DECLARE_METATYPE(documents::Outcome)

class TestOle2Documents : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void realFilesGiveTheirWords_data();
    void realFilesGiveTheirWords();
};

void TestOle2Documents::realFilesGiveTheirWords_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<Outcome>("outcome");

    QTest::newRow("a workbook stream named WORKBOOK")
        << QStringLiteral("spreadsheet__OddStyleRecord.xls") << Kind::Excel97
        << QStringList{QStringLiteral("segalanya"), QStringLiteral("confidence")} << Outcome::Done;
    // Both BoundSheet offsets are two bytes short of their BOF records.
    QTest::newRow("a damaged workbook whose sheet offsets are wrong")
        << QStringLiteral(
               "spreadsheet__clusterfuzz-testcase-minimized-POIHSSFFuzzer-4657005060816896.xls")
        << Kind::Excel97
        << QStringList{QStringLiteral("transporte"), QStringLiteral("servicios"),
                       QStringLiteral("TOTALES")}
        << Outcome::Damaged;
    QTest::newRow("a Word document embedded on a slide")
        << QStringLiteral("slideshow__ole2-embedding-2003.ppt") << Kind::PowerPoint97
        << QStringList{QStringLiteral("OLE Embedding"),
                       QStringLiteral("OLE embedding is thoroughly unremarkable.")}
        << Outcome::Done;
    // The footer of every slide in the document's settings; one slide has its own date.
    QTest::newRow("the footer and fixed date the slides show")
        << QStringLiteral("slideshow__headers_footers.ppt") << Kind::PowerPoint97
        << QStringList{QStringLiteral("Global Slide Footer"), QStringLiteral("custom date format"),
                       QStringLiteral("per-slide footer")}
        << Outcome::Done;
}

void TestOle2Documents::realFilesGiveTheirWords()
{
    QFETCH(QString, file);
    QFETCH(Kind, kind);
    QFETCH(QStringList, words);
    QFETCH(Outcome, outcome);
    const QString path = fixtures::document(QStringLiteral("ole2/") + file);
    QCOMPARE(documents::recognise(path, fixtures::head(path)), kind);
    QString text;
    QCOMPARE(documents::extractText(path, kind,
                                    [&](QStringView piece) {
                                        text += piece;
                                        return true;
                                    }),
             outcome);
    const QString searchText = fixtures::searchText(text);
    for (const QString &word : std::as_const(words))
        QVERIFY2(searchText.contains(word), qPrintable(word + QStringLiteral(" in:\n") + text));
}

QTEST_GUILESS_MAIN(TestOle2Documents)
#include "tst_ole2_documents.moc"
