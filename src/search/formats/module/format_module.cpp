#include "platform/core/program.h"
#include "search/archives/member_copy.h"
#include "search/formats/format_table.h"

#include <omp.h>

#include <cstdlib>

// The format module's entry. Everything else in the module (the readers and the static copies of
// the libraries below them) stays hidden, so that it never answers for a symbol of the program.
namespace {

// Tesseract runs OpenMP teams inside every recognition. With a document reader on each core, the
// teams of two readers fight over the cores and recognition is several times slower than with
// one thread per reader. OMP_THREAD_LIMIT=1 would say so, but libgomp reads it once, when it is
// loaded, and Qt Core brings libgomp in before main() (through libb2). So each thread that reads
// documents makes every parallel region it starts run on itself alone: an OpenMP setting of the
// calling thread, which later threads do not inherit. A limit or team size the user set is kept.
void oneOpenMpThreadPerReader()
{
    static const bool userChose = std::getenv("OMP_THREAD_LIMIT") || std::getenv("OMP_NUM_THREADS");
    thread_local bool done = false;
    if (userChose || done)
        return;
    omp_set_max_active_levels(0);
    done = true;
}

const formats::FormatTable kTable = {
    sizeof(formats::FormatTable),
    formats::kTableVersion,
    &documents::recognise,
    [](const documents::Source &source, documents::Kind kind, const documents::TextOut &out,
       const std::atomic<bool> *stop, const documents::ProgressOut &progress) {
        oneOpenMpThreadPerReader();
        return documents::extractText(source, kind, out, stop, progress);
    },
    &documents::extractorVersion,
    [](QStringView keyword, std::vector<QByteArray> &needles) {
        needles = documents::TextScreen(keyword).needles();
    },
    [](const documents::TextScreen &screen, const documents::Source &source, documents::Kind kind,
       const std::function<bool()> &keepGoing, const documents::ZipPackage *opened) {
        return screen.screen(source, kind, keepGoing, opened);
    },
    [](platform::ChunkReader &file, const QByteArray &head, const QString &name,
       archives::Visitor &visitor) { return archives::walkArchive(file, head, name, visitor); },
    [](const QByteArray &bytes, const QString &name, archives::Visitor &visitor) {
        return archives::walkArchive(bytes, name, visitor);
    },
    [](archives::MemberStream &stream, QByteArray &buffer, qsizetype size) {
        return stream.readInto(buffer, size);
    },
    [](archives::MemberStream &stream) { return stream.rewind(); },
    &archives::copyMember,
    [](int limitMs) { return platform::endThreads(limitMs); },
};

} // namespace

extern "C" __attribute__((visibility("default"))) const formats::FormatTable *quarlex_format_table()
{
    return &kTable;
}
