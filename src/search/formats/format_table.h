#pragma once

#include "search/archives/archive_walk.h"
#include "search/documents/document_text.h"
#include "search/documents/text_screen.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <vector>

namespace platform {
class ChunkReader;
}

// The functions of the document and archive readers that the program calls, as the format module
// hands them out. The module is built with the readers and every format library they need; the
// program loads it at the first document, so that starting it maps none of those libraries.
//
// Both sides are built from the same headers by the same build. `version` is raised with any
// change to this table or to the layout of a type passed through it; a module whose `size` or
// `version` differs from the program's is not used.
namespace formats {

inline constexpr quint32 kTableVersion = 4;

struct FormatTable
{
    quint32 size;
    quint32 version;

    documents::Kind (*recognise)(const documents::Source &source, QByteArrayView head,
                                 documents::ZipPackage *package);
    documents::Outcome (*extractText)(const documents::Source &source, documents::Kind kind,
                                      const documents::TextOut &out, const std::atomic<bool> *stop,
                                      const documents::ProgressOut &progress);
    QByteArray (*extractorVersion)();
    // The needles documents::TextScreen(keyword) would look for.
    void (*screenNeedles)(QStringView keyword, std::vector<QByteArray> &needles);
    documents::TextScreen::Verdict (*screen)(const documents::TextScreen &screen,
                                             const documents::Source &source, documents::Kind kind,
                                             const std::function<bool()> &keepGoing,
                                             const documents::ZipPackage *opened);

    archives::WalkEnd (*walkFile)(platform::ChunkReader &file, const QByteArray &head,
                                  const QString &name, archives::Visitor &visitor);
    archives::WalkEnd (*walkBytes)(const QByteArray &bytes, const QString &name,
                                   archives::Visitor &visitor);
    qint64 (*memberReadInto)(archives::MemberStream &stream, QByteArray &buffer, qsizetype size);
    bool (*memberRewind)(archives::MemberStream &stream);
    QString (*copyMember)(const QString &archivePath, const QList<int> &chain);
    // The module's own thread registry (it is linked with its own copy of the platform code):
    // stops and joins the threads started inside it, as platform::endThreads does.
    bool (*endThreads)(int limitMs);
};

// The one symbol the module exports: returns its table (never null, valid while it is loaded).
inline constexpr char kTableSymbol[] = "quarlex_format_table";
using TableFunction = const FormatTable *();

} // namespace formats
