// How long the file list takes to read a folder of 100,000 files and to page through it.
#include "platform/widgets/file_list.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

class BenchFileList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QByteArray base = QFile::encodeName(m_dir.path()) + "/";
        for (int i = 0; i < 100000; ++i) {
            const QByteArray name = base + (i % 2 ? "f" : "F") + QByteArray::number(i) + ".txt";
            const int fd = ::open(name.constData(), O_WRONLY | O_CREAT, 0600);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
    }

    void listAllFiles()
    {
        platform::FileList list;
        QBENCHMARK
        {
            list.setPath(m_dir.path());
        }
        QCOMPARE(list.entryCount(), 100000);
    }

    void listWithAPattern()
    {
        platform::FileList list;
        list.setPath(m_dir.path());
        QBENCHMARK
        {
            list.setPattern(QStringLiteral("*1.txt;*3.TXT"));
        }
        QCOMPARE(list.entryCount(), 20000);
    }

    void selectAllAndPage()
    {
        platform::FileList list;
        list.setPath(m_dir.path());
        QBENCHMARK
        {
            list.selectAll();
            list.selectOnly(50000);
        }
        QVERIFY(list.isEntrySelected(50000));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(BenchFileList)
#include "bench_file_list.moc"
