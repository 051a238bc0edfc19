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
    QTest::addColumn<QString>("path");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<Outcome>("outcome");

    for (const fixtures::DocumentFixture &fixture :
         fixtures::documentFixtures({fixtures::Family::Ole2})) {
        if (fixture.path.startsWith(u"ole2/"))
            QTest::addRow("%s", qPrintable(fixture.about))
                << fixtures::documentPath(fixture) << fixture.kind << fixture.words
                << fixture.outcome;
    }
}

void TestOle2Documents::realFilesGiveTheirWords()
{
    QFETCH(QString, path);
    QFETCH(Kind, kind);
    QFETCH(QStringList, words);
    QFETCH(Outcome, outcome);
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
