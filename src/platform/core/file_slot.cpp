#include "platform/core/file_slot.h"

#include "platform/core/gb18030.h"

#include <QFile>
#include <QSaveFile>

namespace platform {

namespace {
constexpr qint64 kReadChunk = 64 * 1024;
} // namespace

FileSlot::FileSlot() = default;

FileSlot::~FileSlot()
{
    closeAll();
}

bool FileSlot::isOpen() const
{
    return m_in || m_out;
}

bool FileSlot::openInput(const QString &path)
{
    closeAll();
    m_error.clear();
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        m_error = file->errorString();
        return false;
    }
    int bomLength = 0;
    m_encoding = detectEncoding(*file, &bomLength);
    if (bomLength > 0)
        file->read(bomLength);
    m_bytesCut = cutsAsBytes(m_encoding);
    if (!m_bytesCut)
        m_textDecoder = TextDecoder(m_encoding);
    else if (m_encoding.kind != TextEncoding::Gb18030)
        m_decoder = makeDecoder(m_encoding);
    m_in = std::move(file);
    return true;
}

bool FileSlot::openOutput(const QString &path, OutputEncoding encoding)
{
    closeAll();
    m_error.clear();
    auto file = std::make_unique<QSaveFile>(path);
    if (!file->open(QIODevice::WriteOnly)) {
        m_error = file->errorString();
        return false;
    }
    m_outEncoding = encoding;
    m_out = std::move(file);
    if (encoding == OutputEncoding::Utf8WithBom)
        m_out->write("\xEF\xBB\xBF", 3);
    return true;
}

bool FileSlot::fill()
{
    if (m_eofSeen || m_readFailed)
        return false;
    QByteArray chunk = m_in->read(kReadChunk);
    if (chunk.isEmpty()) {
        if (m_in->error() != QFileDevice::NoError) {
            m_error = m_in->errorString();
            m_readFailed = true;
            return false;
        }
        m_eofSeen = true;
        if (m_bytesCut)
            return false;
        m_text = m_text.mid(m_textPos);
        m_textPos = 0;
        const qsizetype before = m_text.size();
        m_textDecoder.finish(m_text);
        return m_text.size() > before;
    }
    if (!m_bytesCut) {
        m_text = m_text.mid(m_textPos);
        m_textPos = 0;
        m_textDecoder.append(m_text, chunk);
    } else {
        m_bytes = m_bytes.mid(m_pos) + chunk;
        m_pos = 0;
    }
    return true;
}

bool FileSlot::atEnd()
{
    if (!m_in)
        return true;
    for (;;) {
        if (!m_bytesCut) {
            const char16_t *p = reinterpret_cast<const char16_t *>(m_text.constData()) + m_textPos;
            const char16_t *end =
                reinterpret_cast<const char16_t *>(m_text.constData()) + m_text.size();
            m_textCutter.skipPendingLineFeed(p, end);
            m_textPos = p - reinterpret_cast<const char16_t *>(m_text.constData());
            if (m_textPos < m_text.size())
                return false;
        } else {
            const char *p = m_bytes.constData() + m_pos;
            const char *end = m_bytes.constData() + m_bytes.size();
            m_byteCutter.skipPendingLineFeed(p, end);
            m_pos = p - m_bytes.constData();
            if (m_pos < m_bytes.size())
                return false;
        }
        if (!fill())
            return true;
    }
}

bool FileSlot::readField(QString &field)
{
    field.clear();
    if (!m_in) {
        m_error = QStringLiteral("no input file is open");
        return false;
    }
    return m_bytesCut ? readByteField(field) : readTextField(field);
}

bool FileSlot::readByteField(QString &field)
{
    QByteArray bytes;
    AppendToBytes sink{bytes};
    for (;;) {
        const char *p = m_bytes.constData() + m_pos;
        const char *end = m_bytes.constData() + m_bytes.size();
        const bool ended = m_byteCutter.cut(p, end, sink);
        m_pos = p - m_bytes.constData();
        if (ended)
            break;
        if (!fill()) {
            if (!m_eofSeen)
                return false;
            m_byteCutter.reset(); // the input ends the field (an unclosed quote ends here too)
            break;
        }
    }
    field = m_encoding.kind == TextEncoding::Gb18030 ? decodeGb18030(bytes)
                                                     : decodeField(m_decoder, bytes);
    return true;
}

bool FileSlot::readTextField(QString &field)
{
    AppendToText sink{field};
    for (;;) {
        const auto *base = reinterpret_cast<const char16_t *>(m_text.constData());
        const char16_t *p = base + m_textPos;
        const bool ended = m_textCutter.cut(p, base + m_text.size(), sink);
        m_textPos = p - base;
        if (ended)
            return true;
        if (!fill()) {
            if (!m_eofSeen)
                return false;
            m_textCutter.reset();
            return true;
        }
    }
}

bool FileSlot::writeLine(const QString &text)
{
    if (!m_out) {
        m_error = QStringLiteral("no output file is open");
        return false;
    }
    QByteArray bytes;
    if (m_outEncoding == OutputEncoding::Utf8WithBom) {
        bytes = text.toUtf8();
    } else {
        QStringEncoder encoder = makeCodePageEncoder();
        bytes = encoder.encode(text);
    }
    bytes.append("\r\n", 2);
    if (m_out->write(bytes) != bytes.size()) {
        m_error = m_out->errorString();
        return false;
    }
    return true;
}

bool FileSlot::closeAll()
{
    bool ok = true;
    if (m_in) {
        m_in.reset();
        m_bytes.clear();
        m_pos = 0;
        m_text.clear();
        m_textPos = 0;
        m_byteCutter.reset();
        m_textCutter.reset();
        m_eofSeen = false;
        m_readFailed = false;
    }
    if (m_out) {
        if (!m_out->commit()) {
            m_error = m_out->errorString();
            ok = false;
        }
        m_out.reset();
    }
    return ok;
}

} // namespace platform
