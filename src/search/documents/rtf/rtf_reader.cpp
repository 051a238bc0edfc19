#include "search/documents/rtf/rtf_reader.h"

#include "search/documents/rtf/control_words.h"
#include "search/documents/text_sink.h"

#include <algorithm>
#include <climits>

namespace documents::rtf {

namespace {

// Text bytes are decoded once this many have gathered, or earlier where text of another kind
// (a line end, a \uN character) or another code page follows.
constexpr qsizetype kDecodeSize = 4096;
// Group states kept; deeper groups share the innermost state (no real document nests this deep).
constexpr std::size_t kMaxGroupStates = 1024;
constexpr std::size_t kMaxFonts = 4096;
// Control word names longer than this are cut (no real word is), parameters clamped.
constexpr qsizetype kMaxNameLength = 32;
constexpr qint64 kMaxParameter = qint64(1) << 40;
// A \ucN larger than this is damage, not a fallback: it would drop the text that follows.
constexpr int kMaxFallback = 16;

bool isLetter(int c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}

int hexValue(int c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A byte of text that needs no token of its own.
bool isPlain(char c)
{
    return uchar(c) >= 0x20 && c != '\\' && c != '{' && c != '}';
}

} // namespace

Outcome Reader::read()
{
    m_bytes.reserve(2 * kDecodeSize);
    bool notRtf = false;
    for (int c = m_input.get(); c >= 0; c = m_input.get()) {
        if (c == '{') {
            openGroup();
        } else if (c == '}') {
            if (!closeGroup())
                break;
        } else if (c == '\\') {
            controlSymbol(m_input.get());
        } else if (c == 0) {
            // RTF is 7-bit text: a NUL outside \bin data means what follows is not RTF. What came
            // before is the document, when there was any.
            notRtf = true;
            break;
        } else if (m_group.destination != Destination::Text) {
            passOverSkipped();
        } else if (c != '\r' && c != '\n') {
            textByte(c);
            if (m_skipFallback == 0)
                takePlainRun();
        }
    }
    if (m_input.stopped())
        return Outcome::Stopped;
    decodeBytes(true);
    if (notRtf && !m_gaveText)
        return Outcome::Damaged;
    if (!m_gaveText && m_sawPicture)
        return Outcome::NoText;
    return Outcome::Done;
}

void Reader::openGroup()
{
    m_skipFallback = 0;
    m_ignorable = false;
    if (m_outer.size() < kMaxGroupStates)
        m_outer.push_back(m_group);
    else
        ++m_deepGroups;
}

bool Reader::closeGroup()
{
    m_skipFallback = 0;
    m_ignorable = false;
    if (m_deepGroups > 0) {
        --m_deepGroups;
        return true;
    }
    if (m_outer.empty())
        return false;
    m_group = m_outer.back();
    m_outer.pop_back();
    // The font table may have given the font its charset only now.
    updateCodePage();
    // The outermost group (the one "{\rtf" opens) closed: the document ends here.
    return !m_outer.empty();
}

void Reader::controlSymbol(int c)
{
    if (c < 0)
        return;
    if (c == 0) {
        m_input.unget(); // no RTF: the reading loop ends at it
        return;
    }
    if (isLetter(c)) {
        controlWord(c);
        return;
    }
    if (c == '\'') {
        const int high = hexValue(m_input.get());
        if (high < 0) {
            m_input.unget();
            return;
        }
        const int low = hexValue(m_input.get());
        if (low < 0) {
            m_input.unget();
            return;
        }
        textByte(high * 16 + low);
        return;
    }
    if (c == '\\' || c == '{' || c == '}') {
        // Part of the byte run: in Big5 and Shift-JIS a backslash or brace is a trail byte.
        textByte(c);
        return;
    }
    if (c == '*') {
        m_ignorable = true;
        return;
    }
    if (m_skipFallback > 0) {
        --m_skipFallback;
        return;
    }
    if (m_group.destination != Destination::Text)
        return;
    switch (c) {
    case '~':
        give(QChar(0x00A0));
        break;
    case '_':
        // A non-breaking hyphen: the hyphen a keyword is typed with.
        give(QChar(u'-'));
        break;
    case '\t':
        give(QChar(u'\t'));
        break;
    case '\r':
    case '\n':
        give(QChar(u'\n')); // a backslash ending a line is a \par
        break;
    default:
        break; // \- (optional hyphen), \: and \| show nothing
    }
}

void Reader::controlWord(int first)
{
    char name[kMaxNameLength];
    qsizetype length = 0;
    int c = first;
    while (c >= 0 && isLetter(c)) {
        if (length < kMaxNameLength)
            name[length++] = char(c);
        c = m_input.get();
    }
    bool negative = false;
    if (c == '-') {
        negative = true;
        c = m_input.get();
    }
    bool hasParameter = false;
    qint64 parameter = 0;
    while (c >= 0 && isDigit(c)) {
        hasParameter = true;
        parameter = std::min(parameter * 10 + (c - '0'), kMaxParameter);
        c = m_input.get();
    }
    if (negative)
        parameter = -parameter;
    // One space ends the word and belongs to it; anything else starts the next token.
    if (c >= 0 && c != ' ')
        m_input.unget();

    const ControlWord word = rtf::controlWord(QByteArrayView(name, length));
    if (word.action == Action::Binary) {
        if (hasParameter && parameter > 0)
            m_input.skip(parameter);
        return;
    }
    if (m_skipFallback > 0) {
        --m_skipFallback;
        return;
    }
    if (m_ignorable) {
        // "{\*\word": a destination a reader that does not know it skips.
        m_ignorable = false;
        if (word.action != Action::Kept)
            m_group.destination = Destination::Skipped;
        return;
    }
    if (m_group.destination == Destination::Skipped)
        return;
    if (m_group.destination == Destination::FontTable) {
        if (word.action == Action::Font) {
            m_tableFont = int(std::clamp<qint64>(parameter, 0, INT_MAX));
        } else if ((word.action == Action::FontCharset || word.action == Action::FontCodePage) &&
                   m_tableFont >= 0 &&
                   (m_fonts.size() < kMaxFonts || m_fonts.contains(m_tableFont))) {
            Font &font = m_fonts[m_tableFont];
            (word.action == Action::FontCharset ? font.charset : font.codePage) = int(parameter);
        }
        return;
    }

    switch (word.action) {
    case Action::EndLine:
        give(QChar(u'\n'));
        break;
    case Action::Character:
        give(QChar(word.character));
        break;
    case Action::EndCell:
        decodeBytes(true);
        ++m_pendingTabs;
        break;
    case Action::EndRow:
        decodeBytes(true);
        m_pendingTabs = 0;
        give(QChar(u'\n'));
        break;
    case Action::Unicode:
        // A signed 16-bit value; the characters past U+FFFF some writers give as they are.
        if (hasParameter)
            giveCharacter(char32_t(parameter < 0 ? parameter + 65536 : parameter));
        m_skipFallback = m_group.fallback;
        break;
    case Action::FallbackCount:
        m_group.fallback = int(std::clamp<qint64>(parameter, 0, kMaxFallback));
        break;
    case Action::Font:
        m_group.font = int(std::clamp<qint64>(parameter, 0, INT_MAX));
        updateCodePage();
        break;
    case Action::Plain:
        m_group.font = -1;
        updateCodePage();
        break;
    case Action::DefaultFont:
        m_defaultFont = int(std::clamp<qint64>(parameter, 0, INT_MAX));
        updateCodePage();
        break;
    case Action::AnsiCodePage:
        if (parameter > 0 && parameter < 100000) {
            m_documentCodePage = int(parameter);
            m_codePageGiven = true;
            updateCodePage();
        }
        break;
    case Action::MacCharset:
    case Action::PcCharset:
    case Action::PcaCharset:
        if (!m_codePageGiven) {
            m_documentCodePage = word.action == Action::MacCharset  ? 10000
                                 : word.action == Action::PcCharset ? 437
                                                                    : 850;
            updateCodePage();
        }
        break;
    case Action::FontTable:
        m_group.destination = Destination::FontTable;
        m_tableFont = -1;
        break;
    case Action::Picture:
        m_sawPicture = true;
        m_group.destination = Destination::Skipped;
        break;
    case Action::Skip:
        m_group.destination = Destination::Skipped;
        break;
    case Action::FontCharset:
    case Action::FontCodePage:
    case Action::Binary:
    case Action::Kept:
    case Action::None:
        break;
    }
}

void Reader::textByte(int c)
{
    if (m_skipFallback > 0) {
        --m_skipFallback;
        return;
    }
    if (m_group.destination != Destination::Text)
        return;
    if (c < 0x20) {
        if (c == '\t')
            give(QChar(u'\t'));
        return; // line ends are layout of the file, other control bytes no text
    }
    useCodePage();
    m_bytes.append(char(c));
}

void Reader::takePlainRun()
{
    const QByteArrayView run = m_input.takeWhile(isPlain);
    if (run.isEmpty())
        return;
    useCodePage();
    m_bytes.append(run);
    if (m_bytes.size() >= kDecodeSize)
        decodeBytes(false);
}

void Reader::passOverSkipped()
{
    // A picture's hex digits and the like: only a brace or backslash (or a NUL) can end them.
    m_input.takeWhile([](char c) { return c != '\\' && c != '{' && c != '}' && c != 0; });
}

void Reader::updateCodePage()
{
    const auto font = m_fonts.find(m_group.font < 0 ? m_defaultFont : m_group.font);
    int codePage = 0;
    if (font != m_fonts.end())
        codePage = font->second.codePage > 0 ? font->second.codePage
                                             : codePageOfCharset(font->second.charset);
    m_codePage = codePage > 0 ? codePage : m_documentCodePage;
}

void Reader::useCodePage()
{
    if (m_decoder && m_bytesCodePage == m_codePage)
        return;
    decodeBytes(true);
    m_decoder = &m_decoders.forCodePage(m_codePage);
    m_bytesCodePage = m_codePage;
}

void Reader::decodeBytes(bool end)
{
    if (!m_bytes.isEmpty()) {
        m_decoded.resize(m_decoder->requiredSpace(m_bytes.size()));
        QChar *const begin = m_decoded.data();
        const QChar *const stop = m_decoder->appendToBuffer(begin, m_bytes);
        m_decoded.truncate(stop - begin);
        m_bytes.resize(0); // keeps the capacity, unlike clear()
        give(QStringView(m_decoded));
    }
    // A character's first byte left without the rest is no character: it must not join bytes
    // that come after other text.
    if (end && m_decoder)
        m_decoder->resetState();
}

void Reader::give(QStringView text)
{
    if (text.isEmpty())
        return;
    if (!m_bytes.isEmpty())
        decodeBytes(true);
    for (; m_pendingTabs > 0 && !m_sink.stopRequested(); --m_pendingTabs)
        m_sink.append(QChar(u'\t'));
    m_pendingTabs = 0;
    m_sink.append(text);
    if (!m_gaveText)
        m_gaveText = std::any_of(text.begin(), text.end(), [](QChar c) { return !c.isSpace(); });
}

void Reader::giveCharacter(char32_t codePoint)
{
    if (codePoint == 0 || codePoint > 0x10FFFF)
        return;
    // Halves of a pair come as two \uN each: they are kept as they are, to join in the text.
    if (codePoint <= 0xFFFF) {
        give(QChar(char16_t(codePoint)));
        return;
    }
    const QChar pair[] = {QChar(QChar::highSurrogate(codePoint)),
                          QChar(QChar::lowSurrogate(codePoint))};
    give(QStringView(pair, 2));
}

} // namespace documents::rtf
