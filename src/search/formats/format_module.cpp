#include "search/formats/format_module.h"

#include "platform/core/program.h"

#include <QFileInfo>
#include <QLibrary>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace formats {

namespace {

constexpr char kModuleFile[] = "libquarlex_formats.so";

std::once_flag g_once;
const Readers *g_readers = nullptr; // written once, inside g_once
std::atomic<ModuleState> g_state{ModuleState::NotLoaded};

// The executable's folder, from the kernel's link to it: callable from any thread, with or
// without an application object.
QString programFolder()
{
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(u'/', 0, -2);
}

void report(const QString &why)
{
    std::fprintf(stderr, "quarlex: no document reader: %s\n", qUtf8Printable(why));
}

const Readers *load()
{
    QStringList failures;
    for (const QString &path : moduleCandidates()) {
        if (!QFileInfo::exists(path))
            continue;
        // Never unloaded while the program runs: the readers are used until it ends. Its threads
        // are stopped and joined with the program's (platform::endThreads, which the program's
        // end and exit() run) before exit() unloads it.
        QLibrary library(path);
        if (!library.load()) {
            failures << library.errorString();
            continue;
        }
        const auto entry = reinterpret_cast<ReadersFunction *>(library.resolve(kReadersSymbol));
        if (!entry) {
            failures << path + QStringLiteral(": no ") + QLatin1String(kReadersSymbol);
            continue;
        }
        if (const Readers *readers = entry(kReadersVersion))
            return readers;
        failures << path + QStringLiteral(": from another build of the program");
    }
    if (failures.isEmpty())
        failures << QStringLiteral("%1 not found in %2")
                        .arg(QLatin1String(kModuleFile), moduleCandidates().join(u", "));
    report(failures.join(u"; "));
    return nullptr;
}

} // namespace

QStringList moduleCandidates()
{
    const QString chosen = qEnvironmentVariable("QUARLEX_FORMAT_MODULE");
    if (!chosen.isEmpty())
        return {chosen};
    const QString folder = programFolder();
    const QString file = QLatin1String(kModuleFile);
    return {folder + u'/' + file, folder + QStringLiteral("/../lib/quarlex/") + file};
}

namespace {

const Readers *loaded()
{
    std::call_once(g_once, [] {
        g_readers = load();
        g_state = g_readers ? ModuleState::Loaded : ModuleState::Missing;
        // The module is linked with its own copy of the platform code, and so has its own
        // registry of threads: the program's end stops and joins those too.
        if (g_readers)
            platform::addThreadRegistry([](int limitMs) { return g_readers->endThreads(limitMs); });
    });
    return g_readers;
}

// The module's readers, loaded at the first question that needs them. Without a usable module
// every document is a file no reader knows and every archive the bytes it holds.
class ModuleReaders final : public Readers
{
public:
    QByteArray version() const override
    {
        // Matches no kept text: whatever an earlier run kept is not used without its readers.
        const Readers *readers = loaded();
        return readers ? readers->version() : QByteArrayLiteral("no-readers");
    }
    std::unique_ptr<documents::Document> openDocument(const documents::Source &source,
                                                      QByteArrayView head) const override
    {
        const Readers *readers = loaded();
        return readers ? readers->openDocument(source, head) : nullptr;
    }
    bool readsArchives() const override { return loaded() != nullptr; }
    archives::WalkEnd walkArchive(platform::ChunkReader &file, const QByteArray &head,
                                  const QString &name, archives::Visitor &visitor) const override
    {
        const Readers *readers = loaded();
        return readers ? readers->walkArchive(file, head, name, visitor) : archives::WalkEnd::Done;
    }
    archives::WalkEnd walkAttachments(std::unique_ptr<documents::Attachments> attachments,
                                      qint64 documentSize,
                                      archives::Visitor &visitor) const override
    {
        // Attachments come from a document the module made: it is loaded.
        return loaded()->walkAttachments(std::move(attachments), documentSize, visitor);
    }
    QString copyMember(const QString &archivePath, const QList<int> &chain) const override
    {
        const Readers *readers = loaded();
        return readers ? readers->copyMember(archivePath, chain) : QString();
    }
    bool endThreads(int limitMs) const override
    {
        // A module never loaded started no thread: ending them must not load it.
        return g_state.load() != ModuleState::Loaded || g_readers->endThreads(limitMs);
    }
};

} // namespace

const Readers &moduleReaders()
{
    // Never destroyed, as the module's own readers: threads may ask it until the process ends.
    static const ModuleReaders *const readers = new ModuleReaders;
    return *readers;
}

namespace {
std::atomic<const Readers *> g_default{nullptr};
}

const Readers &defaultReaders()
{
    const Readers *chosen = g_default.load(std::memory_order_acquire);
    return chosen ? *chosen : moduleReaders();
}

void setDefaultReaders(const Readers &readers)
{
    g_default.store(&readers, std::memory_order_release);
}

ModuleState moduleState()
{
    return g_state.load();
}

} // namespace formats
