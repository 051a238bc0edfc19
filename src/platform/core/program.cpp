#include "platform/core/program.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <vector>

namespace platform {

QString applicationTitle()
{
    return QStringLiteral("Quarlex");
}

QString programFolder()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

QString lastLocationFolder(const QString &programFolder)
{
    // Permission bits do not tell (root, read-only mounts, ACLs): try to create a file there.
    if (QFileInfo(programFolder).isDir()) {
        QTemporaryFile probe(programFolder + QStringLiteral("/.quarlex-probe-XXXXXX"));
        if (probe.open())
            return programFolder;
    }
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    return QDir::toNativeSeparators(config);
}

void pinTimeZone()
{
    if (qEnvironmentVariableIsEmpty("TZ"))
        qputenv("TZ", ":/etc/localtime");
}

namespace detail {

// One thread of the registry, or one stoppable work (no thread). Its fields are read and written
// under the registry's mutex.
struct RegistryEntry
{
    std::thread thread;
    std::function<void()> stop;
    bool running = true;   // the body has not returned, the work's scope not ended
    bool released = false; // the owner has let go: the registry joins and removes it
    bool taken = false;    // someone has taken `thread` to join it
    bool joined = false;
};

} // namespace detail

namespace {

using detail::RegistryEntry;
using Clock = std::chrono::steady_clock;

// How long the program's end waits for its threads: stopping costs each at most the page or
// block it is in, which takes well under this even on a slow machine.
constexpr int kEndProgramLimitMs = 5000;

struct Registry
{
    std::mutex mutex;
    std::condition_variable changed;
    std::list<std::unique_ptr<RegistryEntry>> entries;
    int running = 0;
    int ending = 0; // endThreads() calls going on: threads started meanwhile are stopped at once
    std::vector<bool (*)(int)> others;

    void remove(const RegistryEntry *entry)
    {
        entries.remove_if([entry](const auto &e) { return e.get() == entry; });
    }

    // Joins the released threads whose body has returned (they are at their very end), so that
    // ended threads do not pile up between two endThreads() calls.
    void reap(std::unique_lock<std::mutex> &lock)
    {
        std::vector<RegistryEntry *> ended;
        for (const auto &entry : entries) {
            if (entry->released && !entry->running && !entry->taken) {
                entry->taken = true;
                ended.push_back(entry.get());
            }
        }
        for (RegistryEntry *entry : ended) {
            std::thread thread = std::move(entry->thread);
            lock.unlock();
            if (thread.joinable())
                thread.join();
            lock.lock();
            remove(entry);
        }
        if (!ended.empty())
            changed.notify_all();
    }
};

void endThreadsAtTheEnd()
{
    endThreads();
}

Registry &registry()
{
    // Never destroyed: threads use it until their very end. The application object's end
    // (tests, benchmarks) and exit() join what is left, before the static destructors and the
    // library unloads that come after them.
    static Registry *const instance = [] {
        auto *created = new Registry;
        qAddPostRoutine(&endThreadsAtTheEnd);
        std::atexit(&endThreadsAtTheEnd);
        return created;
    }();
    return *instance;
}

} // namespace

OwnedThread::OwnedThread(const char *name, std::function<void()> body, std::function<void()> stop)
{
    Registry &r = registry();
    std::unique_lock lock(r.mutex);
    r.reap(lock);
    auto owned = std::make_unique<RegistryEntry>();
    RegistryEntry *entry = owned.get();
    entry->stop = std::move(stop);
    r.entries.push_back(std::move(owned));
    ++r.running;
    entry->thread = std::thread([entry, &r, name, body = std::move(body)]() mutable {
        ::pthread_setname_np(::pthread_self(), name);
        body();
        body = nullptr; // what it holds goes before the thread counts as ended
        {
            const std::lock_guard ended(r.mutex);
            entry->running = false;
            --r.running;
        }
        r.changed.notify_all();
    });
    if (r.ending > 0)
        entry->stop();
    m_entry = entry;
}

OwnedThread::~OwnedThread()
{
    stopAndJoin();
}

OwnedThread::OwnedThread(OwnedThread &&other) noexcept
    : m_entry(std::exchange(other.m_entry, nullptr))
{}

OwnedThread &OwnedThread::operator=(OwnedThread &&other) noexcept
{
    if (this != &other) {
        stopAndJoin();
        m_entry = std::exchange(other.m_entry, nullptr);
    }
    return *this;
}

void OwnedThread::stopAndJoin()
{
    if (!m_entry)
        return;
    RegistryEntry *entry = std::exchange(m_entry, nullptr);
    Registry &r = registry();
    std::unique_lock lock(r.mutex);
    if (entry->running)
        entry->stop();
    if (!entry->taken) {
        entry->taken = true;
        std::thread thread = std::move(entry->thread);
        lock.unlock();
        thread.join();
        lock.lock();
    } else {
        // endThreads() is joining it.
        r.changed.wait(lock, [entry] { return entry->joined; });
    }
    r.remove(entry);
    r.changed.notify_all();
}

void OwnedThread::stopAndRelease()
{
    if (!m_entry)
        return;
    RegistryEntry *entry = std::exchange(m_entry, nullptr);
    Registry &r = registry();
    std::unique_lock lock(r.mutex);
    if (entry->running)
        entry->stop();
    entry->released = true;
    if (entry->joined)
        r.remove(entry);
    r.reap(lock);
}

StoppableWork::StoppableWork() : m_stop(std::make_shared<std::atomic<bool>>(false))
{
    Registry &r = registry();
    const std::lock_guard lock(r.mutex);
    auto owned = std::make_unique<RegistryEntry>();
    owned->stop = [stop = m_stop] { stop->store(true); };
    owned->taken = owned->joined = true; // no thread to join
    m_entry = owned.get();
    r.entries.push_back(std::move(owned));
    ++r.running;
    if (r.ending > 0)
        m_stop->store(true);
}

StoppableWork::~StoppableWork()
{
    Registry &r = registry();
    {
        const std::lock_guard lock(r.mutex);
        --r.running;
        r.remove(m_entry);
    }
    r.changed.notify_all();
}

bool endThreads(int limitMs)
{
    const Clock::time_point deadline =
        limitMs >= 0 ? Clock::now() + std::chrono::milliseconds(limitMs) : Clock::time_point::max();
    const auto left = [&] {
        if (limitMs < 0)
            return -1;
        return int(std::max<qint64>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                   .count()));
    };
    Registry &r = registry();
    std::unique_lock lock(r.mutex);
    ++r.ending;
    for (const auto &entry : r.entries) {
        if (entry->running)
            entry->stop();
    }
    const std::vector<bool (*)(int)> others = r.others;
    lock.unlock();
    bool ended = true;
    for (bool (*endThere)(int) : others)
        ended = endThere(left()) && ended;
    lock.lock();
    const auto noneRunning = [&r] { return r.running == 0; };
    if (limitMs < 0)
        r.changed.wait(lock, noneRunning);
    else
        ended = r.changed.wait_until(lock, deadline, noneRunning) && ended;
    // Every thread whose body has returned is joined (its last steps, the destructors of its
    // thread-local objects, run before this returns); its owner finds it joined.
    std::vector<RegistryEntry *> taken;
    for (const auto &entry : r.entries) {
        if (!entry->running && !entry->taken) {
            entry->taken = true;
            taken.push_back(entry.get());
        }
    }
    for (RegistryEntry *entry : taken) {
        std::thread thread = std::move(entry->thread);
        lock.unlock();
        if (thread.joinable())
            thread.join();
        lock.lock();
        entry->joined = true;
        if (entry->released)
            r.remove(entry);
        r.changed.notify_all();
    }
    // Those their owners are joining right now.
    const auto noneJoining = [&r] {
        return std::none_of(r.entries.begin(), r.entries.end(),
                            [](const auto &e) { return e->taken && !e->joined; });
    };
    if (limitMs < 0)
        r.changed.wait(lock, noneJoining);
    else
        ended = r.changed.wait_until(lock, deadline, noneJoining) && ended;
    --r.ending;
    lock.unlock();
    r.changed.notify_all();
    return ended;
}

int runningThreads()
{
    Registry &r = registry();
    const std::lock_guard lock(r.mutex);
    return r.running;
}

void addThreadRegistry(bool (*endThreadsThere)(int limitMs))
{
    Registry &r = registry();
    const std::lock_guard lock(r.mutex);
    if (std::find(r.others.begin(), r.others.end(), endThreadsThere) == r.others.end())
        r.others.push_back(endThreadsThere);
}

void endProgram()
{
    // The program ends from wherever "X" was clicked, also in the middle of a search further
    // down the stack: nothing there is unwound. Its threads are stopped and joined first, so
    // that exit() runs the static destructors and unloads the format module under none of them.
    const bool ended = endThreads(kEndProgramLimitMs);
    std::fflush(nullptr);
    if (ended)
        std::exit(0);
    // A thread still inside one long library call that polls no stop flag (a recognition engine
    // on one big picture, an open() on a hung network mount): exit() would run destructors under
    // it. The process ends without running any, as the user asked for it to end now.
    std::_Exit(0);
}

} // namespace platform
