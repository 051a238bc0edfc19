#include "platform/core/gb18030.h"

#include "platform/core/utf8_sequence.h"

#include <QList>
#include <QStringDecoder>

namespace platform {

namespace {

QString decodeOnce(QStringDecoder &decoder, QByteArrayView bytes)
{
    decoder.resetState();
    QString text = decoder.decode(bytes);
    decoder.resetState();
    return text;
}

// The pieces of `text` between line feeds, as views into it (no string per piece: the tables
// are made when the first file is read, and must cost little).
QList<QStringView> lines(const QString &text)
{
    QList<QStringView> result;
    result.reserve(text.size() / 2);
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'\n') {
            result.append(QStringView(text).mid(from, i - from));
            from = i + 1;
        }
    }
    result.append(QStringView(text).mid(from));
    return result;
}

} // namespace

const Gb18030Tables &Gb18030Tables::instance()
{
    static const Gb18030Tables tables;
    return tables;
}

Gb18030Tables::Gb18030Tables() : m_pairs(126 * 256), m_single(256, 0xFFFD), m_four(kBmpFourCount)
{
    QStringDecoder gbk("GBK");
    m_usable = gbk.isValid();
    if (!m_usable)
        return;
    // Each byte alone, and every lead byte with every next byte, each followed by a line feed
    // (never part of a sequence, so the converter starts afresh after it): all in one call, the
    // line feed as the next byte in one of its own.
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        if (b != '\n')
            all.append(char(b)).append('\n');
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int next = 0; next < 256; ++next) {
            if (next != '\n')
                all.append(char(lead)).append(char(next)).append('\n');
        }
    }
    const QString decoded = decodeOnce(gbk, all);
    const QList<QStringView> parts = lines(decoded);
    if (parts.size() != 255 + 126 * 255 + 1) {
        m_usable = false;
        return;
    }
    QList<QStringView> alone(256);
    alone['\n'] = QStringView(u"\n");
    qsizetype at = 0;
    for (int b = 0; b < 256; ++b) {
        if (b == '\n')
            continue;
        alone[b] = parts.at(at++);
        const bool isLead = b >= 0x81 && b <= 0xFE;
        if (!isLead) {
            if (alone[b].size() != 1)
                m_usable = false;
            else
                m_single[b] = alone[b].at(0).unicode();
        }
    }
    m_single['\n'] = u'\n';
    // Either one character (or one U+FFFD) for both bytes, or U+FFFD for the lead and the next
    // byte read on its own.
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int next = 0; next < 256; ++next) {
            const char feed[3] = {char(lead), '\n', '\n'};
            const QString fed =
                next == '\n' ? decodeOnce(gbk, QByteArrayView(feed, 3)).chopped(1) : QString();
            const QStringView text = next == '\n' ? QStringView(fed) : parts.at(at++);
            Pair &pair = m_pairs[(lead - 0x81) * 256 + next];
            if (text.size() == 1 + alone[next].size() &&
                text.front() == QChar(QChar::ReplacementCharacter) &&
                text.sliced(1) == alone[next]) {
                pair = {0xFFFD, 1};
            } else if (text.size() == 1) {
                pair = {text.at(0).unicode(), 2};
            } else {
                pair = {0xFFFD, 1};
                m_usable = false;
            }
        }
    }
    // The four-byte forms of the Basic Multilingual Plane, all in one call, each followed by a
    // line feed.
    QStringDecoder gb18030("GB18030");
    if (!gb18030.isValid()) {
        m_usable = false;
        return;
    }
    all.clear();
    all.reserve(kBmpFourCount * 5);
    for (quint32 index = 0; index < kBmpFourCount; ++index) {
        quint32 rest = index;
        all.append(char(0x81 + rest / 12600));
        rest %= 12600;
        all.append(char(0x30 + rest / 1260));
        rest %= 1260;
        all.append(char(0x81 + rest / 10));
        all.append(char(0x30 + rest % 10));
        all.append('\n');
    }
    const QString fourText = decodeOnce(gb18030, all);
    const QList<QStringView> fours = lines(fourText);
    if (fours.size() != qsizetype(kBmpFourCount) + 1) {
        m_usable = false;
        return;
    }
    for (quint32 index = 0; index < kBmpFourCount; ++index) {
        const QStringView part = fours.at(index);
        const bool one = part.size() == 1 && !part.at(0).isSurrogate();
        m_four[index] = one ? part.at(0).unicode() : char16_t(0xFFFD);
    }
}

char32_t Gb18030Tables::four(const uchar *p) const
{
    const quint32 index = fourIndex(p);
    if (index < kBmpFourCount)
        return m_four[index];
    if (index >= kSupplementaryFirst && index - kSupplementaryFirst < kSupplementaryCount)
        return 0x10000 + (index - kSupplementaryFirst);
    return 0xFFFD;
}

int Gb18030Decoder::step(const Gb18030Tables &tables, const uchar *p, const uchar *end, bool atEnd,
                         char16_t *&out)
{
    const uchar b = *p;
    if (b < 0x81 || b == 0xFF) {
        *out++ = tables.single(b);
        return 1;
    }
    const qsizetype available = end - p;
    if (available < 2) {
        if (!atEnd)
            return 0;
        *out++ = tables.pair(b, '\n').c;
        return 1;
    }
    const uchar next = p[1];
    if (next >= 0x30 && next <= 0x39) {
        // A digit after a lead byte may begin a four-byte sequence: wait for its last bytes.
        const bool thirdFits = available < 3 || (p[2] >= 0x81 && p[2] <= 0xFE);
        if (available < 4 && thirdFits && !atEnd)
            return 0;
        if (available >= 4 && Gb18030Tables::isFourByteStart(p)) {
            const char32_t uc = tables.four(p);
            if (uc >= 0x10000) {
                *out++ = char16_t(0xD800 + ((uc - 0x10000) >> 10));
                *out++ = char16_t(0xDC00 + ((uc - 0x10000) & 0x3FF));
            } else {
                *out++ = char16_t(uc);
            }
            return 4;
        }
    }
    const Gb18030Tables::Pair pair = tables.pair(b, next);
    *out++ = pair.c;
    return pair.length;
}

char16_t *Gb18030Decoder::decode(const char *data, qsizetype size, char16_t *out)
{
    const Gb18030Tables &tables = Gb18030Tables::instance();
    auto p = reinterpret_cast<const uchar *>(data);
    const uchar *end = p + size;
    if (m_pending > 0) {
        // Finish the steps that begin in the pending bytes, with up to 4 bytes of the piece.
        uchar joined[8];
        std::memcpy(joined, m_bytes, m_pending);
        const int taken = int(qMin<qsizetype>(end - p, 4));
        std::memcpy(joined + m_pending, p, taken);
        const int total = m_pending + taken;
        int at = 0;
        while (at < m_pending) {
            const int used = step(tables, joined + at, joined + total, false, out);
            if (used == 0) { // still incomplete: the whole piece was too short
                std::memmove(m_bytes, joined + at, total - at);
                m_pending = total - at;
                return out;
            }
            at += used;
        }
        p += at - m_pending;
        m_pending = 0;
    }
    while (p < end) {
        const uchar *ascii = utf8::skipAsciiWords(p, end);
        for (; p < ascii; ++p)
            *out++ = *p;
        if (p == end)
            break;
        const int used = step(tables, p, end, false, out);
        if (used == 0) {
            m_pending = int(end - p);
            std::memcpy(m_bytes, p, m_pending);
            return out;
        }
        p += used;
    }
    return out;
}

char16_t *Gb18030Decoder::finish(char16_t *out)
{
    const Gb18030Tables &tables = Gb18030Tables::instance();
    int at = 0;
    while (at < m_pending)
        at += step(tables, m_bytes + at, m_bytes + m_pending, true, out);
    m_pending = 0;
    return out;
}

void Gb18030Decoder::append(QString &text, const char *data, qsizetype size)
{
    const qsizetype old = text.size();
    text.resize(old + size + 4);
    char16_t *begin = reinterpret_cast<char16_t *>(text.data());
    text.resize(decode(data, size, begin + old) - begin);
}

void Gb18030Decoder::appendFinish(QString &text)
{
    if (m_pending == 0)
        return;
    const qsizetype old = text.size();
    text.resize(old + 8);
    char16_t *begin = reinterpret_cast<char16_t *>(text.data());
    text.resize(finish(begin + old) - begin);
}

QString decodeGb18030(QByteArrayView bytes)
{
    Gb18030Decoder decoder;
    QString text;
    decoder.append(text, bytes.data(), bytes.size());
    decoder.appendFinish(text);
    return text;
}

} // namespace platform
