#include "search/documents/mime/message.h"

#include "platform/core/byte_find.h"
#include "platform/core/file_ops.h"
#include "search/documents/format_support.h"
#include "search/documents/html_text.h"
#include "search/match/keyword_bytes.h"

#include <gmime/gmime.h>

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace documents {

namespace {

void initialiseGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

// A GObject reference held by a C++ owner.
template <typename T> struct Ref
{
    T *object = nullptr;
    Ref() = default;
    explicit Ref(T *owned) : object(owned) {}
    Ref(const Ref &other) : object(other.object)
    {
        if (object)
            g_object_ref(object);
    }
    Ref &operator=(const Ref &) = delete;
    ~Ref()
    {
        if (object)
            g_object_unref(object);
    }
};

bool isType(GMimeObject *object, const char *type, const char *subtype)
{
    GMimeContentType *contentType = g_mime_object_get_content_type(object);
    return contentType && g_mime_content_type_is_type(contentType, type, subtype);
}

QByteArray memoryBytes(GMimeStream *memory)
{
    GByteArray *array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory));
    return array ? QByteArray(reinterpret_cast<const char *>(array->data), qsizetype(array->len))
                 : QByteArray();
}

// The raw bytes of `stream` from its start, or nothing when there are more than `maxBytes`.
std::optional<QByteArray> rawBytes(GMimeStream *stream, qint64 maxBytes)
{
    if (g_mime_stream_reset(stream) < 0)
        return std::nullopt;
    QByteArray bytes;
    const gint64 length = g_mime_stream_length(stream);
    if (length > 0)
        bytes.reserve(qsizetype(std::min<gint64>(length, maxBytes >= 0 ? maxBytes + 1 : length)));
    char block[64 * 1024];
    for (;;) {
        const gssize got = g_mime_stream_read(stream, block, sizeof block);
        if (got <= 0)
            break;
        bytes.append(block, qsizetype(got));
        if (maxBytes >= 0 && bytes.size() > maxBytes)
            return std::nullopt;
    }
    return bytes;
}

// The decoded content of a leaf part, or nothing when it would be larger than `maxBytes`.
std::optional<QByteArray> decodedContent(GMimePart *part, qint64 maxBytes)
{
    GMimeDataWrapper *content = g_mime_part_get_content(part);
    if (!content)
        return QByteArray();
    GMimeStream *stream = g_mime_data_wrapper_get_stream(content);
    const GMimeContentEncoding encoding = g_mime_data_wrapper_get_encoding(content);
    const bool base64 = encoding == GMIME_CONTENT_ENCODING_BASE64;
    const bool quoted = encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
    const gint64 encoded = g_mime_stream_length(stream);
    if (base64 || quoted) {
        // Decoded block by block by the decoder GMime's own filters use: the same bytes, without
        // a filter stream and a memory stream growing behind it. Line ends, soft line breaks and
        // escapes make the decoded bytes fewer than the encoded length tells, so the limit is
        // told by the decoded bytes, as they come.
        if (g_mime_stream_reset(stream) < 0)
            return std::nullopt;
        GMimeEncoding state;
        g_mime_encoding_init_decode(&state, encoding);
        QByteArray bytes;
        if (encoded > 0) {
            const gint64 expected = base64 ? encoded / 4 * 3 + 3 : encoded;
            bytes.reserve(
                qsizetype(maxBytes >= 0 ? std::min<gint64>(expected, maxBytes + 1) : expected));
        }
        char block[64 * 1024];
        for (;;) {
            const gssize got = g_mime_stream_read(stream, block, sizeof block);
            if (got <= 0)
                break;
            const qsizetype at = bytes.size();
            bytes.resize(at + qsizetype(g_mime_encoding_outlen(&state, size_t(got))));
            bytes.truncate(at + qsizetype(g_mime_encoding_step(&state, block, size_t(got),
                                                               bytes.data() + at)));
            if (maxBytes >= 0 && bytes.size() > maxBytes)
                return std::nullopt;
        }
        return bytes;
    }
    if (encoding != GMIME_CONTENT_ENCODING_UUENCODE)
        return rawBytes(stream, maxBytes);
    // Uuencoded content starts after its "begin" line, which GMime's filter looks for; it is
    // decoded whole, so one whose encoded bytes pass the limit is not.
    if (maxBytes >= 0 && encoded > maxBytes)
        return std::nullopt;
    Ref<GMimeStream> memory(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, memory.object);
    QByteArray bytes = memoryBytes(memory.object);
    if (maxBytes >= 0 && bytes.size() > maxBytes)
        return std::nullopt;
    return bytes;
}

// The bytes of the message at `source` as a stream for the parser; null when the file cannot be
// read. A file of a few MiB is read in one call into memory the stream takes over: the parser and
// the parts' decoders then make no system call of their own for every block. A larger one is read
// from the file as the parser goes.
GMimeStream *messageStream(const Source &source)
{
    if (source.inMemory()) {
        const QByteArray &bytes = source.bytes();
        return g_mime_stream_mem_new_with_buffer(bytes.constData(), size_t(bytes.size()));
    }
    constexpr qint64 kReadWholeBytes = qint64(4) << 20;
    const int fd = ::open(QFile::encodeName(source.path()).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    const std::optional<platform::FileStatus> status = platform::openFileStatus(fd);
    if (!status || !status->regular || status->size > kReadWholeBytes)
        return g_mime_stream_fs_new(fd); // owns the descriptor
    GByteArray *array = g_byte_array_sized_new(guint(status->size));
    g_byte_array_set_size(array, guint(status->size));
    const qsizetype got =
        platform::readAt(fd, reinterpret_cast<char *>(array->data), status->size, 0);
    ::close(fd);
    if (got < 0) {
        g_byte_array_unref(array);
        return nullptr;
    }
    g_byte_array_set_size(array, guint(got));
    return g_mime_stream_mem_new_with_byte_array(array); // owns the array
}

// True when the text `body` decodes to in `encoding` (GB18030, UTF-8 or Big5) holds `character`,
// whose one byte form there is `form`. The bytes may match across two characters (the trail byte
// of one and the lead byte of the next), so each match is decoded between the sure character
// starts around it, which gives what decoding the whole part gives there; a match inside a run of
// bytes too long to decode again counts as the character.
bool holdsCharacter(QByteArrayView body, const platform::Encoding &encoding, QByteArrayView form,
                    QStringView character)
{
    constexpr qsizetype kMaxAround = 4096;
    const auto startsHere = [&](const char *at) {
        return at == body.begin() || at == body.end() ||
               platform::startsCharacter(at, at - body.begin(), encoding.kind);
    };
    for (const char *from = body.begin();;) {
        const char *match = platform::findBytes(from, body.end(), form);
        if (!match)
            return false;
        const char *start = match;
        const char *end = match + form.size();
        while (!startsHere(start) && match - start < kMaxAround)
            --start;
        while (!startsHere(end) && end - match < kMaxAround)
            ++end;
        if (!startsHere(start) || !startsHere(end) ||
            platform::decodeText(QByteArrayView(start, end), encoding).contains(character))
            return true;
        from = match + 1;
    }
}

// The largest text part read, decoded.
constexpr qint64 kMaxTextPartBytes = qint64(256) << 20;

QString utf8(const char *text)
{
    return text ? QString::fromUtf8(text).trimmed() : QString();
}

} // namespace

// A message parsed once, shared by its document and its attachments: its text parts and its
// attachments found in part order.
class ParsedMessage
{
public:
    static std::shared_ptr<ParsedMessage> parse(const Source &source)
    {
        initialiseGMime();
        GMimeStream *stream = messageStream(source);
        if (!stream)
            return nullptr;
        Ref<GMimeStream> owned(stream);
        Ref<GMimeParser> parser(g_mime_parser_new_with_stream(stream));
        GMimeParserOptions *options = g_mime_parser_options_new();
        // Raw 8-bit headers and bodies that name no charset: UTF-8, else GB18030.
        const char *fallback[] = {"UTF-8", "GB18030", nullptr};
        g_mime_parser_options_set_fallback_charsets(options, fallback);
        g_mime_parser_options_set_rfc2047_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_parameter_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
        GMimeMessage *message = g_mime_parser_construct_message(parser.object, options);
        g_mime_parser_options_free(options);
        if (!message)
            return nullptr;
        auto parsed = std::make_shared<ParsedMessage>();
        parsed->m_message.object = message;
        parsed->collect(g_mime_message_get_mime_part(message), false, 0);
        return parsed;
    }

    QStringList headerLines() const
    {
        GMimeMessage *message = m_message.object;
        QStringList lines;
        const auto addresses = [&](InternetAddressList *list) {
            if (!list || internet_address_list_length(list) == 0)
                return;
            char *text = internet_address_list_to_string(list, nullptr, FALSE);
            // A name given only as encoded words, with no address (a saved page's "From:
            // =?gb2312?B?...?="), is kept by the address parser as it stands.
            if (text && std::strstr(text, "=?")) {
                char *decoded = g_mime_utils_header_decode_text(nullptr, text);
                g_free(text);
                text = decoded;
            }
            lines.append(utf8(text));
            g_free(text);
        };
        lines.append(utf8(g_mime_message_get_subject(message)));
        addresses(g_mime_message_get_from(message));
        addresses(g_mime_message_get_to(message));
        lines.append(utf8(g_mime_object_get_header(GMIME_OBJECT(message), "Date")));
        lines.removeAll(QString());
        return lines;
    }

    struct TextPart
    {
        GMimePart *part;
        bool inPage; // inside a multipart/related: a saved page, or a mail with its pictures
    };
    const std::vector<TextPart> &textParts() const { return m_text; }
    const std::vector<GMimeObject *> &attachments() const { return m_attachments; }

private:
    // Sorts the parts below `object` into text and attachments, in order. `inPage`: inside a
    // multipart/related (a saved page), whose other parts are the page's resources.
    void collect(GMimeObject *object, bool inPage, int depth)
    {
        if (!object || depth > kMaxDepth || m_text.size() + m_attachments.size() > kMaxParts)
            return;
        if (GMIME_IS_MESSAGE_PART(object)) {
            m_attachments.push_back(object);
            return;
        }
        if (GMIME_IS_MULTIPART(object)) {
            GMimeMultipart *multipart = GMIME_MULTIPART(object);
            const int count = g_mime_multipart_get_count(multipart);
            if (isType(object, "multipart", "alternative")) {
                collect(preferredAlternative(multipart, count), inPage, depth + 1);
                return;
            }
            const bool related = isType(object, "multipart", "related");
            for (int i = 0; i < count; ++i)
                collect(g_mime_multipart_get_part(multipart, i), inPage || related, depth + 1);
            return;
        }
        if (!GMIME_IS_PART(object))
            return;
        GMimePart *part = GMIME_PART(object);
        GMimeContentDisposition *disposition = g_mime_object_get_content_disposition(object);
        const bool attached = disposition && g_mime_content_disposition_is_attachment(disposition);
        const bool text = isType(object, "text", "plain") || isType(object, "text", "html");
        if (attached || (!text && !inPage && g_mime_part_get_filename(part)))
            m_attachments.push_back(object);
        else if (text)
            m_text.push_back({part, inPage});
    }

    // The alternative a client shows: the HTML one (alone or with its pictures), else the plain.
    static GMimeObject *preferredAlternative(GMimeMultipart *multipart, int count)
    {
        GMimeObject *plain = nullptr;
        for (int i = count - 1; i >= 0; --i) {
            GMimeObject *part = g_mime_multipart_get_part(multipart, i);
            if (isType(part, "text", "html") || isType(part, "multipart", "related") ||
                isType(part, "multipart", "mixed"))
                return part;
            if (!plain && isType(part, "text", "plain"))
                plain = part;
        }
        return plain ? plain : (count > 0 ? g_mime_multipart_get_part(multipart, 0) : nullptr);
    }

    // Bounds on what a forged message can make the sorting do.
    static constexpr size_t kMaxParts = 10000;
    static constexpr int kMaxDepth = 64;
    Ref<GMimeMessage> m_message;
    std::vector<TextPart> m_text;             // parts owned by m_message
    std::vector<GMimeObject *> m_attachments; // owned by m_message
};

namespace {

// A name for an attachment that gives none, from its type: "附件1.pdf".
QString madeName(GMimeObject *object, int index)
{
    QString suffix;
    if (GMIME_IS_MESSAGE_PART(object)) {
        suffix = QStringLiteral(".eml");
    } else if (GMimeContentType *type = g_mime_object_get_content_type(object)) {
        const char *subtype = g_mime_content_type_get_media_subtype(type);
        if (subtype && *subtype && std::strlen(subtype) < 16)
            suffix = u'.' + QString::fromLatin1(subtype).toLower();
    }
    return QStringLiteral("附件%1").arg(index + 1) + suffix;
}

class MessageAttachments final : public Attachments
{
public:
    explicit MessageAttachments(std::shared_ptr<ParsedMessage> message)
        : m_message(std::move(message))
    {}

    std::optional<Attachment> next(qint64 maxBytes) override
    {
        const std::vector<GMimeObject *> &parts = m_message->attachments();
        if (m_next >= int(parts.size()))
            return std::nullopt;
        const int index = m_next++;
        GMimeObject *object = parts[size_t(index)];
        Attachment attachment;
        attachment.index = index;
        if (GMIME_IS_MESSAGE_PART(object)) {
            // The attached message as it is written, to be recognised again as a message.
            GMimeMessage *inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
            if (const char *subject = inner ? g_mime_message_get_subject(inner) : nullptr)
                attachment.name = utf8(subject) + QStringLiteral(".eml");
            if (inner) {
                Ref<GMimeStream> memory(g_mime_stream_mem_new());
                g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, memory.object);
                attachment.bytes = memoryBytes(memory.object);
            }
            attachment.damaged = !inner;
        } else {
            GMimePart *part = GMIME_PART(object);
            attachment.name = utf8(g_mime_part_get_filename(part));
            std::optional<QByteArray> bytes = decodedContent(part, maxBytes);
            attachment.damaged = !bytes;
            if (bytes)
                attachment.bytes = std::move(*bytes);
        }
        if (maxBytes >= 0 && attachment.bytes.size() > maxBytes) {
            attachment.bytes.clear();
            attachment.damaged = true;
        }
        if (attachment.name.isEmpty() || attachment.name == u".eml")
            attachment.name = madeName(object, index);
        attachment.size = attachment.bytes.size();
        return attachment;
    }

private:
    std::shared_ptr<ParsedMessage> m_message;
    int m_next = 0;
};

} // namespace

MessageDocument::MessageDocument(const Format &format, const Source &source)
    : Document(format, source), m_message(ParsedMessage::parse(source))
{}

MessageDocument::~MessageDocument() = default;

bool MessageDocument::hasAttachments() const
{
    return m_message && !m_attachmentsTaken && !m_message->attachments().empty();
}

std::unique_ptr<Attachments> MessageDocument::takeAttachments()
{
    if (!hasAttachments())
        return nullptr;
    m_attachmentsTaken = true;
    return std::make_unique<MessageAttachments>(m_message);
}

Screen MessageDocument::screen(const std::vector<QByteArray> &utf8Characters,
                               platform::WorkMonitor &monitor) const
{
    if (!m_message || utf8Characters.empty())
        return Screen::Possible;
    struct Needle
    {
        QString text;
        char32_t code;
        QByteArray form; // its bytes in the part being looked at
    };
    std::vector<Needle> missing;
    for (const QByteArray &utf8 : utf8Characters) {
        const QString text = QString::fromUtf8(utf8);
        missing.push_back({text, text.toUcs4().value(0), {}});
    }
    // Drops the characters `holds` finds; true when none is left.
    const auto found = [&](const auto &holds) {
        std::erase_if(missing, holds);
        return missing.empty();
    };
    for (const QString &line : m_message->headerLines()) {
        if (found([&](const Needle &needle) { return line.contains(needle.text); }))
            return Screen::Possible;
    }
    // The parts decoded here are kept for the extraction that follows a Possible answer, so that
    // none is decoded twice, up to a bound: huge parts are decoded again rather than held.
    constexpr qsizetype kMaxKeptBytes = qsizetype(32) << 20;
    qsizetype keptBytes = 0;
    const auto &parts = m_message->textParts();
    std::vector<std::optional<QByteArray>> decoded(parts.size());
    const auto possible = [&] {
        m_decoded = std::move(decoded);
        return Screen::Possible;
    };
    for (size_t i = 0; i < parts.size(); ++i) {
        if (!monitor.keepGoing())
            return Screen::Stopped;
        const ParsedMessage::TextPart &part = parts[i];
        // The same bytes and encoding as extract() reads (a part too large to decode is skipped
        // there too).
        std::optional<QByteArray> &bytes = decoded[i];
        bytes = decodedContent(part.part, kMaxTextPartBytes);
        if (!bytes)
            continue;
        keptBytes += bytes->size();
        const QByteArray charset =
            g_mime_object_get_content_type_parameter(GMIME_OBJECT(part.part), "charset");
        int bomLength = 0;
        const platform::Encoding encoding = htmlEncoding(*bytes, charset, bomLength);
        const QByteArrayView body = QByteArrayView(*bytes).sliced(bomLength);
        // Looked for by their bytes when each character comes from one byte form only.
        const bool byBytes = std::all_of(missing.begin(), missing.end(), [&](Needle &needle) {
            std::optional<QByteArray> form = search::keywordBytes(needle.text, encoding.kind);
            needle.form = form.value_or(QByteArray());
            return form.has_value();
        });
        const QString text = byBytes ? QString() : platform::decodeText(body, encoding);
        // In these encodings '&' and '#' are never part of another character.
        const auto holdsAscii = [&](const char *ascii) {
            return byBytes ? platform::findBytes(body.begin(), body.end(), ascii) != nullptr
                           : text.contains(QLatin1StringView(ascii));
        };
        if (isType(GMIME_OBJECT(part.part), "text", "html") && holdsAscii("&") &&
            (holdsAscii("&#") ||
             std::any_of(missing.begin(), missing.end(),
                         [](const Needle &needle) { return htmlNamesCharacter(needle.code); })))
            return possible();
        if (found([&](const Needle &needle) {
                return byBytes ? holdsCharacter(body, encoding, needle.form, needle.text)
                               : text.contains(needle.text);
            }))
            return possible();
        if (keptBytes > kMaxKeptBytes)
            bytes.reset();
    }
    return Screen::Absent;
}

Outcome MessageDocument::extract(const TextOut &out, platform::WorkMonitor &monitor)
{
    if (!m_message)
        return Outcome::Damaged;
    // The parts the screen decoded, taken; the others are decoded here.
    std::vector<std::optional<QByteArray>> screened = std::move(m_decoded);
    m_decoded.clear();
    return extractWith(out, monitor, [&](TextSink &sink) {
        for (const QString &line : m_message->headerLines()) {
            sink.append(line);
            sink.append(u'\n');
        }
        const auto &parts = m_message->textParts();
        for (size_t i = 0; i < parts.size(); ++i) {
            if (sink.stopRequested())
                return Outcome::Stopped;
            sink.beginPart(int(i), int(parts.size()));
            GMimeObject *object = GMIME_OBJECT(parts[i].part);
            const std::optional<QByteArray> bytes =
                i < screened.size() && screened[i]
                    ? std::move(screened[i])
                    : decodedContent(parts[i].part, kMaxTextPartBytes);
            if (!bytes)
                continue;
            const QByteArray charset = g_mime_object_get_content_type_parameter(object, "charset");
            if (isType(object, "text", "html")) {
                // A saved page's title is what the browser shows as its name.
                const HtmlTitle title = parts[i].inPage ? HtmlTitle::Read : HtmlTitle::Skipped;
                if (!readHtmlText(*bytes, charset, sink, title))
                    return Outcome::Stopped;
            } else {
                sink.append(decodeHtml(*bytes, charset));
                sink.append(u'\n');
            }
        }
        return Outcome::Done;
    });
}

} // namespace documents
