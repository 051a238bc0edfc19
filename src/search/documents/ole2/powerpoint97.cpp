#include "search/documents/ole2/powerpoint97.h"

#include "search/documents/ole2/compound_file.h"
#include "search/documents/ole2/ppt_embedded.h"
#include "search/documents/ole2/ppt_records.h"
#include "search/documents/text_sink.h"

#include <QHash>
#include <QList>
#include <QSet>

namespace documents {

using namespace ppt;

namespace {

constexpr quint32 kEncryptedHeaderToken = 0xF3D1C4DF;
constexpr int kMaxDepth = 32;
// What the OLE objects of one presentation may inflate to, together.
constexpr qint64 kEmbeddedBudget = qint64(64) << 20;
constexpr quint32 kIconAspect = 4; // an object shown as an icon shows none of its text

class PresentationReader
{
public:
    PresentationReader(QByteArrayView stream, const QString &name, TextSink &sink)
        : m_stream(stream), m_name(name), m_sink(sink)
    {}

    // Through the persist directory. Returns false when it cannot be followed (then nothing was
    // written); `outcome` is then unset.
    bool readInOrder(QByteArrayView currentUser, Outcome &outcome)
    {
        Record user;
        if (!recordAt(currentUser, 0, currentUser.size(), user) || user.type != kCurrentUserAtom ||
            user.size < 12)
            return false;
        if (le32(currentUser, user.data + 4) == kEncryptedHeaderToken) {
            outcome = Outcome::Encrypted;
            return true;
        }
        quint32 document = 0;
        qint64 encryptionRef = -1;
        if (!readPersistDirectory(le32(currentUser, user.data + 8), document, encryptionRef))
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
            writeSlide(slide, record, true, &notesId);
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
                writeSlide(note, record, false, nullptr);
        }
        outcome = m_damaged ? Outcome::Damaged : Outcome::Done;
        return true;
    }

    // Every text atom and embedded object of the stream in stream order, masters left out.
    Outcome readInStreamOrder()
    {
        walk(0, m_stream.size(), 0, [this](const Record &record) {
            if (isText(record))
                m_sink.append(textOf(m_stream, record));
            else if (record.type == kExOleObjStg)
                writeObjectStorage(record);
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
                document = le32(m_stream, atom.data + 16);
                // encryptSessionPersistIdRef is there in an encrypted presentation only.
                if (atom.size >= 32)
                    encryptionRef = le32(m_stream, atom.data + 28);
                last = false;
            }
            Record directory;
            if (!recordAt(m_stream, le32(m_stream, atom.data + 12), m_stream.size(), directory) ||
                directory.type != kPersistDirectoryAtom)
                return false;
            for (qint64 at = directory.data; at + 4 <= directory.end();) {
                const quint32 entry = le32(m_stream, at);
                const quint32 first = entry & 0xFFFFF;
                const qint64 count = entry >> 20;
                at += 4;
                if (at + 4 * count > directory.end())
                    return false;
                for (qint64 i = 0; i < count; ++i, at += 4) {
                    if (!m_persist.contains(first + quint32(i)))
                        m_persist.insert(first + quint32(i), le32(m_stream, at));
                }
            }
            const qint64 previous = le32(m_stream, atom.data + 8);
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

    // The slide lists of the document: the slides (instance 0) in presentation order, the
    // masters (instance 1) and the placeholder text of every slide and notes page (instance 2),
    // each list a run of SlidePersistAtom records, each followed by the text of that slide. Also
    // the embedded objects and the date and footer of the slides.
    bool readSlideLists(const Record &document)
    {
        for (qint64 at = document.data; at < document.end();) {
            Record list;
            if (!recordAt(m_stream, at, document.end(), list))
                return false;
            at = list.end();
            if (list.type == kExObjList) {
                readObjectList(list);
                continue;
            }
            if (list.type == kHeadersFooters && list.instance == 3) { // those of the slides
                m_headersFooters = headersFootersOf(list);
                continue;
            }
            if (list.type == kHeadersFooters && list.instance == 4) { // of the notes pages
                m_notesHeadersFooters = headersFootersOf(list);
                continue;
            }
            if (list.type != kSlideListWithText || list.instance > 2)
                continue;
            quint32 current = 0;
            bool inSlide = false;
            for (qint64 child = list.data; child < list.end();) {
                Record record;
                if (!recordAt(m_stream, child, list.end(), record))
                    return false;
                child = record.end();
                if (record.type == kSlidePersistAtom && record.size >= 16) {
                    current = le32(m_stream, record.data);
                    inSlide = list.instance != 1;
                    if (list.instance == 1) // a slide names its master by the slide identifier
                        m_mastersById.insert(le32(m_stream, record.data + 12), current);
                    else if (list.instance == 0)
                        m_slides.append(current);
                    else // a slide names its notes page by the page's slide identifier
                        m_notesById.insert(le32(m_stream, record.data + 12), current);
                } else if (inSlide && isText(record)) {
                    m_listed[current].append(textOf(m_stream, record));
                }
            }
        }
        return true;
    }

    // ExOleObjAtom records ([MS-PPT] 2.10.12), anywhere in the ExObjList: the identifier the
    // drawing refers to, how the object is shown, and the persist identifier of its storage.
    void readObjectList(const Record &list)
    {
        walk(list.data, list.end(), 0, [this](const Record &record) {
            if (record.type == kExOleObjAtom && record.size >= 20 &&
                le32(m_stream, record.data) != kIconAspect)
                m_objects.insert(le32(m_stream, record.data + 8), le32(m_stream, record.data + 16));
            return true;
        });
    }

    HeadersFooters headersFootersOf(const Record &container)
    {
        HeadersFooters result;
        result.present = true;
        walk(container.data, container.end(), kMaxDepth, [&](const Record &record) {
            if (record.type == kHeadersFootersAtom && record.size >= 4)
                result.flags = le16(m_stream, record.data + 2);
            else if (record.type == kCString && record.instance == 0)
                result.date = stringOf(m_stream, record);
            else if (record.type == kCString && record.instance == 1)
                result.header = stringOf(m_stream, record);
            else if (record.type == kCString && record.instance == 2)
                result.footer = stringOf(m_stream, record);
            return false;
        });
        return result;
    }

    // An ExOleObjStg record: the embedded object's text.
    void writeObjectStorage(const Record &record)
    {
        writeEmbeddedObject(m_stream.sliced(record.data, record.size), record.instance == 1, m_name,
                            m_embeddedBudget, m_sink);
    }

    // A master's text that its slides show: the text of every shape that is no placeholder (the
    // title and body placeholders hold the prompts "Click to edit ...", which no slide shows).
    QString masterText(quint32 masterId)
    {
        const auto cached = m_masterText.constFind(masterId);
        if (cached != m_masterText.cend())
            return *cached;
        QString text;
        m_masterText.insert(masterId, text); // a master that names itself is read once
        Record master;
        const quint32 persist = m_mastersById.value(masterId);
        if (persist != 0 && (persistRecord(persist, kMainMaster, master) ||
                             persistRecord(persist, kSlide, master))) {
            walk(master.data, master.end(), 0, [&](const Record &record) {
                if (isText(record))
                    text.append(textOf(m_stream, record));
                return record.type != kShapeContainer || !isPlaceholder(record);
            });
        }
        m_masterText.insert(masterId, text);
        return text;
    }

    // Whether a shape's client data holds a PlaceholderAtom.
    bool isPlaceholder(const Record &shape)
    {
        bool placeholder = false;
        walk(shape.data, shape.end(), kMaxDepth - 1, [&](const Record &record) {
            if (record.type == kPlaceholderAtom)
                placeholder = true;
            return record.type == kClientData;
        });
        return placeholder;
    }

    // A slide or notes page: on a slide, the text of its master's shapes first when it shows
    // them; the text of its drawing in drawing order, a placeholder's text from the slide list
    // where the drawing refers to it, an embedded object's text where a shape shows it; the
    // listed text no shape referred to; its fixed date and footer last (on a notes page the
    // header first of them).
    void writeSlide(quint32 id, const Record &container, bool slide, quint32 *notesId)
    {
        quint32 master = 0;
        quint16 flags = 0;
        HeadersFooters own;
        walk(container.data, container.end(), kMaxDepth, [&](const Record &record) {
            // SlideAtom: geometry, placeholder types, master and notes slide identifiers, flags.
            if (record.type == kSlideAtom && record.size >= 22) {
                master = le32(m_stream, record.data + 12);
                if (notesId)
                    *notesId = le32(m_stream, record.data + 16);
                flags = le16(m_stream, record.data + 20);
            } else if (record.type == kHeadersFooters) {
                own = headersFootersOf(record);
            }
            return false;
        });
        if (slide && (flags & kFollowsMasterObjects) && master != 0)
            m_sink.append(masterText(master));

        const QList<QString> listed = m_listed.value(id);
        QList<bool> written(listed.size(), false);
        QSet<quint32> objects;
        walk(container.data, container.end(), 0, [&](const Record &record) {
            if (isText(record)) {
                m_sink.append(textOf(m_stream, record));
            } else if (record.type == kOutlineTextRefAtom && record.size >= 4) {
                const qint64 index = qint32(le32(m_stream, record.data));
                if (index >= 0 && index < listed.size() && !written[index]) {
                    m_sink.append(listed[index]);
                    written[index] = true;
                }
            } else if (record.type == kExObjRefAtom && record.size >= 4) {
                const quint32 object = le32(m_stream, record.data);
                Record storage;
                if (m_objects.contains(object) && !objects.contains(object) &&
                    persistRecord(m_objects.value(object), kExOleObjStg, storage)) {
                    objects.insert(object);
                    writeObjectStorage(storage);
                }
            }
            return true;
        });
        for (qsizetype i = 0; i < listed.size(); ++i) {
            if (!written[i])
                m_sink.append(listed[i]);
        }
        // A notes page shows the header, date and footer of all notes pages.
        const HeadersFooters &all = slide ? m_headersFooters : m_notesHeadersFooters;
        const HeadersFooters &shown = own.present ? own : all;
        const QString &date = own.date.isEmpty() ? all.date : own.date;
        const QString &header = own.header.isEmpty() ? all.header : own.header;
        const QString &footer = own.footer.isEmpty() ? all.footer : own.footer;
        if (!slide && (shown.flags & kHasHeader) && !header.isEmpty()) {
            m_sink.append(header);
            m_sink.append(u'\n');
        }
        if ((shown.flags & kHasDate) && (shown.flags & kHasUserDate) && !date.isEmpty()) {
            m_sink.append(date);
            m_sink.append(u'\n');
        }
        if ((shown.flags & kHasFooter) && !footer.isEmpty()) {
            m_sink.append(footer);
            m_sink.append(u'\n');
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
    QString m_name;
    TextSink &m_sink;
    QHash<quint32, qint64> m_persist;
    QList<quint32> m_slides;
    QHash<quint32, QList<QString>> m_listed;
    QHash<quint32, quint32> m_notesById;   // notes slide identifier to persist identifier
    QHash<quint32, quint32> m_mastersById; // master slide identifier to persist identifier
    QHash<quint32, QString> m_masterText;
    QHash<quint32, quint32> m_objects; // shown objects: identifier to persist identifier
    HeadersFooters m_headersFooters;   // those of every slide without its own
    HeadersFooters m_notesHeadersFooters;
    qint64 m_embeddedBudget = kEmbeddedBudget;
    bool m_damaged = false;
};

} // namespace

Outcome PowerPoint97Extractor::extractFrom(const CompoundFile &file, const Source &source,
                                           TextSink &sink)
{
    QByteArray stream;
    const CompoundFile::Status status = file.read("PowerPoint Document", stream);
    if (status == CompoundFile::Status::Missing || status == CompoundFile::Status::TooLarge)
        return Outcome::Damaged;
    QByteArray currentUser;
    file.read("Current User", currentUser, 4096);
    PresentationReader reader(stream, source.path(), sink);
    Outcome outcome;
    if (!reader.readInOrder(currentUser, outcome))
        outcome = reader.readInStreamOrder();
    return status == CompoundFile::Status::Damaged && outcome == Outcome::Done ? Outcome::Damaged
                                                                               : outcome;
}

} // namespace documents
