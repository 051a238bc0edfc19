#include "search/documents/chm/help_contents.h"

#include "search/documents/html_text.h"

#include <QtEndian>

#include <libxml/HTMLparser.h>

#include <cstring>
#include <memory>

namespace documents {

HelpSystem readHelpSystem(QByteArrayView bytes)
{
    HelpSystem system;
    qsizetype at = 4; // the version
    while (at + 4 <= bytes.size()) {
        const quint16 code = qFromLittleEndian<quint16>(bytes.data() + at);
        const quint16 length = qFromLittleEndian<quint16>(bytes.data() + at + 2);
        at += 4;
        if (length > bytes.size() - at)
            break;
        const QByteArrayView data = bytes.sliced(at, length);
        at += length;
        if (code == 0) {
            const qsizetype end = data.indexOf('\0');
            system.contents = (end < 0 ? data : data.first(end)).toByteArray().trimmed();
        } else if (code == 4 && data.size() >= 4) {
            system.lcid = qFromLittleEndian<quint32>(data.data());
        }
    }
    return system;
}

QByteArray charsetOfLcid(quint32 lcid)
{
    const quint32 language = lcid & 0x3FF;
    const quint32 region = (lcid >> 10) & 0x3F;
    switch (language) {
    case 0x04: // Chinese: the mainland and Singapore write GBK, the others Big5
        return region == 0x02 || region == 0x04 ? "gbk" : "big5";
    case 0x11:
        return "shift_jis";
    case 0x12:
        return "windows-949";
    case 0x02: // Bulgarian
    case 0x19: // Russian
    case 0x22: // Ukrainian
    case 0x23: // Belarusian
        return "windows-1251";
    case 0x05: // Czech
    case 0x0E: // Hungarian
    case 0x15: // Polish
    case 0x18: // Romanian
    case 0x1B: // Slovak
    case 0x24: // Slovenian
        return "windows-1250";
    case 0x08:
        return "windows-1253";
    case 0x1F:
        return "windows-1254";
    case 0x0D:
        return "windows-1255";
    case 0x01:
        return "windows-1256";
    case 0x25: // Estonian
    case 0x26: // Latvian
    case 0x27: // Lithuanian
        return "windows-1257";
    case 0x2A:
        return "windows-1258";
    case 0x1E:
        return "windows-874";
    default:
        return QByteArray();
    }
}

namespace {

// Collects the Local parameters of sitemap objects from the parser's element events.
struct SitemapReader
{
    QStringList topics;
    qsizetype maxTopics = 0;
    int sitemapDepth = 0; // inside <object type="text/sitemap"> (objects do not nest in practice)

    static const char *attribute(const xmlChar **attributes, const char *name)
    {
        for (const xmlChar **at = attributes; at && at[0]; at += 2) {
            if (xmlStrcasecmp(at[0], reinterpret_cast<const xmlChar *>(name)) == 0)
                return at[1] ? reinterpret_cast<const char *>(at[1]) : "";
        }
        return nullptr;
    }

    void start(const xmlChar *name, const xmlChar **attributes)
    {
        if (xmlStrcasecmp(name, BAD_CAST "object") == 0) {
            const char *type = attribute(attributes, "type");
            if (sitemapDepth > 0 || (type && qstricmp(type, "text/sitemap") == 0))
                ++sitemapDepth;
        } else if (sitemapDepth > 0 && xmlStrcasecmp(name, BAD_CAST "param") == 0 &&
                   topics.size() < maxTopics) {
            const char *param = attribute(attributes, "name");
            const char *value = attribute(attributes, "value");
            if (param && value && qstricmp(param, "local") == 0 && *value)
                topics.append(QString::fromUtf8(value));
        }
    }

    void end(const xmlChar *name)
    {
        if (sitemapDepth > 0 && xmlStrcasecmp(name, BAD_CAST "object") == 0)
            --sitemapDepth;
    }
};

void ignoreMessage(void *, const char *, ...) {}

struct ParserFree
{
    void operator()(htmlParserCtxt *context) const { htmlFreeParserCtxt(context); }
};

} // namespace

QStringList contentsTopics(QByteArrayView sitemap, const QByteArray &charset, qsizetype maxTopics)
{
    // Decoded as the pages are, then handed to the parser as UTF-8 (the sitemap's own charset
    // declaration ignored), so that the topics come out as the directory stores its names.
    const QByteArray utf8 = decodeHtml(sitemap, charset).toUtf8();
    SitemapReader reader;
    reader.maxTopics = maxTopics;
    htmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.startElement = [](void *context, const xmlChar *name, const xmlChar **attributes) {
        static_cast<SitemapReader *>(context)->start(name, attributes);
    };
    sax.endElement = [](void *context, const xmlChar *name) {
        static_cast<SitemapReader *>(context)->end(name);
    };
    sax.error = ignoreMessage;
    sax.warning = ignoreMessage;
    std::unique_ptr<htmlParserCtxt, ParserFree> parser(
        htmlCreatePushParserCtxt(&sax, &reader, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8));
    if (!parser)
        return {};
    htmlCtxtUseOptions(parser.get(), HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET |
                                         HTML_PARSE_IGNORE_ENC);
    constexpr qsizetype kBlock = 256 * 1024;
    for (qsizetype at = 0; at < utf8.size() && reader.topics.size() < maxTopics; at += kBlock) {
        const qsizetype size = std::min(kBlock, utf8.size() - at);
        htmlParseChunk(parser.get(), utf8.constData() + at, int(size), 0);
    }
    htmlParseChunk(parser.get(), nullptr, 0, 1);
    return reader.topics;
}

} // namespace documents
