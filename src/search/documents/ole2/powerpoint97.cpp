#include "search/documents/ole2/powerpoint97.h"

#include "search/documents/ole2/compound_file.h"
#include "search/documents/text_sink.h"

#include <QHash>
#include <QList>
#include <QSet>

namespace documents {

namespace {

// Record types ([MS-PPT] 2.13.24).
enum : quint16 {
    kDocument = 0x03E8,
    kSlide = 0x03EE,
    kSlideAtom = 0x03EF,
    kNotes = 0x03F0,
    kSlidePersistAtom = 0x03F3,
    kMainMaster = 0x03F8,
    kOutlineTextRefAtom = 0x0F9E,
    kTextHeaderAtom = 0x0F9F,
    kTextCharsAtom = 0x0FA0,
    kTextBytesAtom = 0x0FA8,
    kSlideListWithText = 0x0FF0,
    kUserEditAtom = 0x0FF5,
    kCurrentUserAtom = 0x0FF6,
    kPersistDirectoryAtom = 0x1772,
    kCryptSession10 = 0x2F14,
};

constexpr quint32 kEncryptedHeaderToken = 0xF3D1C4DF;
constexpr int kMaxDepth = 32;

// A record header ([MS-PPT] 2.3.1): version and instance, type, size of the data.
struct Record
{
    quint16 version = 0;
    quint16 instance = 0;
    quint16 type = 0;
    qint64 data = 0; // offset of the data in the stream
    qint64 size = 0;
    bool container() const { return version == 0xF; }
    qint64 end() const { return data + size; }
};

// The record at `at`, when it ends by `limit`.
bool recordAt(QByteArrayView stream, qint64 at, qint64 limit, Record &record)
{
    if (at < 0 || at + 8 > limit || !fits(stream, at, 8))
        return false;
    const quint16 versionInstance = u16At(stream, at);
    record.version = versionInstance & 0x0F;
    record.instance = versionInstance >> 4;
    record.type = u16At(stream, at + 2);
    record.data = at + 8;
    record.size = u32At(stream, at + 4);
    return record.end() <= limit && fits(stream, record.data, record.size);
}

// The text of a TextCharsAtom (UTF-16LE) or TextBytesAtom (the low bytes of UTF-16 characters),
// a line per paragraph.
QString textOf(QByteArrayView stream, const Record &record)
{
    QString text;
    const bool wide = record.type == kTextCharsAtom;
    const qint64 count = wide ? record.size / 2 : record.size;
    text.reserve(count + 1);
    for (qint64 i = 0; i < count; ++i) {
        const char16_t c =
            wide ? u16At(stream, record.data + 2 * i) : u8At(stream, record.data + i);
        if (c == 0x0D || c == 0x0B) // paragraph end, line break
            text.append(u'\n');
        else if (c >= 0x20 || c == 0x09)
            text.append(QChar(c));
    }
    text.append(u'\n');
    return text;
}

bool isText(const Record &record)
{
    return record.type == kTextCharsAtom || record.type == kTextBytesAtom;
}

class PresentationReader
{
public:
    PresentationReader(QByteArrayView stream, TextSink &sink) : m_stream(stream), m_sink(sink) {}

    // Through the persist directory. Returns false when it cannot be followed (then nothing was
    // written); `outcome` is then unset.
    bool readInOrder(QByteArrayView currentUser, Outcome &outcome)
    {
        Record user;
        if (!recordAt(currentUser, 0, currentUser.size(), user) || user.type != kCurrentUserAtom ||
            user.size < 12)
            return false;
        if (u32At(currentUser, user.data + 4) == kEncryptedHeaderToken) {
            outcome = Outcome::Encrypted;
            return true;
        }
        quint32 document = 0;
        qint64 encryptionRef = -1;
        if (!readPersistDirectory(u32At(currentUser, user.data + 8), document, encryptionRef))
            return false;
        if (encryptionRef >= 0) {
            Record crypt;
            const auto it = m_persist.constFind(quint32(encryptionRef));
            if (it != m_persist.cend() && recordAt(m_stream, *it, m_stream.size(), crypt) &&
                crypt.type == kCryptSession10) {
                outcome = Outcome::Encrypted;
                return true;
            }
        }
        Record container;
        if (!persistRecord(document, kDocument, container))
            return false;
        if (!readSlideLists(container))
            return false;

        QList<quint32> notes;
        for (const quint32 slide : std::as_const(m_slides)) {
            Record record;
            if (!persistRecord(slide, kSlide, record)) {
                outcome = Outcome::Damaged;
                return true;
            }
            quint32 notesId = 0;
            writeSlide(slide, record, &notesId);
            if (notesId != 0)
                notes.append(notesId);
            if (m_sink.stopRequested()) {
                outcome = Outcome::Stopped;
                return true;
            }
        }
        for (const quint32 notesId : std::as_const(notes)) {
            const quint32 note = m_notesById.value(notesId);
            Record record;
            if (note != 0 && persistRecord(note, kNotes, record))
                writeSlide(note, record, nullptr);
        }
        outcome = m_damaged ? Outcome::Damaged : Outcome::Done;
        return true;
    }

    // Every text atom of the stream in stream order, masters left out.
    Outcome readInStreamOrder()
    {
        walk(0, m_stream.size(), 0, [this](const Record &record) {
            if (isText(record))
                m_sink.append(textOf(m_stream, record));
            return record.type != kMainMaster;
        });
        return m_damaged ? Outcome::Damaged : Outcome::Done;
    }

private:
    // The chain of edits from the last one back: each UserEditAtom names its persist directory
    // (PersistDirectoryAtom: runs of persist identifiers and the stream offsets of their
    // records) and the edit before it. A later edit's entry wins.
    bool readPersistDirectory(qint64 edit, quint32 &document, qint64 &encryptionRef)
    {
        QSet<qint64> seen;
        bool last = true;
        while (!seen.contains(edit)) {
            seen.insert(edit);
            Record atom;
            if (!recordAt(m_stream, edit, m_stream.size(), atom) || atom.type != kUserEditAtom ||
                atom.size < 28)
                return false;
            if (last) {
                document = u32At(m_stream, atom.data + 16);
                // encryptSessionPersistIdRef is there in an encrypted presentation only.
                if (atom.size >= 32)
                    encryptionRef = u32At(m_stream, atom.data + 28);
                last = false;
            }
            Record directory;
            if (!recordAt(m_stream, u32At(m_stream, atom.data + 12), m_stream.size(), directory) ||
                directory.type != kPersistDirectoryAtom)
                return false;
            for (qint64 at = directory.data; at + 4 <= directory.end();) {
                const quint32 entry = u32At(m_stream, at);
                const quint32 first = entry & 0xFFFFF;
                const qint64 count = entry >> 20;
                at += 4;
                if (at + 4 * count > directory.end())
                    return false;
                for (qint64 i = 0; i < count; ++i, at += 4) {
                    if (!m_persist.contains(first + quint32(i)))
                        m_persist.insert(first + quint32(i), u32At(m_stream, at));
                }
            }
            const qint64 previous = u32At(m_stream, atom.data + 8);
            if (previous == 0)
                return true;
            edit = previous;
        }
        return false;
    }

    bool persistRecord(quint32 id, quint16 type, Record &record)
    {
        const auto it = m_persist.constFind(id);
        return it != m_persist.cend() && recordAt(m_stream, *it, m_stream.size(), record) &&
               record.type == type;
    }

    // The slide lists of the document: the slides (instance 0) in presentation order and the
    // placeholder text of every slide and notes page (instance 2), each list a run of
    // SlidePersistAtom records, each followed by the text of that slide.
    bool readSlideLists(const Record &document)
    {
        for (qint64 at = document.data; at < document.end();) {
            Record list;
            if (!recordAt(m_stream, at, document.end(), list))
                return false;
            at = list.end();
            if (list.type != kSlideListWithText || (list.instance != 0 && list.instance != 2))
                continue;
            quint32 current = 0;
            bool inSlide = false;
            for (qint64 child = list.data; child < list.end();) {
                Record record;
                if (!recordAt(m_stream, child, list.end(), record))
                    return false;
                child = record.end();
                if (record.type == kSlidePersistAtom && record.size >= 16) {
                    current = u32At(m_stream, record.data);
                    inSlide = true;
                    if (list.instance == 0)
                        m_slides.append(current);
                    else // a slide names its notes page by the page's slide identifier
                        m_notesById.insert(u32At(m_stream, record.data + 12), current);
                } else if (inSlide && isText(record)) {
                    m_listed[current].append(textOf(m_stream, record));
                }
            }
        }
        return true;
    }

    // A slide or notes page: the text of its drawing in drawing order, a placeholder's text from
    // the slide list where the drawing refers to it, then the listed text no shape referred to.
    void writeSlide(quint32 id, const Record &container, quint32 *notesId)
    {
        const QList<QString> listed = m_listed.value(id);
        QList<bool> written(listed.size(), false);
        walk(container.data, container.end(), 0, [&](const Record &record) {
            if (isText(record)) {
                m_sink.append(textOf(m_stream, record));
            } else if (record.type == kOutlineTextRefAtom && record.size >= 4) {
                const qint64 index = qint32(u32At(m_stream, record.data));
                if (index >= 0 && index < listed.size() && !written[index]) {
                    m_sink.append(listed[index]);
                    written[index] = true;
                }
            } else if (record.type == kSlideAtom && record.size >= 20 && notesId) {
                // SlideAtom: geometry, placeholder types, master and notes slide identifiers.
                *notesId = u32At(m_stream, record.data + 16);
            }
            return true;
        });
        for (qsizetype i = 0; i < listed.size(); ++i) {
            if (!written[i])
                m_sink.append(listed[i]);
        }
    }

    // Calls `visit` for every record in [from, to), depth first; into a container only when
    // `visit` returns true for it.
    template <typename Visit> void walk(qint64 from, qint64 to, int depth, const Visit &visit)
    {
        for (qint64 at = from; at < to;) {
            Record record;
            if (!recordAt(m_stream, at, to, record)) {
                m_damaged = true;
                return;
            }
            at = record.end();
            if (visit(record) && record.container()) {
                if (depth == kMaxDepth) {
                    m_damaged = true;
                    return;
                }
                walk(record.data, record.end(), depth + 1, visit);
            }
            if (m_sink.stopRequested())
                return;
        }
    }

    QByteArrayView m_stream;
    TextSink &m_sink;
    QHash<quint32, qint64> m_persist;
    QList<quint32> m_slides;
    QHash<quint32, QList<QString>> m_listed;
    QHash<quint32, quint32> m_notesById; // notes slide identifier to persist identifier
    bool m_damaged = false;
};

} // namespace

Outcome PowerPoint97Extractor::extract(const Source &source, TextSink &sink)
{
    CompoundFile file;
    if (!file.open(source))
        return Outcome::Damaged;
    QByteArray stream;
    const CompoundFile::Status status = file.read("PowerPoint Document", stream);
    if (status == CompoundFile::Status::Missing || status == CompoundFile::Status::TooLarge)
        return Outcome::Damaged;
    QByteArray currentUser;
    file.read("Current User", currentUser, 4096);
    PresentationReader reader(stream, sink);
    Outcome outcome;
    if (!reader.readInOrder(currentUser, outcome))
        outcome = reader.readInStreamOrder();
    return status == CompoundFile::Status::Damaged && outcome == Outcome::Done ? Outcome::Damaged
                                                                               : outcome;
}

} // namespace documents
