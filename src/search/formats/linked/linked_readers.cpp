#include "search/formats/linked/linked_readers.h"

#include "platform/core/program.h"
#include "search/archives/member_copy.h"
#include "search/documents/registry.h"

namespace formats {

namespace {

class LinkedReaders final : public Readers
{
public:
    QByteArray version() const override { return documents::extractorVersion(); }
    std::unique_ptr<documents::Document> openDocument(const documents::Source &source,
                                                      QByteArrayView head) const override
    {
        return documents::openDocument(source, head);
    }
    bool readsArchives() const override { return true; }
    archives::WalkEnd walkArchive(platform::ChunkReader &file, const QByteArray &head,
                                  const QString &name, archives::Visitor &visitor) const override
    {
        return archives::walkArchive(file, head, name, visitor);
    }
    archives::WalkEnd walkAttachments(std::unique_ptr<documents::Attachments> attachments,
                                      qint64 documentSize,
                                      archives::Visitor &visitor) const override
    {
        return archives::walkAttachments(std::move(attachments), documentSize, visitor);
    }
    QString copyMember(const QString &archivePath, const QList<int> &chain) const override
    {
        return archives::copyMember(archivePath, chain);
    }
    bool endThreads(int limitMs) const override { return platform::endThreads(limitMs); }
};

} // namespace

const Readers &linkedReaders()
{
    // Never destroyed: the end of the process still asks it to end its threads (endThreads)
    // after the static objects of the format module have gone.
    static const LinkedReaders *const readers = new LinkedReaders;
    return *readers;
}

} // namespace formats
