// Feeds arbitrary bytes as an archive file to the search, and copies out every member it reports
// as a hit. Nothing may crash, leak or read out of bounds (the sanitizers), every member named has
// its place, and every copy lands in a folder of its own directly inside the private folder,
// whatever the member's path holds. Any difference aborts.
//
// Input layout: byte 0 chooses the keyword (a few ASCII and Chinese ones); the rest is the file.

#include "platform/core/member_copies_folder.h"
#include "search/archives/archive_walk.h"
#include "search/archives/member_copy.h"
#include "search/core/file_search.h"
#include "search/formats/format_module.h"
#include "search/formats/linked/linked_readers.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace search;

namespace {

QTemporaryDir &scratch()
{
    static QTemporaryDir dir(QStringLiteral("/dev/shm/quarlex-fuzz-archives-XXXXXX"));
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool linked = (formats::setDefaultReaders(formats::linkedReaders()), true);
    Q_UNUSED(linked);
    if (size < 1)
        return 0;
    static const bool ready = [] {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(scratch().path()));
        return scratch().isValid();
    }();
    if (!ready)
        std::abort();
    static const QString keywords[] = {QString(), QStringLiteral("a"), QStringLiteral("PK"),
                                       QStringLiteral(u"关键字"), QStringLiteral(u"合同")};
    const QString &keyword = keywords[data[0] % 5];
    const QString path = scratch().filePath(QStringLiteral("input.zip"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char *>(data + 1), qint64(size - 1));
    }
    FileSearch search;
    const FileSearchResult result = search.search(path, keyword);
    if (result.outcome != FileSearchResult::Outcome::Archive)
        return 0;
    const QString folder = platform::memberCopiesFolder();
    int copies = 0;
    for (const MemberOutcome &member : result.members) {
        if (member.path.isEmpty() != member.chain.isEmpty() ||
            member.chain.size() > archives::kMaxDepth) {
            std::fprintf(stderr, "MISMATCH member place: [%s] chain of %d\n",
                         member.path.toUtf8().constData(), int(member.chain.size()));
            std::abort();
        }
        if (!member.hit || copies >= 3)
            continue;
        ++copies;
        const QString copy = archives::copyMember(path, member.chain);
        if (copy.isEmpty())
            continue;
        const QFileInfo info(copy);
        if (QFileInfo(info.path()).path() != folder || !info.isFile() || info.isSymLink()) {
            std::fprintf(stderr, "MISMATCH copy outside its folder: %s\n",
                         copy.toUtf8().constData());
            std::abort();
        }
    }
    platform::removeOldMemberCopies(-1);
    return 0;
}
