#include "search/formats/format_module.h"

#include "platform/core/program.h"
#include "search/formats/format_table.h"

#include <QFileInfo>
#include <QLibrary>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace formats {

namespace {

constexpr char kModuleFile[] = "libquarlex_formats.so";

std::once_flag g_once;
const FormatTable *g_table = nullptr; // written once, inside g_once
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

const FormatTable *load()
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
        const auto entry = reinterpret_cast<TableFunction *>(library.resolve(kTableSymbol));
        if (!entry) {
            failures << path + QStringLiteral(": no ") + QLatin1String(kTableSymbol);
            continue;
        }
        const FormatTable *table = entry();
        if (!table || table->size != sizeof(FormatTable) || table->version != kTableVersion) {
            failures << path + QStringLiteral(": from another build of the program");
            continue;
        }
        platform::addThreadRegistry(table->endThreads);
        return table;
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

const FormatTable *table()
{
    std::call_once(g_once, [] {
        g_table = load();
        g_state = g_table ? ModuleState::Loaded : ModuleState::Missing;
    });
    return g_table;
}

ModuleState moduleState()
{
    return g_state.load();
}

} // namespace formats
