#include "search/archives/archive_walk.h"

#include "platform/core/chunk_reader.h"
#include "search/archives/archive_budget.h"
#include "search/archives/archive_level.h"
#include "search/archives/attachment_level.h"
#include "search/archives/member_stream.h"
#include "search/archives/read_ahead.h"
#include "search/documents/registry.h"
#include "search/documents/signatures.h"

#include <algorithm>

namespace archives {

namespace {

// One walk: the levels of nesting as they are entered, the memory held for members read whole
// and the archive's budget, which all levels share.
class Walk
{
public:
    Walk(Visitor &visitor, ArchiveBudget &budget) : m_visitor(visitor), m_budget(budget) {}

    // Walks the outermost level; an archive whose budget ran out is named damaged as a whole,
    // after what was found in it before.
    WalkEnd walk(MemberReader &level);
    // The attachments of a document as the level below `place`.
    void attachments(std::unique_ptr<documents::Attachments> attachments, const MemberPlace &place,
                     int depth);

private:
    WalkEnd run(MemberReader &level, const MemberPlace &place, int depth);
    void member(MemberReader &level, const MemberPlace &place, int depth);
    void nested(MemberReader &level, const MemberPlace &place, int depth, MemberStream &bytes);
    bool readWhole(MemberStream &bytes, QByteArray &whole);
    // Hands a failure to the visitor, unless the budget ran out: the members the levels give up
    // then are not damaged, the archive as a whole is.
    void failed(const MemberPlace &place, Failure why);

    Visitor &m_visitor;
    ArchiveBudget &m_budget;
    qint64 m_held = 0;
    bool m_stopped = false;
};

WalkEnd Walk::walk(MemberReader &level)
{
    const WalkEnd end = run(level, MemberPlace(), 1);
    if (end == WalkEnd::Done && m_budget.spent())
        m_visitor.failed(MemberPlace(), Failure::Damaged);
    return end;
}

void Walk::failed(const MemberPlace &place, Failure why)
{
    if (!m_budget.spent())
        m_visitor.failed(place, why);
}

WalkEnd Walk::run(MemberReader &level, const MemberPlace &place, int depth)
{
    for (;;) {
        const Level::Next next = level.next();
        if (level.stopped())
            m_stopped = true;
        if (m_stopped)
            return WalkEnd::Stopped;
        if (m_budget.spent())
            return WalkEnd::Done;
        if (next == Level::Next::End)
            break;
        if (next == Level::Next::Failed) {
            failed(place, level.failure());
            break;
        }
        MemberPlace inner;
        inner.path =
            place.path.isEmpty() ? level.memberPath() : place.path + u'/' + level.memberPath();
        inner.chain = place.chain;
        inner.chain.append(level.index());
        if (level.memberEncrypted()) {
            failed(inner, Failure::Encrypted);
            continue;
        }
        member(level, inner, depth);
        if (m_stopped)
            return WalkEnd::Stopped;
        if (m_budget.spent())
            return WalkEnd::Done;
    }
    return m_stopped ? WalkEnd::Stopped : WalkEnd::Done;
}

// Reads the rest of `bytes` onto `whole` (which holds its head), within the memory all levels
// share. False when the member is larger than that.
bool Walk::readWhole(MemberStream &bytes, QByteArray &whole)
{
    const qint64 room = kMemoryCap - m_held;
    if (bytes.size() > room)
        return false;
    if (bytes.size() > 0)
        whole.reserve(qsizetype(bytes.size()));
    for (;;) {
        if (whole.size() > room)
            return false;
        if (bytes.readInto(whole, 256 * 1024) <= 0)
            return true;
    }
}

void Walk::member(MemberReader &level, const MemberPlace &place, int depth)
{
    QByteArray head;
    head.reserve(kHeadSize);
    char block[kHeadSize];
    while (head.size() < kHeadSize) {
        const qint64 got = level.readData(block, kHeadSize - head.size());
        if (got <= 0)
            break;
        head.append(block, qsizetype(got));
    }
    if (level.stopped()) {
        m_stopped = true;
        return;
    }
    if (level.memberFailure() != Failure::None) {
        failed(place, level.memberFailure());
        return;
    }
    const qint64 size = level.memberSize();
    if (needsWholeBytes(head)) {
        MemberStream rest(level, QByteArray(), false);
        QByteArray whole = head;
        const bool fits = readWhole(rest, whole);
        if (level.stopped()) {
            m_stopped = true;
            return;
        }
        if (m_budget.spent())
            return;
        if (rest.failure() != Failure::None || !fits) {
            failed(place, fits ? rest.failure() : Failure::Damaged);
            return;
        }
        const qsizetype held = whole.size();
        m_held += held;
        const documents::Source source = documents::Source::fromBytes(whole, place.path);
        if (std::unique_ptr<documents::Document> document = documents::openDocument(source, head)) {
            // A document's own text first, then the files it carries, one level down.
            std::unique_ptr<documents::Attachments> carried = document->takeAttachments();
            m_visitor.document(place, std::move(document));
            if (carried && !m_stopped && !m_budget.spent())
                attachments(std::move(carried), place, depth);
        } else {
            MemberStream bytes(std::move(whole));
            if (looksLikeArchive(head))
                nested(level, place, depth, bytes);
            else
                m_visitor.text(place, bytes);
        }
        m_held -= held;
        return;
    }
    if (looksLikeArchive(head)) {
        MemberStream bytes(level, std::move(head), false);
        nested(level, place, depth, bytes);
        return;
    }
    // Bytes-first searching may have to start again from the first byte; a member small enough
    // is kept for that as it is read.
    MemberStream bytes(level, std::move(head), size >= 0 && size <= MemberStream::kReplayCap);
    m_visitor.text(place, bytes);
    if (level.stopped())
        m_stopped = true;
    else if (bytes.failure() != Failure::None)
        failed(place, bytes.failure());
}

void Walk::attachments(std::unique_ptr<documents::Attachments> carried, const MemberPlace &place,
                       int depth)
{
    if (depth >= kMaxDepth) {
        failed(place, Failure::Damaged);
        return;
    }
    AttachmentLevel level(std::move(carried), kMemoryCap - m_held,
                          [this] { return m_visitor.keepGoing(); });
    level.setBudget(&m_budget);
    run(level, place, depth + 1);
}

void Walk::nested(MemberReader &level, const MemberPlace &place, int depth, MemberStream &bytes)
{
    if (depth >= kMaxDepth) {
        failed(place, Failure::Damaged);
        return;
    }
    const QString name = place.path.mid(place.path.lastIndexOf(u'/') + 1);
    const auto keepGoing = [this] { return m_visitor.keepGoing(); };
    std::unique_ptr<Level> inner;
    if (bytes.heldWhole())
        inner = Level::inMemory(bytes.takeHeld(), name, keepGoing);
    else
        inner = std::make_unique<Level>(
            QByteArray(),
            [&bytes](QByteArray &buffer, qsizetype size) { return bytes.readInto(buffer, size); },
            name, keepGoing);
    inner->setBudget(&m_budget);
    run(*inner, place, depth + 1);
    // A damage found in the outer member while the inner archive read it is named by the inner
    // archive already.
    if (level.stopped())
        m_stopped = true;
}

} // namespace

MemberStream::MemberStream(QByteArray bytes) : m_held(std::move(bytes)), m_replay(true)
{
    m_size = m_held.size();
    m_ended = true; // nothing more than what is held
}

MemberStream::MemberStream(MemberReader &level, QByteArray head, bool replay)
    : m_level(&level), m_held(std::move(head)), m_replay(replay), m_size(level.memberSize())
{}

MemberStream::~MemberStream() = default;

qint64 MemberStream::readInto(QByteArray &buffer, qsizetype size)
{
    if (size <= 0)
        return 0;
    if (m_at < m_held.size()) {
        const qsizetype n = std::min(size, m_held.size() - m_at);
        buffer.append(m_held.constData() + m_at, n);
        m_at += n;
        if (!m_replay && m_at == m_held.size()) {
            m_held = QByteArray();
            m_at = 0;
        }
        return n;
    }
    if (m_ended || !m_level)
        return 0;
    const qsizetype old = buffer.size();
    buffer.resize(old + size);
    qsizetype filled = 0;
    // Blocks from libarchive can be short; read on until `size` or the end, so that the caller's
    // chunks keep their size.
    while (filled < size) {
        const qint64 got = m_level->readData(buffer.data() + old + filled, size - filled);
        if (got <= 0) {
            if (got < 0)
                m_failure = m_level->stopped() ? Failure::None : m_level->memberFailure();
            m_ended = true;
            break;
        }
        filled += qsizetype(got);
    }
    buffer.resize(old + filled);
    if (m_replay) {
        if (m_held.size() + filled <= kReplayCap) {
            m_held.append(buffer.constData() + old, filled);
            m_at = m_held.size();
        } else {
            m_replay = false;
            m_held = QByteArray();
            m_at = 0;
        }
    }
    return filled;
}

bool MemberStream::rewind()
{
    if (!m_replay)
        return false;
    m_at = 0;
    return true;
}

WalkEnd walkArchive(platform::ChunkReader &file, const QByteArray &head, const QString &name,
                    Visitor &visitor)
{
    // Declared first: the thread that inflates ahead charges it until the thread is joined.
    ArchiveBudget budget(file.size());
    // The outermost archive is inflated ahead of the search, on a thread of its own.
    ReadAhead level(
        [&](std::function<bool()> wanted) {
            std::unique_ptr<Level> outer = Level::inFile(file, head, name, std::move(wanted));
            outer->setBudget(&budget);
            return outer;
        },
        [&visitor] { return visitor.keepGoing(); });
    return Walk(visitor, budget).walk(level);
}

WalkEnd walkAttachments(std::unique_ptr<documents::Attachments> attachments, qint64 documentSize,
                        Visitor &visitor)
{
    ArchiveBudget budget(documentSize);
    AttachmentLevel level(std::move(attachments), kMemoryCap,
                          [&visitor] { return visitor.keepGoing(); });
    level.setBudget(&budget);
    return Walk(visitor, budget).walk(level);
}

WalkEnd walkArchive(const QByteArray &bytes, const QString &name, Visitor &visitor)
{
    ArchiveBudget budget(bytes.size());
    const std::unique_ptr<Level> level =
        Level::inMemory(bytes, name, [&visitor] { return visitor.keepGoing(); });
    level->setBudget(&budget);
    return Walk(visitor, budget).walk(*level);
}

} // namespace archives
