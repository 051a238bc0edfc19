#include "search/documents/rtf/code_pages.h"

namespace documents::rtf {

namespace {

// A damaged file may name any number of code pages; past this many each reads as Windows-1252.
constexpr std::size_t kMaxDecoders = 32;
constexpr int kFallbackCodePage = 1252;

QStringDecoder makeDecoder(int codePage)
{
    switch (codePage) {
    case 932:
        return QStringDecoder("windows-31j");
    case 936:
        // GB18030 reads every GBK byte pair as GBK does, and four-byte characters too.
        return QStringDecoder("GB18030");
    case 949:
        return QStringDecoder("windows-949");
    case 950:
        return QStringDecoder("Big5");
    case 10000:
        return QStringDecoder("macintosh");
    case 65001:
        return QStringDecoder(QStringConverter::Utf8);
    case 437:
    case 850:
    case 852:
    case 866:
        return QStringDecoder(QByteArray("IBM" + QByteArray::number(codePage)).constData());
    default:
        break;
    }
    QStringDecoder decoder(QByteArray("windows-" + QByteArray::number(codePage)).constData());
    if (!decoder.isValid())
        decoder = QStringDecoder(QByteArray("cp" + QByteArray::number(codePage)).constData());
    return decoder;
}

} // namespace

int codePageOfCharset(int charset)
{
    switch (charset) {
    case 77: // Mac Roman
        return 10000;
    case 78:  // Mac Japanese
    case 128: // Shift-JIS
        return 932;
    case 79:  // Mac Korean
    case 129: // Hangul
    case 130: // Johab: no converter; its Hangul syllables are lost either way
        return 949;
    case 80:  // Mac Simplified Chinese
    case 134: // GB2312, in practice GBK
        return 936;
    case 81:  // Mac Traditional Chinese
    case 136: // Big5
        return 950;
    case 161:
        return 1253; // Greek
    case 162:
        return 1254; // Turkish
    case 163:
        return 1258; // Vietnamese
    case 177:
        return 1255; // Hebrew
    case 178:
        return 1256; // Arabic
    case 186:
        return 1257; // Baltic
    case 204:
        return 1251; // Cyrillic
    case 222:
        return 874; // Thai
    case 238:
        return 1250; // Central European
    case 254:
        return 437; // PC 437
    default:
        return 0;
    }
}

QStringDecoder &Decoders::forCodePage(int codePage)
{
    for (auto &[page, decoder] : m_decoders) {
        if (page == codePage)
            return decoder ? *decoder : forCodePage(kFallbackCodePage);
    }
    if (m_decoders.size() >= kMaxDecoders && codePage != kFallbackCodePage)
        return forCodePage(kFallbackCodePage);
    auto decoder = std::make_unique<QStringDecoder>(makeDecoder(codePage));
    // A code page without a converter is remembered as such, so it is not looked up again.
    if (!decoder->isValid())
        decoder.reset();
    m_decoders.emplace_back(codePage, std::move(decoder));
    return m_decoders.back().second ? *m_decoders.back().second : forCodePage(kFallbackCodePage);
}

} // namespace documents::rtf
