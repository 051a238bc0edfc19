#include "search/documents/text_screen.h"

#include "search/match/keyword.h"

#include "platform/core/byte_find.h"
#include "search/documents/ooxml/office_open_xml.h"
#include "search/documents/placed_text.h"
#include "search/documents/zip_package.h"

#include <QSet>

#include <algorithm>

namespace documents {

namespace {

// The keyword characters looked for: enough to tell most documents apart, few enough that a
// long keyword does not cost a scan per character.
// How much of an entry decides whether it is read as UTF-8 XML (room for the declaration).
constexpr qsizetype kHeadSize = 512;

bool contains(QByteArrayView text, QByteArrayView pattern)
{
    return platform::findBytes(text.begin(), text.end(), pattern) != nullptr;
}

bool endsWithCaseInsensitive(QByteArrayView name, QByteArrayView suffix)
{
    return name.size() >= suffix.size() &&
           name.last(suffix.size()).compare(suffix, Qt::CaseInsensitive) == 0;
}

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

QByteArrayView skipSpace(QByteArrayView text)
{
    while (!text.isEmpty() && isXmlSpace(text.front()))
        text = text.sliced(1);
    return text;
}

// How an entry would be read by the XML reader, from its first bytes.
enum class Head { Utf8Xml, OtherXml, NotXml };

Head classifyHead(QByteArrayView head)
{
    if (head.startsWith("\xEF\xBB\xBF")) {
        head = head.sliced(3);
    } else if (head.size() >= 2) {
        // A UTF-16 or UTF-32 byte order mark, or '<' in a two- or four-byte encoding.
        const auto b0 = uchar(head[0]), b1 = uchar(head[1]);
        if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF) || (b0 == '<' && b1 == 0) ||
            (b0 == 0 && (b1 == '<' || b1 == 0)))
            return Head::OtherXml;
    }
    head = skipSpace(head);
    if (!head.startsWith('<'))
        return Head::NotXml;
    if (!head.startsWith("<?xml"))
        return Head::Utf8Xml; // no declaration: UTF-8
    const qsizetype close = head.indexOf("?>");
    if (close < 0)
        return Head::OtherXml; // a declaration longer than the head: not worth reading
    const QByteArrayView declaration = head.first(close);
    const qsizetype at = declaration.indexOf("encoding");
    if (at < 0)
        return Head::Utf8Xml;
    QByteArrayView rest = skipSpace(declaration.sliced(at + 8));
    if (!rest.startsWith('='))
        return Head::OtherXml;
    rest = skipSpace(rest.sliced(1));
    if (rest.isEmpty() || (rest.front() != '"' && rest.front() != '\''))
        return Head::OtherXml;
    const qsizetype end = rest.indexOf(rest.front(), 1);
    if (end < 0)
        return Head::OtherXml;
    return rest.sliced(1, end - 1).compare("UTF-8", Qt::CaseInsensitive) == 0 ? Head::Utf8Xml
                                                                              : Head::OtherXml;
}

// Whether `head`, the first bytes of a UTF-8 XML entry, shows the start tag of its root element
// after nothing but the declaration, processing instructions, comments and white space. A
// document type declaration, the only place entities are declared, can stand only before the
// root element: after its start tag, "<!DOCTYPE" is character data (in a CDATA section or a
// comment) or makes the part malformed. False when the head does not tell.
bool headReachesRoot(QByteArrayView head)
{
    if (head.startsWith("\xEF\xBB\xBF"))
        head = head.sliced(3);
    for (;;) {
        head = skipSpace(head);
        QByteArrayView open, close;
        if (head.startsWith("<?"))
            open = "<?", close = "?>";
        else if (head.startsWith("<!--"))
            open = "<!--", close = "-->";
        else
            return head.size() >= 2 && head[0] == '<' && head[1] != '!' && head[1] != '/' &&
                   head[1] != '?';
        const qsizetype end = head.indexOf(close, open.size());
        if (end < 0)
            return false; // cut off by the end of the head
        head = head.sliced(end + close.size());
    }
}

constexpr QByteArrayView kCharacterReference = "&#";
constexpr QByteArrayView kDoctype = "<!DOCTYPE";
constexpr QByteArrayView kEncryptionData = "encryption-data";

} // namespace

PackageScan::PackageScan(const std::vector<QByteArray> &needles, Kind kind)
    : m_needles(needles), m_found(needles.size(), false), m_missing(needles.size()),
      m_ofd(kind == Kind::Ofd)
{
    // OFD text is read by the rules of placed glyphs: a radical in a part may stand for the
    // keyword's ideograph.
    if (!m_ofd)
        return;
    m_radicals.resize(needles.size());
    for (std::size_t i = 0; i < needles.size(); ++i) {
        const QString character = QString::fromUtf8(needles[i]);
        if (!character.isEmpty())
            m_radicals[i] = radicalsReadAs(character.toUcs4().value(0));
    }
}

bool PackageScan::beginEntry(QByteArrayView name)
{
    if (!endEntry())
        return false;
    m_xmlNamed = endsWithCaseInsensitive(name, ".xml") || endsWithCaseInsensitive(name, ".rels");
    m_manifest = name.compare("META-INF/manifest.xml", Qt::CaseInsensitive) == 0;
    // An encrypted OFD package lists its encrypted parts here; the extraction names it.
    if (m_ofd && name.compare("Encryptions.xml", Qt::CaseInsensitive) == 0)
        return decidePossible();
    m_headKnown = false;
    m_utf8Xml = false;
    m_entryText = false;
    m_entryImage = false;
    // Emptied, their memory kept for the next entry.
    m_pending.resize(0);
    m_tail.resize(0);
    m_alarms.clear();
    return true;
}

bool PackageScan::feed(QByteArrayView block)
{
    if (m_headKnown)
        return scan(block);
    // A block that holds the whole head is looked at where it is.
    if (m_pending.isEmpty() && block.size() >= kHeadSize)
        return settleHead(block);
    m_pending.append(block);
    return m_pending.size() < kHeadSize || settleHead(m_pending);
}

// Decides from the entry's first bytes (its first kHeadSize, whatever the blocks) what to look
// for, then scans `bytes`.
bool PackageScan::settleHead(QByteArrayView bytes)
{
    m_headKnown = true;
    const QByteArrayView head = bytes.first(std::min(bytes.size(), kHeadSize));
    switch (classifyHead(head)) {
    case Head::OtherXml:
        return decidePossible();
    case Head::NotXml:
        // An .xml entry that is not UTF-8 XML is damaged or encrypted: the extraction names it.
        if (m_xmlNamed)
            return decidePossible();
        break;
    case Head::Utf8Xml:
        m_utf8Xml = true;
        m_alarms.push_back(kCharacterReference);
        if (!headReachesRoot(head))
            m_alarms.push_back(kDoctype);
        if (m_manifest)
            m_alarms.push_back(kEncryptionData);
        break;
    }
    return scan(bytes);
}

// Possible is "every needle found", whatever was found.
bool PackageScan::decidePossible()
{
    m_missing = 0;
    return false;
}

// Searches `bytes`, and the joint of the entry's bytes before them with them.
bool PackageScan::scan(QByteArrayView bytes)
{
    constexpr qsizetype kCarry = 14; // the longest pattern ("encryption-data") less one
    if (!m_tail.isEmpty()) {
        const QByteArray joint = m_tail + bytes.first(std::min(bytes.size(), kCarry));
        if (!search(joint))
            return false;
    }
    if (!search(bytes))
        return false;
    if (bytes.size() >= kCarry) {
        m_tail = bytes.last(kCarry).toByteArray();
    } else {
        m_tail.append(bytes);
        m_tail.remove(0, std::max<qsizetype>(0, m_tail.size() - kCarry));
    }
    return true;
}

bool PackageScan::search(QByteArrayView text)
{
    if (m_ofd && m_utf8Xml) {
        if (!m_entryText && contains(text, "TextObject"))
            m_entryText = m_sawTextObject = true;
        if (!m_entryImage && contains(text, "ImageObject"))
            m_entryImage = true;
    }
    for (const QByteArrayView alarm : m_alarms) {
        if (contains(text, alarm))
            return decidePossible();
    }
    for (std::size_t i = 0; i < m_needles.size(); ++i) {
        if (!m_found[i] && (contains(text, m_needles[i]) || holdsRadical(text, i))) {
            m_found[i] = true;
            if (--m_missing == 0)
                return false;
        }
    }
    return true;
}

bool PackageScan::holdsRadical(QByteArrayView text, std::size_t needle) const
{
    if (needle >= m_radicals.size())
        return false;
    return std::any_of(m_radicals[needle].cbegin(), m_radicals[needle].cend(),
                       [&](const QByteArray &radical) { return contains(text, radical); });
}

TextScreen::TextScreen(QStringView keyword) : m_needles(search::Keyword::utf8CharactersOf(keyword))
{}

Screen screenPackageBytes(const ZipPackage &package, Kind kind,
                          const std::vector<QByteArray> &needles, platform::WorkMonitor &monitor)
{
    if (needles.empty() ||
        (kind != Kind::OfficeOpenXml && kind != Kind::OpenDocument && kind != Kind::Ofd) ||
        !package.isOpen())
        return Screen::Possible;
    // Of a Word or Excel package only the parts the reader takes text from; the styles, the
    // theme, the settings, the pictures and fonts cannot put a character into the text.
    QSet<QString> textParts;
    QStringView written;
    const bool onlyTextParts =
        kind == Kind::OfficeOpenXml && officeTextParts(package, textParts, written);
    // Characters the reader writes of its own (a workbook's dates in 年月日) are in no entry.
    std::vector<QByteArray> inEntries;
    for (const QByteArray &needle : needles) {
        if (!written.contains(QString::fromUtf8(needle)))
            inEntries.push_back(needle);
    }
    if (inEntries.empty())
        return Screen::Possible;
    PackageScan scan(inEntries, kind);
    bool stopped = false;
    using Step = ZipPackage::Step;
    const ZipPackage::Status status = package.readEach(
        [&](QByteArrayView name) {
            if (onlyTextParts && !textParts.contains(QString::fromUtf8(name).toLower()))
                return Step::Skip;
            return scan.beginEntry(name) ? Step::Read : Step::Stop;
        },
        [&](QByteArrayView block) {
            if (!monitor.keepGoing()) {
                stopped = true;
                return false;
            }
            return scan.feed(block);
        });
    if (stopped)
        return Screen::Stopped;
    if (status != ZipPackage::Status::Ok)
        return Screen::Possible;
    return scan.possibleAtEnd() ? Screen::Possible : Screen::Absent;
}

TextScreen::Verdict TextScreen::screen(const Source &source, Kind kind,
                                       const std::function<bool()> &keepGoing) const
{
    ZipPackage package;
    if (!usable() ||
        (kind != Kind::OfficeOpenXml && kind != Kind::OpenDocument && kind != Kind::Ofd) ||
        !package.open(source))
        return Verdict::Possible;
    platform::WorkMonitor monitor(keepGoing);
    return screenPackageBytes(package, kind, m_needles, monitor);
}

} // namespace documents
