#include "chooser_fixture.h"

#include "chooser/chooser_window.h"
#include "platform/widgets/file_list.h"
#include "platform/widgets/folder_list.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>

#include <fcntl.h>
#include <unistd.h>

// A folder of 100,000 files: far beyond the 32,767 entries a 16-bit list could hold.
class TestChooserManyFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void listsEveryFileInOrder();
    void selectsAndPagesBeyondSixteenBits_data();
    void selectsAndPagesBeyondSixteenBits();
    void selectAllMarksEveryEntryForTheSearch();

private:
    static constexpr int kCount = 100000;
    std::unique_ptr<ChooserFixture> m_fixture;
    QString m_folder;
    chooser::Form4 *m_form = nullptr;
};

void TestChooserManyFiles::initTestCase()
{
    m_fixture = std::make_unique<ChooserFixture>();
    QVERIFY(m_fixture->setUp());
    m_folder = m_fixture->b + QStringLiteral("/many");
    QVERIFY(QDir().mkpath(m_folder));
    // Upper and lower case alternate, so that a sort that minds case would separate them.
    const QByteArray base = QFile::encodeName(m_folder) + '/';
    for (int i = 0; i < kCount; ++i) {
        const QByteArray name =
            base + (i % 2 ? 'f' : 'F') + QByteArray::number(i).rightJustified(6, '0');
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        QVERIFY(fd >= 0);
        ::close(fd);
    }
    m_form = m_fixture->show();
    QVERIFY(m_form);
    QVERIFY(m_form->Dir1()->setPath(m_folder));
}

void TestChooserManyFiles::listsEveryFileInOrder()
{
    const platform::FileList &files = *m_form->File1();
    QCOMPARE(files.entryCount(), kCount);
    for (int i = 0; i < kCount; ++i) {
        const QString expected =
            QLatin1Char(i % 2 ? 'f' : 'F') + QStringLiteral("%1").arg(i, 6, 10, QLatin1Char('0'));
        if (files.entryName(i) != expected)
            QFAIL(qPrintable(QStringLiteral("entry %1 is %2").arg(i).arg(files.entryName(i))));
    }
}

void TestChooserManyFiles::selectsAndPagesBeyondSixteenBits_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<bool>("down");
    QTest::addColumn<int>("selected");

    QTest::newRow("down from 40000 goes to 40020") << 40000 << true << 40020;
    QTest::newRow("up from 40000 goes to 39980") << 40000 << false << 39980;
    QTest::newRow("down near the end falls back to the last entry") << 99990 << true << 99999;
    QTest::newRow("up from the last entry goes to 99979") << 99999 << false << 99979;
    QTest::newRow("down past 32767 does not wrap") << 32760 << true << 32780;
}

void TestChooserManyFiles::selectsAndPagesBeyondSixteenBits()
{
    QFETCH(int, current);
    QFETCH(bool, down);
    QFETCH(int, selected);
    platform::FileList &files = *m_form->File1();
    files.selectAll();
    files.selectionModel()->setCurrentIndex(files.model()->index(current, 0),
                                            QItemSelectionModel::NoUpdate);
    QCOMPARE(files.listIndex(), current);
    QVERIFY(files.isEntrySelected(kCount - 1));
    QTest::mouseClick(down ? m_form->command3() : m_form->Command2(), Qt::LeftButton);
    QCOMPARE(files.listIndex(), selected);
    QVERIFY(files.isEntrySelected(selected));
    QCOMPARE(files.selectionModel()->selectedRows().size(), 1);
}

void TestChooserManyFiles::selectAllMarksEveryEntryForTheSearch()
{
    platform::FileList &files = *m_form->File1();
    files.setFocus();
    QTest::keyClick(&files, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(files.selectionModel()->selectedRows().size(), kCount);
    m_form->XD()->trigger();
    QCOMPARE(m_fixture->search.runs, 1);
    QCOMPARE(m_fixture->search.entryCount, kCount);
    QCOMPARE(m_fixture->search.marked.size(), kCount);
    QCOMPARE(m_fixture->search.marked.last(), QStringLiteral("f099999"));
}

QTEST_MAIN(TestChooserManyFiles)
#include "tst_chooser_many_files.moc"
