#include "search/core/report.h"
#include "search/match/text_field_matcher.h"
#include "search/match/text_matcher.h"

#include <QTest>

using namespace search;

namespace {

// Feeds `text` to a matcher in pieces of `pieceSize` characters (0: all at once).
template <typename Matcher> void feedInPieces(Matcher &matcher, const QString &text, int pieceSize)
{
    if (pieceSize == 0) {
        matcher.feed(text);
        return;
    }
    for (qsizetype at = 0; at < text.size(); at += pieceSize)
        matcher.feed(QStringView(text).mid(at, pieceSize));
}

const QList<int> kPieceSizes = {0, 1, 2, 3, 7, 11, 29};

} // namespace

class TestTextMatcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answersLikeFindAOverTheWholeText_data();
    void answersLikeFindAOverTheWholeText();
    void completeOnceTheExcerptIsFull();
    void fieldsAreCutBeforeMatching_data();
    void fieldsAreCutBeforeMatching();
};

void TestTextMatcher::answersLikeFindAOverTheWholeText_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("text");

    const QString digits = QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyz");
    QTest::newRow("a keyword in the first ten characters: the excerpt starts at the first")
        << QStringLiteral("45") << digits;
    QTest::newRow("a keyword at position 11: the excerpt starts at the first character")
        << QStringLiteral("ab") << digits;
    QTest::newRow("a keyword far in: ten characters before it, thirty in all")
        << QStringLiteral("uv") << digits;
    QTest::newRow("a keyword near the end: the excerpt stops where the text does")
        << QStringLiteral("yz") << digits;
    QTest::newRow("only the first of several occurrences counts")
        << QStringLiteral(u"查找") << QStringLiteral(u"批量查找，再查找，又查找一次批量查找");
    QTest::newRow("a partial occurrence before the real one is skipped")
        << QStringLiteral("aab") << QStringLiteral("xxxxxxxxxxxxaaaab-tail");
    QTest::newRow("an absent keyword is not found") << QStringLiteral("zz") << digits;
    QTest::newRow("a capital letter does not match a small one")
        << QStringLiteral("Notes") << QStringLiteral("my notes and notes");
    QTest::newRow("an empty keyword is found at the first character")
        << QString() << QStringLiteral(u"文本的开头和后面很多很多的字，一直写到三十个字以上为止");
    QTest::newRow("an empty keyword in an empty text gives an empty excerpt")
        << QString() << QString();
    QTest::newRow("a non-empty keyword is never in an empty text")
        << QStringLiteral("a") << QString();
    QTest::newRow("characters outside the basic plane count as two")
        << QStringLiteral(u"𠀀𠀁")
        << QStringLiteral(u"前面的字𠀀𠀀𠀁后面的字和更多的字一直到很远很远的地方");
    QTest::newRow("a keyword longer than the kept tail")
        << QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789")
        << QStringLiteral("----------------abcdefghijklmnopqrstuvwxyz0123456789++");
}

void TestTextMatcher::answersLikeFindAOverTheWholeText()
{
    QFETCH(QString, keyword);
    QFETCH(QString, text);
    const bool expectedFound = FindA(keyword, text);
    const QString expectedExcerpt =
        expectedFound ? excerptAt(text, FirstPosition(keyword, text)) : QString();
    for (int pieceSize : kPieceSizes) {
        TextMatcher matcher;
        matcher.begin(keyword);
        feedInPieces(matcher, text, pieceSize);
        const QByteArray where = "pieces of " + QByteArray::number(pieceSize);
        QVERIFY2(matcher.found() == expectedFound, where);
        QVERIFY2(matcher.excerpt() == expectedExcerpt,
                 qPrintable(QString::fromLatin1(where) + u": " + matcher.excerpt()));
    }
}

void TestTextMatcher::completeOnceTheExcerptIsFull()
{
    TextMatcher matcher;
    matcher.begin(QStringLiteral("key"));
    matcher.feed(QStringLiteral("0123456789key"));
    QVERIFY(matcher.found());
    QVERIFY(!matcher.complete());
    matcher.feed(QStringLiteral("abcdefghijklmnopq"));
    QVERIFY(matcher.complete());
    matcher.feed(QStringLiteral("more text that must not be collected"));
    QCOMPARE(matcher.excerpt(), QStringLiteral("0123456789keyabcdefghijklmnopq"));

    // An occurrence found elsewhere: the given start of the excerpt, completed by later pieces.
    matcher.begin(QStringLiteral("key"));
    matcher.beginCollecting(QStringLiteral("before key"));
    matcher.feed(QStringLiteral(" and after it, up to thirty and beyond"));
    QVERIFY(matcher.complete());
    QCOMPARE(matcher.excerpt(), QStringLiteral("before key and after it, up to"));
}

void TestTextMatcher::fieldsAreCutBeforeMatching_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("excerpt"); // empty: not found

    QTest::newRow("a keyword split by a line end is found, the line end left out")
        << QStringLiteral(u"批量查找") << QStringLiteral(u"一行批量\r\n查找二行")
        << QStringLiteral(u"一行批量查找二行");
    QTest::newRow("a keyword split by a comma and leading spaces is found")
        << QStringLiteral("alphabeta") << QStringLiteral("alpha,  beta")
        << QStringLiteral("alphabeta");
    QTest::newRow("a quoted field keeps its comma and loses its quotes")
        << QStringLiteral("gam,ma") << QStringLiteral("x,\"gam,ma\"\ny")
        << QStringLiteral("xgam,may");
    QTest::newRow("a keyword holding a comma is not found in an unquoted field")
        << QStringLiteral("a,b") << QStringLiteral("a,b") << QString();
}

void TestTextMatcher::fieldsAreCutBeforeMatching()
{
    QFETCH(QString, keyword);
    QFETCH(QString, text);
    QFETCH(QString, excerpt);
    for (int pieceSize : kPieceSizes) {
        TextFieldMatcher matcher;
        matcher.begin(keyword);
        feedInPieces(matcher, text, pieceSize);
        QCOMPARE(matcher.found(), !excerpt.isEmpty());
        QCOMPARE(matcher.excerpt(), excerpt);
    }
}

QTEST_GUILESS_MAIN(TestTextMatcher)
#include "tst_text_matcher.moc"
