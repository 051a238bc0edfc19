#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <memory>

namespace platform {

namespace detail {
struct RegistryEntry;
}

// The title every dialog of the program carries.
QString applicationTitle();

// The folder of the program's executable, without a trailing separator (except for the root).
QString programFolder();

// The folder that holds the last-location file: the program folder when the program may write
// there, otherwise (an installed program under /usr) the user's configuration folder.
// Reading and writing use the same rule, so the file is found where it was written.
QString lastLocationFolder(const QString &programFolder);

// Names the time zone file in TZ when TZ is not set (call first thing in main, before any thread
// starts). Without TZ, glibc looks at /etc/localtime again on every local time conversion, and
// libarchive converts the time of every ZIP entry it lists: a system call per entry per package
// opened. The zone stays the same one.
void pinTimeZone();

// Ends the process at once: no further event handler or unload procedure runs. Every thread of
// the process's thread registry (below) is asked to stop and waited for first, each costing at
// most the page or block it is in; then the process exits with status 0, its static destructors
// and library unloads running under no reader.
[[noreturn]] void endProgram();

// The threads a process starts beside its main one (document readers, workers that read ahead,
// member copies) are each started through an OwnedThread, which puts it in a registry of the
// process together with the way to ask it to stop. Its owner stops and joins it, or hands it to
// the registry, which joins it once it has ended; endThreads() stops and joins all of them. It
// runs before the process ends: in endProgram(), when the application object goes at the end of
// main() (the benchmarks' and tests' processes), and at exit() as a last resort, so that no
// static destructor or library unload runs under a thread that is still inside a library.
class OwnedThread
{
public:
    OwnedThread() = default;
    // Starts `body` on a thread named `name` (at most 15 bytes). `stop` asks the body to end
    // soon (sets the flag it polls, wakes it where it waits); it may be called from any thread,
    // also before the body has started, and takes no lock the body holds while calling here.
    OwnedThread(const char *name, std::function<void()> body, std::function<void()> stop);
    // As stopAndJoin().
    ~OwnedThread();
    OwnedThread(OwnedThread &&other) noexcept;
    OwnedThread &operator=(OwnedThread &&other) noexcept;
    OwnedThread(const OwnedThread &) = delete;
    OwnedThread &operator=(const OwnedThread &) = delete;

    // Asks the thread to stop and waits until it has ended.
    void stopAndJoin();
    // Asks the thread to stop and hands it to the registry, without waiting: it ends at its next
    // page or block, and endThreads() joins it at the latest.
    void stopAndRelease();

private:
    detail::RegistryEntry *m_entry = nullptr;
};

// Work a thread the registry does not own does on its behalf (a member copy on a thread of the
// report's): while the scope lasts, endThreads() counts it, can ask it to stop and waits for the
// scope to end.
class StoppableWork
{
public:
    StoppableWork();
    ~StoppableWork();
    StoppableWork(const StoppableWork &) = delete;
    StoppableWork &operator=(const StoppableWork &) = delete;

    bool stopRequested() const { return m_stop->load(std::memory_order_relaxed); }

private:
    std::shared_ptr<std::atomic<bool>> m_stop;
    detail::RegistryEntry *m_entry = nullptr;
};

// Asks every thread and every stoppable work of the registry to stop, waits for each to end and
// joins the threads. With `limitMs` >= 0 it waits that long at most: false when a thread still
// runs then (inside one long library call that polls no flag), true when none does. Threads
// started meanwhile are asked to stop at once. Callable again; later threads run as before.
bool endThreads(int limitMs = -1);

// Threads of the registry whose body has not returned yet, and stoppable works going on.
int runningThreads();

// A registry of another copy of this code (a module linked with its own) whose threads
// endThreads() ends too, with what is left of its limit.
void addThreadRegistry(bool (*endThreadsThere)(int limitMs));

} // namespace platform
