#include "search/documents/html_text.h"

#include "platform/core/text_encoding.h"
#include "search/documents/text_sink.h"

#include <QStringDecoder>

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>

#include <cstring>
#include <string_view>
#include <unordered_map>

namespace documents {

namespace {

enum class Role { Inline, Block, Pre, LineBreak, Skipped };

Role roleOf(const xmlChar *qualifiedName)
{
    static const std::unordered_map<std::string_view, Role> roles = [] {
        std::unordered_map<std::string_view, Role> map;
        for (const char *name :
             {"address",  "article",    "aside",   "blockquote", "body",   "caption", "center",
              "dd",       "details",    "dialog",  "dir",        "div",    "dl",      "dt",
              "fieldset", "figcaption", "figure",  "footer",     "form",   "h1",      "h2",
              "h3",       "h4",         "h5",      "h6",         "header", "hgroup",  "hr",
              "html",     "legend",     "li",      "main",       "menu",   "nav",     "ol",
              "p",        "section",    "summary", "table",      "tbody",  "td",      "tfoot",
              "th",       "thead",      "tr",      "ul"})
            map.emplace(name, Role::Block);
        for (const char *name : {"head", "script", "style", "template", "title", "rt", "rp"})
            map.emplace(name, Role::Skipped);
        map.emplace("pre", Role::Pre);
        map.emplace("br", Role::LineBreak);
        return map;
    }();
    // A prefixed name (svg:title in XHTML read as HTML) has the role of its local name.
    std::string_view name(reinterpret_cast<const char *>(qualifiedName));
    if (const size_t colon = name.rfind(':'); colon != std::string_view::npos)
        name.remove_prefix(colon + 1);
    const auto found = roles.find(name);
    return found == roles.end() ? Role::Inline : found->second;
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

// A run of this many bytes without a '<' is split by markup that adds no text before it reaches
// the parser: the push parser holds character data until the next '<' (script and style content
// until the next "</"), and a text node must not be held whole however long it is. In text the
// split is an empty comment; in script and style an end tag of no open element, which the parser
// drops. (Inside a comment or a tag the split ends it early: only a forged file has one that
// long.)
constexpr qsizetype kMaxRun = qsizetype(1) << 20;

QByteArrayView splitFor(const htmlParserCtxt *parser)
{
    const char *element = reinterpret_cast<const char *>(parser->name);
    if (element && (std::strcmp(element, "script") == 0 || std::strcmp(element, "style") == 0))
        return "</x>";
    return "<!---->";
}

// The SAX side: element events and character data from the parser, laid out into the sink.
class HtmlTextReader
{
public:
    HtmlTextReader(TextSink &sink, bool readTitle) : m_sink(sink), m_readTitle(readTitle) {}

    void start(const xmlChar *name, const xmlChar **attributes)
    {
        ++m_depth;
        if (m_skipFrom > 0)
            return;
        Role role = roleOf(name);
        // The title to read: a line of its own, and the head that holds it is gone into (its
        // style and script are skipped as anywhere, the rest of it holds no text).
        if (m_readTitle && role == Role::Skipped) {
            const char *element = reinterpret_cast<const char *>(name);
            if (std::strcmp(element, "head") == 0) {
                role = Role::Inline;
            } else if (std::strcmp(element, "title") == 0) {
                role = Role::Block;
                m_readTitle = false;
            }
        }
        if (role == Role::Skipped || isHidden(attributes)) {
            m_skipFrom = m_depth;
            return;
        }
        if (role == Role::Block || role == Role::Pre)
            endLine();
        if (role == Role::Pre)
            ++m_preDepth;
        else if (role == Role::LineBreak)
            breakLine();
    }

    void end(const xmlChar *name)
    {
        if (m_depth == 0)
            return;
        if (m_skipFrom > 0) {
            if (m_depth-- == m_skipFrom)
                m_skipFrom = 0;
            return;
        }
        --m_depth;
        const Role role = roleOf(name);
        if (role == Role::Block || role == Role::Pre)
            endLine();
        if (role == Role::Pre && m_preDepth > 0)
            --m_preDepth;
    }

    void characters(const xmlChar *bytes, int size)
    {
        if (m_skipFrom > 0 || size <= 0)
            return;
        const QString text = m_utf8(QByteArrayView(reinterpret_cast<const char *>(bytes), size));
        if (m_preDepth > 0) {
            writePreformatted(text);
            return;
        }
        qsizetype at = 0;
        while (at < text.size()) {
            if (isBlank(text[at])) {
                if (m_lineHasText)
                    m_pendingSpace = true;
                ++at;
                continue;
            }
            qsizetype end = at + 1;
            while (end < text.size() && !isBlank(text[end]))
                ++end;
            if (m_pendingSpace)
                m_sink.append(QChar(u' '));
            m_sink.append(QStringView(text).sliced(at, end - at));
            m_pendingSpace = false;
            m_lineHasText = true;
            at = end;
        }
    }

    // Ends the document: the last line, if it holds text.
    void finish() { endLine(); }

private:
    static bool isHidden(const xmlChar **attributes)
    {
        for (const xmlChar **a = attributes; a && a[0]; a += 2) {
            if (std::strcmp(reinterpret_cast<const char *>(a[0]), "hidden") == 0)
                return true;
        }
        return false;
    }

    void writePreformatted(const QString &text)
    {
        if (m_pendingSpace)
            m_sink.append(QChar(u' '));
        m_pendingSpace = false;
        for (const QChar c : text) {
            if (c == u'\r')
                continue; // CR LF is one line end, and a lone CR is taken as no character
            m_sink.append(c);
            m_lineHasText = c != u'\n';
        }
    }

    void endLine()
    {
        if (m_lineHasText)
            m_sink.append(QChar(u'\n'));
        m_lineHasText = false;
        m_pendingSpace = false;
    }

    void breakLine()
    {
        m_sink.append(QChar(u'\n'));
        m_lineHasText = false;
        m_pendingSpace = false;
    }

    TextSink &m_sink;
    bool m_readTitle; // the first title is still to be read
    QStringDecoder m_utf8{QStringDecoder::Utf8};
    int m_depth = 0;
    int m_skipFrom = 0; // the depth of the skipped element being read; 0 outside one
    int m_preDepth = 0;
    bool m_lineHasText = false;
    bool m_pendingSpace = false; // blanks after the last text of the line, written before more
};

HtmlTextReader &readerOf(void *context)
{
    return *static_cast<HtmlTextReader *>(context);
}

void ignoreMessage(void *, const char *, ...) {}

htmlSAXHandler saxHandler()
{
    htmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.startElement = [](void *context, const xmlChar *name, const xmlChar **attributes) {
        readerOf(context).start(name, attributes);
    };
    sax.endElement = [](void *context, const xmlChar *name) { readerOf(context).end(name); };
    sax.characters = [](void *context, const xmlChar *bytes, int size) {
        readerOf(context).characters(bytes, size);
    };
    // White space between blocks, and the raw text of script and style (skipped anyway).
    sax.ignorableWhitespace = sax.characters;
    sax.cdataBlock = sax.characters;
    // Errors are not reported: markup that is not well formed is read as far as it goes.
    sax.error = ignoreMessage;
    sax.warning = ignoreMessage;
    return sax;
}

struct ParserFree
{
    void operator()(htmlParserCtxt *context) const { htmlFreeParserCtxt(context); }
};

// The encoding a byte-order mark names; otherwise UTF-8, which the parser leaves when a meta
// element declares another charset.
xmlCharEncoding encodingOf(QByteArrayView start)
{
    if (start.startsWith("\xFF\xFE"))
        return XML_CHAR_ENCODING_UTF16LE;
    if (start.startsWith("\xFE\xFF"))
        return XML_CHAR_ENCODING_UTF16BE;
    return XML_CHAR_ENCODING_UTF8;
}

// Feeds one HTML document to libxml2's push parser block by block, splitting long runs without
// markup (kMaxRun), and reads its text into the sink as it goes.
class HtmlFeed
{
public:
    HtmlFeed(TextSink &sink, bool ignoreDeclaredCharset, bool readTitle = false)
        : m_reader(sink, readTitle), m_sink(sink), m_ignoreDeclared(ignoreDeclaredCharset)
    {
        static const bool initialised = (xmlInitParser(), true);
        (void)initialised;
        // Bytes that the declared charset cannot convert are reported through the thread's
        // generic error handler, by default to stderr; the text before them is kept, and nothing
        // is printed.
        xmlSetGenericErrorFunc(nullptr, ignoreMessage);
        m_sax = saxHandler();
    }

    // Hands the next block to the parser; false when the parser cannot start or a stop was asked.
    // `last`: no block follows, so the parser need not look ahead for the end of what it reads.
    bool feed(QByteArrayView block, bool last = false)
    {
        if (!m_parser) {
            const xmlCharEncoding encoding = encodingOf(block);
            m_wide = encoding != XML_CHAR_ENCODING_UTF8;
            m_parser.reset(
                htmlCreatePushParserCtxt(&m_sax, &m_reader, nullptr, 0, nullptr, encoding));
            if (!m_parser)
                return false;
            int options = HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET;
            if (m_ignoreDeclared)
                options |= HTML_PARSE_IGNORE_ENC;
            htmlCtxtUseOptions(m_parser.get(), options);
        }
        while (!block.isEmpty()) {
            const qsizetype markup = block.lastIndexOf('<');
            if (m_wide || markup >= 0 || m_sinceMarkup + block.size() <= kMaxRun) {
                m_sinceMarkup =
                    markup >= 0 ? block.size() - markup - 1 : m_sinceMarkup + block.size();
                parse(block, last);
                break;
            }
            // Split the run at the start of a character, past the limit.
            qsizetype split = std::max<qsizetype>(kMaxRun - m_sinceMarkup, 0);
            while (split < block.size() && (uchar(block[split]) & 0xC0) == 0x80)
                ++split;
            parse(block.first(split));
            if (split < block.size())
                parse(splitFor(m_parser.get()));
            m_sinceMarkup = 0;
            block = block.sliced(split);
        }
        return !m_sink.stopRequested();
    }

    // Ends the document: the text still held by the parser and the reader goes to the sink.
    void finish()
    {
        if (m_parser && !m_ended)
            htmlParseChunk(m_parser.get(), nullptr, 0, 1);
        m_reader.finish();
    }

private:
    void parse(QByteArrayView bytes, bool last = false)
    {
        htmlParseChunk(m_parser.get(), bytes.data(), int(bytes.size()), last ? 1 : 0);
        m_ended = last;
    }

    HtmlTextReader m_reader;
    TextSink &m_sink;
    bool m_ignoreDeclared;
    htmlSAXHandler m_sax;
    std::unique_ptr<htmlParserCtxt, ParserFree> m_parser;
    bool m_wide = false;         // UTF-16: no bytes can be put between others
    bool m_ended = false;        // the parser was told the document ends
    qsizetype m_sinceMarkup = 0; // bytes given to the parser since the last '<'
};

// `html` without the markup that starts "<![" (other than a CDATA section) up to the next '>',
// outside comments: a browser takes it for a comment, libxml2 for text. Word writes such
// conditional sections around its pictures ("<![if !vml]>" ... "<![endif]>"; inside a comment,
// "<!--[if gte vml 1]> ... <![endif]-->", they are the comment's).
QByteArray withoutBogusComments(QByteArray html)
{
    qsizetype from = html.indexOf("<!");
    if (from < 0 || html.indexOf("<![") < 0)
        return html;
    QByteArray kept;
    kept.reserve(html.size());
    qsizetype copied = 0;
    for (; from >= 0; from = html.indexOf("<!", from)) {
        const QByteArrayView rest = QByteArrayView(html).sliced(from);
        if (rest.startsWith("<!--")) {
            const qsizetype end = html.indexOf("-->", from + 4);
            if (end < 0)
                break;
            from = end + 3;
            continue;
        }
        if (!rest.startsWith("<![") || rest.startsWith("<![CDATA[")) {
            from += 2;
            continue;
        }
        const qsizetype end = html.indexOf('>', from);
        if (end < 0)
            break;
        kept.append(QByteArrayView(html).sliced(copied, from - copied));
        copied = end + 1;
        from = copied;
    }
    kept.append(QByteArrayView(html).sliced(copied));
    return kept;
}

} // namespace

ZipPackage::Status readHtmlPart(const ZipPackage &package, const QString &name, TextSink &sink)
{
    HtmlFeed html(sink, false);
    bool stopped = false;
    const ZipPackage::Status status = package.read(name, [&](QByteArrayView block) {
        if (!html.feed(block)) {
            stopped = sink.stopRequested();
            return false;
        }
        return true;
    });
    if (stopped)
        return ZipPackage::Status::Stopped;
    if (status != ZipPackage::Status::Ok)
        return status;
    html.finish();
    return ZipPackage::Status::Ok;
}

platform::Encoding htmlEncoding(QByteArrayView bytes, const QByteArray &declaredCharset,
                                int &bomLength)
{
    // A byte-order mark, then the charset the container declares, then the page's own meta
    // element and the bytes themselves (the encoding rule of text files), which are looked at
    // only when neither of the first two tells.
    bomLength = 0;
    if (const std::optional<platform::ByteOrderMark> bom = platform::detectBom(bytes)) {
        bomLength = bom->length;
        return {bom->encoding, {}};
    }
    if (!declaredCharset.isEmpty()) {
        if (const auto named = platform::encodingNamed(declaredCharset.trimmed().toLower()))
            return *named;
    }
    return platform::detectTextEncoding(bytes);
}

QString decodeHtml(QByteArrayView bytes, const QByteArray &declaredCharset)
{
    int bomLength = 0;
    const platform::Encoding encoding = htmlEncoding(bytes, declaredCharset, bomLength);
    return platform::decodeText(bytes.sliced(bomLength), encoding);
}

bool readHtmlText(QByteArrayView bytes, const QByteArray &declaredCharset, TextSink &sink,
                  HtmlTitle title)
{
    const QByteArray utf8 = withoutBogusComments(decodeHtml(bytes, declaredCharset).toUtf8());
    HtmlFeed html(sink, true, title == HtmlTitle::Read);
    constexpr qsizetype kBlock = 256 * 1024;
    for (qsizetype at = 0; at < utf8.size(); at += kBlock) {
        const qsizetype size = std::min(kBlock, utf8.size() - at);
        if (!html.feed(QByteArrayView(utf8).sliced(at, size), at + size == utf8.size()))
            return false;
    }
    html.finish();
    return !sink.stopRequested();
}

bool htmlNamesCharacter(char32_t character)
{
    return htmlEntityValueLookup(character) != nullptr;
}

} // namespace documents
