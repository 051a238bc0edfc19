// Feeds arbitrary bytes as a picture file through recognition by content, the image decoder and
// the picture reader. Whatever the bytes, there is no crash, hang or unbounded memory (the
// sanitizers watch those), and:
// - a picture is recognised exactly when its head has a picture's signature,
// - the reader ends Done, NoText or Damaged: never Encrypted, never Stopped when nobody stopped it,
// - bytes that do not decode are Damaged, and a picture that decodes is never Damaged.
// Recognition itself runs only on tiny images (at most 96 x 96 pixels), so that a run keeps its
// pace; larger ones are decoded only.

#include "search/documents/document_text.h"
#include "search/ocr/ocr.h"

#include <QImage>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const documents::Source source =
        documents::Source::fromBytes(bytes, QStringLiteral("input.png"));
    const QByteArrayView head = QByteArrayView(bytes).first(std::min<qsizetype>(bytes.size(), 64));
    const documents::Kind kind = documents::recognise(source, head);
    if ((kind == documents::Kind::Picture) != ocr::isPicture(head))
        std::abort();
    if (kind != documents::Kind::Picture)
        return 0;
    const QImage image = ocr::decode(bytes);
    if (image.isNull() || qint64(image.width()) * image.height() > 96 * 96)
        return 0;
    QString text;
    const documents::Outcome outcome = documents::extractText(source, kind, [&](QStringView piece) {
        text += piece;
        return true;
    });
    if (outcome != documents::Outcome::Done && outcome != documents::Outcome::NoText)
        std::abort();
    if ((outcome == documents::Outcome::Done) == text.isEmpty())
        std::abort();
    return 0;
}
