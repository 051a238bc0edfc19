#include "platform/core/field_cutter.h"
#include "platform/core/field_skim.h"

#include <QTest>

#include <random>

using platform::FieldCutter;
using platform::FieldSkim;
using platform::FieldState;

namespace {

// The fields the cutter gives for [p, end) from `state`, each followed by '\x01'; a field still
// open at the end is given without it.
QByteArray cutFields(const char *p, const char *end, FieldState state, bool afterCarriageReturn)
{
    struct Out
    {
        QByteArray fields;
        void append(const char *data, qsizetype size) { fields.append(data, size); }
    } out;
    FieldCutter<char> cutter;
    cutter.resume(state, afterCarriageReturn);
    while (p < end) {
        if (cutter.cut(p, end, out))
            out.fields.append('\x01');
        cutter.skipPendingLineFeed(p, end);
    }
    return out.fields;
}

} // namespace

// Skimming must tell places where cutting can resume and give exactly the fields that cutting
// from the beginning gives there. Random text made of the characters that matter (quotes,
// delimiters, spaces) and GBK double bytes, from every state of the cutter.
class TestFieldSkim : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void resumingGivesTheSameFields_data();
    void resumingGivesTheSameFields();
};

void TestFieldSkim::resumingGivesTheSameFields_data()
{
    QTest::addColumn<QByteArray>("alphabet"); // the pieces the text is made of
    QTest::addColumn<bool>("literalQuotes");  // may hold quotes inside unquoted fields

    // Without literal quotes, quoted pieces begin after a delimiter.
    QTest::newRow("quoted CSV") << QByteArray(
                                       "a|\xB0\xA1|,|\r\n|,\"x\",|,\"a,b\",|,\"\",|,\" \r\n\",|"
                                       ", |,  \"y\"  \r\n|,\"a\"\"b\",")
                                << false;
    QTest::newRow("quotes anywhere") << QByteArray("a|\"|,|\r|\n| |\xC4\xE3") << true;
    QTest::newRow("long fields, few delimiters")
        << QByteArray("a|a|a|a|a|a|\xB0\xA1|1|,\"x,y\",|,") << false;
    QTest::newRow("no quotes") << QByteArray("a|\xB0\xA1|,|\r\n| ") << false;
}

void TestFieldSkim::resumingGivesTheSameFields()
{
    QFETCH(QByteArray, alphabet);
    QFETCH(bool, literalQuotes);
    const QList<QByteArray> pieces = alphabet.split('|');
    std::mt19937 random(7);
    int resumedAtField = 0, resumedInside = 0;
    for (int round = 0; round < 3000; ++round) {
        QByteArray text;
        const int length = int(random() % 600);
        while (text.size() < length)
            text += pieces.at(random() % pieces.size());
        const auto state = FieldState(random() % 4);
        const char *begin = text.constData();
        const char *end = begin + text.size();
        const char *limit = end - random() % (text.size() + 1);
        const FieldSkim skim = platform::skimFields(begin, limit, state);
        const QByteArray whole = cutFields(begin, end, state, false);
        QVERIFY(skim.reached >= begin && skim.reached <= limit);
        // A quoted field open at the start shifts the quotes: its closing one may be followed by a
        // quote that is an ordinary character.
        if (!literalQuotes && state != FieldState::Quoted)
            QVERIFY2(limit - skim.reached < 64, text.toPercentEncoding().constData());
        if (skim.fieldEnd) {
            QVERIFY(skim.fieldEnd > begin && skim.fieldEnd <= skim.reached);
            const QByteArray rest =
                cutFields(skim.fieldEnd, end, FieldState::Start, skim.fieldEnd[-1] == '\r');
            const QByteArray before = whole.chopped(std::min(rest.size(), whole.size()));
            QVERIFY2(whole.endsWith(rest) && (before.isEmpty() || before.endsWith('\x01')),
                     text.toPercentEncoding().constData());
            ++resumedAtField;
        } else if (skim.stateAtReached != FieldState::Start) {
            // Inside a field: cutting on gives the end of that field, then the same fields.
            const QByteArray rest = cutFields(skim.reached, end, skim.stateAtReached, false);
            QVERIFY2(whole.endsWith(rest), text.toPercentEncoding().constData());
            ++resumedInside;
        }
    }
    // The places were met (inside a field only where fields run long).
    QVERIFY(resumedAtField > 100);
    if (QByteArray(QTest::currentDataTag()).startsWith("long"))
        QVERIFY(resumedInside > 10);
}

QTEST_GUILESS_MAIN(TestFieldSkim)
#include "tst_core_field_skim.moc"
