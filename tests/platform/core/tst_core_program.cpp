#include "platform/core/program.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// A document reader's stand-in: pages of 10 ms that nothing interrupts, its stop flag polled
// between two, many more pages than a test waits for.
struct Reader
{
    std::atomic<bool> stop{false};
    std::atomic<bool> started{false};
    std::atomic<bool> done{false};
    std::atomic<int> pages{0};

    void read()
    {
        started = true;
        while (!stop.load() && pages.load() < 100000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ++pages;
        }
        done = true;
    }
    bool waitStarted() const
    {
        return QTest::qWaitFor([this] { return started.load() && pages.load() > 0; }, 30000);
    }
};

platform::OwnedThread readerThread(const std::shared_ptr<Reader> &reader)
{
    return platform::OwnedThread(
        "test reader", [reader] { reader->read(); }, [reader] { reader->stop = true; });
}

enum class Owner {
    Releases,
    StaysOnAStackNeverUnwound,
    IsAThreadOfItsOwn,
    StartsAnotherWhenStopped
};

} // namespace

Q_DECLARE_METATYPE(Owner)

class TestProgram : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void lastLocationStaysBesideAWritableProgram();
    void lastLocationMovesToTheConfigFolderWhenTheProgramFolderIsReadOnly();
    void programFolderIsTheExecutablesFolder();
    void endOfTheProcessStopsAndJoinsEveryThread_data();
    void endOfTheProcessStopsAndJoinsEveryThread();
    void endGivesUpAtItsLimitOnAThreadThatPollsNothing();
};

void TestProgram::lastLocationStaysBesideAWritableProgram()
{
    QTemporaryDir dir;
    const QString folder = QDir::toNativeSeparators(dir.path());
    QCOMPARE(platform::lastLocationFolder(folder), folder);
}

void TestProgram::lastLocationMovesToTheConfigFolderWhenTheProgramFolderIsReadOnly()
{
    // /proc refuses new files even to root, as /usr/bin does to a user.
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QVERIFY(!config.isEmpty());
    QCOMPARE(platform::lastLocationFolder(QStringLiteral("/proc")),
             QDir::toNativeSeparators(config));
    QVERIFY(QDir(config).exists());
    QCOMPARE(platform::lastLocationFolder(QStringLiteral("/no/such/folder")),
             QDir::toNativeSeparators(config));
}

void TestProgram::programFolderIsTheExecutablesFolder()
{
    const QString folder = platform::programFolder();
    QVERIFY(!folder.endsWith(QLatin1Char('/')));
    QVERIFY(QFileInfo::exists(folder + QLatin1Char('/') +
                              QFileInfo(QCoreApplication::applicationFilePath()).fileName()));
    QCOMPARE(platform::applicationTitle(), QStringLiteral("Quarlex"));
}

void TestProgram::endOfTheProcessStopsAndJoinsEveryThread_data()
{
    QTest::addColumn<Owner>("owner");
    QTest::newRow("a thread its owner let go of in the middle of a page") << Owner::Releases;
    QTest::newRow("a thread whose owner is held on a stack that is never unwound")
        << Owner::StaysOnAStackNeverUnwound;
    QTest::newRow("work done on a thread the registry does not own") << Owner::IsAThreadOfItsOwn;
    QTest::newRow("a thread started by another one as that one is stopped")
        << Owner::StartsAnotherWhenStopped;
}

// Once endThreads() has returned, every reader has come to the end of its body (and would have
// gone on for a thousand seconds unless stopped): nothing is left inside a library for the static
// destructors to pull the ground from under.
void TestProgram::endOfTheProcessStopsAndJoinsEveryThread()
{
    QFETCH(Owner, owner);
    const auto reader = std::make_shared<Reader>();
    const auto second = std::make_shared<Reader>();
    std::unique_ptr<platform::OwnedThread> held;
    std::thread own;
    switch (owner) {
    case Owner::Releases: {
        platform::OwnedThread thread = readerThread(reader);
        QVERIFY(reader->waitStarted());
        thread.stopAndRelease();
        break;
    }
    case Owner::StaysOnAStackNeverUnwound:
        held = std::make_unique<platform::OwnedThread>(readerThread(reader));
        QVERIFY(reader->waitStarted());
        break;
    case Owner::IsAThreadOfItsOwn:
        own = std::thread([reader] {
            const platform::StoppableWork work;
            reader->started = true;
            while (!work.stopRequested()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                ++reader->pages;
            }
            reader->done = true;
        });
        QVERIFY(reader->waitStarted());
        break;
    case Owner::StartsAnotherWhenStopped: {
        platform::OwnedThread thread(
            "test starter",
            [reader, second] {
                reader->read();
                // As a worker that starts a document's text stream just as it is stopped.
                platform::OwnedThread late = readerThread(second);
                late.stopAndRelease();
            },
            [reader] { reader->stop = true; });
        QVERIFY(reader->waitStarted());
        thread.stopAndRelease();
        break;
    }
    }

    QVERIFY(platform::endThreads());
    QVERIFY(reader->done);
    QVERIFY(reader->pages < 100000);
    if (owner == Owner::StartsAnotherWhenStopped)
        QVERIFY(second->done);
    QCOMPARE(platform::runningThreads(), 0);
    // The owners that are still there find their threads joined.
    held.reset();
    if (own.joinable())
        own.join();
}

void TestProgram::endGivesUpAtItsLimitOnAThreadThatPollsNothing()
{
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    std::atomic<bool> done{false};
    {
        // One long library call that polls no flag, as a recognition engine on one big picture.
        platform::OwnedThread thread(
            "test stuck",
            [&] {
                std::unique_lock lock(mutex);
                released.wait(lock, [&] { return release; });
                done = true;
            },
            [] {});
        QVERIFY(!platform::endThreads(50));
        QVERIFY(!done);
        QCOMPARE(platform::runningThreads(), 1);
        {
            const std::lock_guard lock(mutex);
            release = true;
        }
        released.notify_all();
        QVERIFY(platform::endThreads(30000));
        QVERIFY(done);
        QCOMPARE(platform::runningThreads(), 0);
    }
}

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_core_program.moc"
