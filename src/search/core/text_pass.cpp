#include "search/core/text_pass.h"

#include <algorithm>

namespace search {

using platform::TextEncoding;

qint64 TextPass::fill(qsizetype size)
{
    const qint64 got = m_file->readInto(m_raw, size);
    if (got > 0)
        m_stats.bytesRead += got;
    return got;
}

// Feeds the sniffer from `from` on, reading on until the encoding is known when a non-ASCII
// byte has been seen. False on a read error.
bool TextPass::decideEncoding(qsizetype from)
{
    std::optional<TextEncoding> encoding = m_sniffer.feed(QByteArrayView(m_raw).sliced(from));
    while (!encoding && m_sniffer.needsMore()) {
        const qsizetype old = m_raw.size();
        const qint64 got = fill(platform::kSniffWindow);
        if (got < 0)
            return false;
        if (got == 0) {
            encoding = m_sniffer.finish();
            break;
        }
        encoding = m_sniffer.feed(QByteArrayView(m_raw).sliced(old));
    }
    if (!encoding)
        return true; // all ASCII so far
    m_decoder.setEncoding({*encoding, {}});
    m_stats.encoding = *encoding;
    if (m_mode == Mode::ScanBytes)
        setNeedle(QByteArrayView(m_raw).sliced(from));
    return true;
}

// The keyword's bytes in the encoding as far as it is known, and its rarest character in
// `sample`, the start of the file.
void TextPass::setNeedle(QByteArrayView sample)
{
    const std::optional<TextEncoding> encoding = m_decoder.encoding();
    m_scan.setNeedle(m_prefilter.needle(encoding), m_prefilter.rarestCharacter(encoding, sample));
}

void TextPass::startBytes()
{
    if (m_bytesFirst && m_prefilter.usable(m_decoder.encoding())) {
        m_mode = Mode::ScanBytes;
        m_stats.bytesSearched = true;
        setNeedle(m_raw);
    } else {
        m_mode = Mode::Decode;
        m_matcher.begin(m_keyword);
    }
}

// Cuts a chunk of a byte-encoded file into fields. False when the pass must restart.
bool TextPass::processBytes(const char *begin, const char *end)
{
    const char *p = begin;
    if (m_mode == Mode::ScanBytes) {
        JoinedWindow &window = m_scan.window();
        if (const auto resume = m_scan.skipTo(begin, end, m_cutter.state(), m_decoder.encoding())) {
            m_cutter.resume(resume->state, resume->afterCarriageReturn);
            window.restartAfterGap();
            p = resume->at;
            ++m_stats.chunksSkipped;
        }
        window.reserve(end - p);
        while (p < end) {
            if (m_cutter.cut(p, end, window))
                window.markFieldStart();
        }
        const ByteScan::Verdict verdict = m_scan.scan(m_decoder, m_matcher);
        m_stats.candidatesChecked = m_scan.candidatesChecked();
        switch (verdict) {
        case ByteScan::Verdict::NoHitYet:
            return true;
        case ByteScan::Verdict::Restart:
            return false;
        case ByteScan::Verdict::Hit:
            m_mode = Mode::Decode; // from here on decode everything, to complete the excerpt
            return true;
        }
    }
    DecodeSink sink{*this};
    while (p < end) {
        if (m_cutter.cut(p, end, sink))
            m_decoder.endField(m_text);
    }
    m_matcher.feed(m_text);
    m_text.resize(0);
    return true;
}

bool TextPass::complete() const
{
    if (m_mode == Mode::Text)
        return m_textMatcher.complete();
    return m_mode == Mode::Decode && m_matcher.complete();
}

std::optional<FileSearchResult> TextPass::run(ByteSource &file)
{
    FileSearchResult result;
    m_file = &file;
    const auto readError = [&] {
        result.outcome = FileSearchResult::Outcome::Unreadable;
        result.status = ReadStatus::ReadError;
        return result;
    };

    const qsizetype chunk = std::max<qsizetype>(m_options.chunkSize, 1);
    qsizetype offset = 0;
    m_stats.encoding = TextEncoding::Gb18030;
    std::optional<platform::Encoding> decided;
    if (const auto bom = platform::detectBom(m_raw)) {
        offset = bom->length;
        decided = platform::Encoding{bom->encoding, {}};
    } else {
        // The head (a declared charset, the zero bytes of UTF-16) decides before any byte is cut.
        while (m_raw.size() < platform::kHeadSize) {
            const qint64 got = fill(platform::kHeadSize - m_raw.size());
            if (got < 0)
                return readError();
            if (got == 0)
                break;
        }
        const bool ended = m_raw.size() < platform::kHeadSize;
        decided = platform::encodingFromHead(
            QByteArrayView(m_raw).first(std::min(m_raw.size(), platform::kHeadSize)), ended);
    }
    if (decided) {
        m_stats.encoding = decided->kind;
        if (!platform::cutsAsBytes(*decided)) {
            m_mode = Mode::Text;
            m_textDecoder = platform::TextDecoder(*decided);
            m_textMatcher.begin(m_keyword);
        } else {
            m_decoder.setEncoding(*decided);
        }
    }
    if (m_mode != Mode::Text)
        startBytes();
    // A small file is whole in the buffer already: when no encoding the rule may still decide
    // lets its bytes hold the keyword, nothing of it need be decided, cut or scanned.
    if (!decided && m_mode == Mode::ScanBytes && file.atEnd() && m_prefilter.absentFromAll(m_raw)) {
        m_stats.ruledOutByBytes = true;
        return result;
    }

    for (;;) {
        if (m_raw.size() > offset) {
            if (m_mode == Mode::Text) {
                m_textDecoder.append(m_text, QByteArrayView(m_raw).sliced(offset));
                m_textMatcher.feed(m_text);
                m_text.resize(0);
            } else {
                if (!m_decoder.encoding() && !decideEncoding(offset))
                    return readError();
                if (m_mode == Mode::ScanBytes && !m_prefilter.usable(m_decoder.encoding()))
                    return std::nullopt; // no byte form in this file's encoding
                if (!processBytes(m_raw.constData() + offset, m_raw.constData() + m_raw.size()))
                    return std::nullopt;
            }
            noteBuffers();
            if (complete())
                break;
            if (!m_monitor.keepGoing()) {
                result.outcome = FileSearchResult::Outcome::Stopped;
                return result;
            }
        }
        m_raw.resize(0);
        offset = 0;
        if (fill(chunk) < 0)
            return readError();
        if (m_raw.isEmpty())
            break; // the end of the file
    }
    if (!complete()) {
        // The end of the file ends the last field (an unclosed quote too).
        if (m_mode == Mode::Text) {
            m_textDecoder.finish(m_text);
            m_textMatcher.feed(m_text);
        } else if (m_mode == Mode::Decode) {
            m_decoder.endField(m_text);
            m_matcher.feed(m_text);
        }
        m_text.resize(0);
    }
    const bool found =
        m_mode == Mode::Text ? m_textMatcher.found() : m_mode == Mode::Decode && m_matcher.found();
    if (found) {
        result.outcome = FileSearchResult::Outcome::Hit;
        result.excerpt = m_mode == Mode::Text ? m_textMatcher.excerpt() : m_matcher.excerpt();
    }
    return result;
}

void TextPass::noteBuffers()
{
    const qsizetype held = m_raw.capacity() + m_scan.heldBytes() + m_text.capacity() * 2;
    m_stats.peakBufferBytes = std::max(m_stats.peakBufferBytes, held);
}

} // namespace search
