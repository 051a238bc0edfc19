#include "search/documents/msg/outlook_message.h"

#include "search/documents/format_support.h"
#include "search/documents/html_text.h"
#include "search/documents/msg/compressed_rtf.h"
#include "search/documents/msg/message_storage.h"
#include "search/documents/ole2/compound_file.h"
#include "search/documents/rtf/rtf.h"

namespace documents {

namespace {

using msg::MessageStorage;

// Property IDs ([MS-OXPROPS]).
constexpr quint16 kSubject = 0x0037;
constexpr quint16 kSenderName = 0x0C1A;
constexpr quint16 kSenderAddress = 0x0C1F;
constexpr quint16 kSenderSmtpAddress = 0x5D01;
constexpr quint16 kDisplayTo = 0x0E04;
constexpr quint16 kDisplayCc = 0x0E03;
constexpr quint16 kBody = 0x1000;
constexpr quint16 kRtfCompressed = 0x1009;
constexpr quint16 kHtml = 0x1013;
constexpr quint16 kInternetCodepage = 0x3FDE;
constexpr quint16 kMessageCodepage = 0x3FFD;
constexpr quint16 kAttachDataBinary = 0x3701;
constexpr quint16 kAttachExtension = 0x3703;
constexpr quint16 kAttachFilename = 0x3704;
constexpr quint16 kAttachMethod = 0x3705;
constexpr quint16 kAttachLongFilename = 0x3707;
constexpr quint16 kDisplayName = 0x3001;
constexpr quint32 kAttachEmbeddedMessage = 5;

// Messages embedded in messages embedded in ...: deeper ones are not read. A forged directory
// may repeat a storage below itself: past kMaxEmbedded in all no more are read.
constexpr int kMaxDepth = 8;
constexpr int kMaxEmbedded = 256;

// The charset of the message's 8-bit strings and HTML body: its Internet code page, else the
// code page of its strings; `inherited` (the outer message's) when it names none.
QByteArray messageCharset(const MessageStorage &message, const QByteArray &inherited)
{
    for (const quint16 id : {kInternetCodepage, kMessageCodepage}) {
        if (const std::optional<quint32> codePage = message.integer(id)) {
            if (QByteArray charset = msg::charsetOfCodePage(*codePage); !charset.isEmpty())
                return charset;
        }
    }
    return inherited;
}

void appendLine(TextSink &sink, const QString &line)
{
    if (line.isEmpty())
        return;
    sink.append(line);
    sink.append(u'\n');
}

QString senderLine(const MessageStorage &message)
{
    const QString name = message.string(kSenderName);
    QString address = message.string(kSenderSmtpAddress);
    if (address.isEmpty())
        address = message.string(kSenderAddress);
    // An Exchange address is a directory name ("/O=ORG/OU=..."), which no reader is shown.
    if (address.startsWith(u'/'))
        address.clear();
    if (address.isEmpty() || address == name)
        return name;
    if (name.isEmpty())
        return address;
    return name + QStringLiteral(u" <") + address + u'>';
}

// The body that shows most faithfully what the sender wrote: the plain one when it holds text,
// else the RTF, else the HTML.
Outcome readBody(const MessageStorage &message, TextSink &sink)
{
    const QString plain = message.string(kBody);
    if (!plain.trimmed().isEmpty()) {
        appendLine(sink, plain);
        return Outcome::Done;
    }
    bool damaged = false;
    QByteArray compressed;
    damaged |= message.binary(kRtfCompressed, compressed) == CompoundFile::Status::Damaged;
    if (!compressed.isEmpty()) {
        const std::optional<QByteArray> rtf =
            msg::decompressRtf(compressed, CompoundFile::kMaxStreamSize);
        damaged |= !rtf;
        if (rtf) {
            const Outcome outcome = RtfExtractor().extract(Source::fromBytes(*rtf, {}), sink);
            if (outcome == Outcome::Done || outcome == Outcome::Stopped)
                return outcome;
        }
    }
    QByteArray html;
    damaged |= message.binary(kHtml, html) == CompoundFile::Status::Damaged;
    QByteArray charset = message.charset();
    if (html.isEmpty()) {
        // Some writers keep the HTML as a string property.
        html = message.string(kHtml).toUtf8();
        charset = "utf-8";
    }
    if (!html.isEmpty() && !readHtmlText(html, charset, sink))
        return Outcome::Stopped;
    return damaged ? Outcome::Damaged : Outcome::Done;
}

// The message embedded in the attachment `attachment` of `message`, if it is one.
std::optional<MessageStorage> embeddedMessage(const MessageStorage &message,
                                              const MessageStorage::Child &attachment)
{
    const MessageStorage storage(message.file(), message.child(attachment.name),
                                 MessageStorage::Object::Attachment, message.charset());
    const QByteArray inner = storage.propertyPath(kAttachDataBinary, 0x000D);
    const std::optional<quint32> method = storage.integer(kAttachMethod);
    // An OLE object's storage has the same name; only a message has a property stream.
    if ((method && *method != kAttachEmbeddedMessage) ||
        !message.file().contains(QByteArray(inner + "/__properties_version1.0").constData()))
        return std::nullopt;
    MessageStorage embedded(message.file(), inner, MessageStorage::Object::Embedded, {});
    embedded.setCharset(messageCharset(embedded, message.charset()));
    return embedded;
}

Outcome readMessage(const MessageStorage &message, TextSink &sink, int depth, int &embeddedLeft)
{
    appendLine(sink, message.string(kSubject));
    if (depth == 0) {
        appendLine(sink, senderLine(message));
        appendLine(sink, message.string(kDisplayTo));
        appendLine(sink, message.string(kDisplayCc));
    }
    Outcome outcome = readBody(message, sink);
    if (outcome == Outcome::Stopped || depth >= kMaxDepth)
        return outcome;
    for (const MessageStorage::Child &attachment : message.attachments()) {
        if (sink.stopRequested())
            return Outcome::Stopped;
        if (embeddedLeft <= 0)
            break;
        const std::optional<MessageStorage> embedded = embeddedMessage(message, attachment);
        if (!embedded)
            continue;
        --embeddedLeft;
        sink.append(u'\n');
        const Outcome inner = readMessage(*embedded, sink, depth + 1, embeddedLeft);
        if (inner == Outcome::Stopped)
            return inner;
        if (inner == Outcome::Damaged)
            outcome = inner;
    }
    return outcome;
}

MessageStorage rootMessage(const CompoundFile &file)
{
    MessageStorage message(file, {}, MessageStorage::Object::Message, {});
    message.setCharset(messageCharset(message, {}));
    return message;
}

// The attachments of the root message that are files: those with a binary data stream.
QList<MessageStorage::Child> fileAttachments(const MessageStorage &message)
{
    QList<MessageStorage::Child> files;
    for (const MessageStorage::Child &attachment : message.attachments()) {
        const MessageStorage storage(message.file(), message.child(attachment.name),
                                     MessageStorage::Object::Attachment, {});
        if (message.file().streamSize(storage.propertyPath(kAttachDataBinary, 0x0102)) >= 0)
            files.append(attachment);
    }
    return files;
}

class MessageAttachments final : public Attachments
{
public:
    MessageAttachments(std::shared_ptr<const CompoundFile> file, QByteArray charset,
                       QList<MessageStorage::Child> files)
        : m_file(std::move(file)), m_charset(std::move(charset)), m_files(std::move(files))
    {}

    std::optional<Attachment> next(qint64 maxBytes) override
    {
        if (m_next >= m_files.size())
            return std::nullopt;
        const MessageStorage::Child &child = m_files[m_next++];
        const MessageStorage storage(*m_file, child.name, MessageStorage::Object::Attachment,
                                     m_charset);
        Attachment attachment;
        attachment.index = child.number;
        for (const quint16 id : {kAttachLongFilename, kAttachFilename, kDisplayName}) {
            attachment.name = storage.string(id);
            if (!attachment.name.isEmpty())
                break;
        }
        if (attachment.name.isEmpty()) {
            attachment.name =
                QStringLiteral(u"附件%1").arg(child.number + 1) + storage.string(kAttachExtension);
        }
        const QByteArray data = storage.propertyPath(kAttachDataBinary, 0x0102);
        attachment.size = std::max<qint64>(m_file->streamSize(data.constData()), 0);
        if (maxBytes >= 0 && attachment.size > maxBytes) {
            attachment.damaged = true;
            return attachment;
        }
        attachment.damaged =
            m_file->read(data.constData(), attachment.bytes) != CompoundFile::Status::Ok;
        return attachment;
    }

private:
    std::shared_ptr<const CompoundFile> m_file;
    QByteArray m_charset;
    QList<MessageStorage::Child> m_files;
    qsizetype m_next = 0;
};

} // namespace

bool isOutlookMessage(const CompoundFile &file)
{
    if (!file.contains("__properties_version1.0") || file.contains("WordDocument") ||
        file.contains("Workbook") || file.contains("Book") || file.contains("PowerPoint Document"))
        return false;
    const QList<QByteArray> names = file.childNames();
    return std::any_of(names.begin(), names.end(),
                       [](const QByteArray &name) { return name.startsWith("__substg1.0_"); });
}

OutlookMessageDocument::OutlookMessageDocument(const Format &format, const Source &source,
                                               std::unique_ptr<CompoundFile> file)
    : Document(format, source), m_file(std::move(file))
{
    if (m_file)
        m_hasFiles = !fileAttachments(rootMessage(*m_file)).isEmpty();
}

OutlookMessageDocument::~OutlookMessageDocument() = default;

bool OutlookMessageDocument::hasAttachments() const
{
    return m_hasFiles && !m_attachmentsTaken;
}

std::unique_ptr<Attachments> OutlookMessageDocument::takeAttachments()
{
    if (!hasAttachments())
        return nullptr;
    m_attachmentsTaken = true;
    const MessageStorage message = rootMessage(*m_file);
    return std::make_unique<MessageAttachments>(m_file, message.charset(),
                                                fileAttachments(message));
}

Outcome OutlookMessageDocument::extract(const TextOut &out, platform::WorkMonitor &monitor)
{
    if (!m_file)
        return Outcome::Damaged;
    return extractWith(out, monitor, [&](TextSink &sink) {
        int embeddedLeft = kMaxEmbedded;
        return readMessage(rootMessage(*m_file), sink, 0, embeddedLeft);
    });
}

} // namespace documents
