// The large scans of bench_ocr's "gen-large" command (see the head of bench_ocr.cpp): scanned
// PDF files of oversized and of ordinary pages, and pictures larger than a page, from a fixed
// seed.
#include "bench_ocr_scans.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QRectF>

#include <random>

namespace {

// One JPEG of a PDF page, placed at `place` (points, from the page's top left).
struct PlacedImage
{
    QByteArray jpeg;
    QSize pixels;
    QRectF place;
};

struct PdfPage
{
    QSizeF points;
    QList<PlacedImage> images;
};

QByteArray jpegOf(const QImage &image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return bytes;
}

// A PDF whose pages are only their images, written object by object.
QByteArray pdfOf(const QList<PdfPage> &pages)
{
    QList<QByteArray> objects{"<< /Type /Catalog /Pages 2 0 R >>", {}};
    QByteArray kids;
    for (const PdfPage &page : pages) {
        QByteArray content, names;
        for (qsizetype i = 0; i < page.images.size(); ++i) {
            const PlacedImage &image = page.images.at(i);
            objects.append("<< /Type /XObject /Subtype /Image /Width " +
                           QByteArray::number(image.pixels.width()) + " /Height " +
                           QByteArray::number(image.pixels.height()) +
                           " /ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /DCTDecode "
                           "/Length " +
                           QByteArray::number(image.jpeg.size()) + " >>\nstream\n" + image.jpeg +
                           "\nendstream");
            const QRectF &r = image.place;
            content += "q " + QByteArray::number(r.width(), 'f', 2) + " 0 0 " +
                       QByteArray::number(r.height(), 'f', 2) + " " +
                       QByteArray::number(r.x(), 'f', 2) + " " +
                       QByteArray::number(page.points.height() - r.bottom(), 'f', 2) + " cm /Im" +
                       QByteArray::number(i) + " Do Q\n";
            names +=
                "/Im" + QByteArray::number(i) + " " + QByteArray::number(objects.size()) + " 0 R ";
        }
        objects.append("<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" +
                       content + "endstream");
        objects.append("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " +
                       QByteArray::number(page.points.width()) + " " +
                       QByteArray::number(page.points.height()) + "] /Resources << /XObject << " +
                       names + ">> >> /Contents " + QByteArray::number(objects.size()) + " 0 R >>");
        kids += QByteArray::number(objects.size()) + " 0 R ";
    }
    objects[1] =
        "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages.size()) + " >>";
    QByteArray pdf("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n");
    QList<qsizetype> offsets;
    for (qsizetype n = 0; n < objects.size(); ++n) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(n + 1) + " 0 obj\n" + objects.at(n) + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

// Writes lines of words drawn from `characters` across `image` (white), in a font of `pixels`
// pixels, `lines` lines from row `top`; `first` is the second word of the first line.
void writeLines(QImage &image, std::mt19937 &random, const QString &characters, int pixels, int top,
                int lines, const QString &first = {})
{
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(pixels);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const int margin = pixels * 3;
    const int perLine = (image.width() - 2 * margin) / QFontMetrics(font).horizontalAdvance(u'中');
    std::uniform_int_distribution<qsizetype> pick(0, characters.size() - 1);
    for (int n = 0; n < lines; ++n) {
        QString line;
        while (line.size() < perLine - 4) {
            for (int i = 0; i < 4; ++i)
                line += characters[pick(random)];
            // `first` after the line's first word, as a keyword stands in prose.
            if (n == 0 && line.size() == 4)
                line += first;
            if (random() % 8 == 0)
                line += u'，';
        }
        painter.drawText(margin, top + pixels + n * pixels * 8 / 5, line);
    }
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int generateLargeScans(const QString &folder, const QString &characters, const QString &keyword)
{
    QDir().mkpath(folder + QStringLiteral("/large"));
    std::mt19937 random(20261210);
    // 8 pages of 1225 x 1800 pt as 96 dpi strips (1633 x 400 pixels, six a page); the keyword
    // on page 1.
    QList<PdfPage> oversized;
    for (int page = 1; page <= 8; ++page) {
        PdfPage pdf{QSizeF(1225, 1800), {}};
        for (int strip = 0; strip < 6; ++strip) {
            QImage image(1633, 400, QImage::Format_Grayscale8);
            image.fill(Qt::white);
            writeLines(image, random, characters, 26, 20, 8,
                       page == 1 && strip == 0 ? keyword : QString());
            pdf.images.append(
                {jpegOf(image, 70), image.size(), QRectF(0, strip * 300.0, 1225, 300)});
        }
        oversized.append(pdf);
    }
    // A scanner's 12-page report: A4 pages at 300 dpi, the keyword on the last one.
    QList<PdfPage> report;
    for (int page = 1; page <= 12; ++page) {
        QImage image(2480, 3508, QImage::Format_Grayscale8);
        image.fill(Qt::white);
        writeLines(image, random, characters, 50, 300, 30, page == 12 ? keyword : QString());
        report.append(
            {QSizeF(595.3, 841.9), {{jpegOf(image, 70), image.size(), {0, 0, 595.3, 841.9}}}});
    }
    // Larger than any page: an A4 page at 600 dpi, a 60-inch square page of a 100 dpi scan.
    QImage a4(4960, 7016, QImage::Format_Grayscale8);
    a4.fill(Qt::white);
    writeLines(a4, random, characters, 100, 600, 20);
    a4.setDotsPerMeterX(23622);
    a4.setDotsPerMeterY(23622);
    QImage sixty(6000, 6000, QImage::Format_Grayscale8);
    sixty.fill(Qt::white);
    writeLines(sixty, random, characters, 60, 300, 40);
    const QList<PdfPage> sixtyPdf{
        {QSizeF(4320, 4320), {{jpegOf(sixty, 70), sixty.size(), {0, 0, 4320, 4320}}}}};
    // A JPEG whose header claims 30000 x 30000 pixels, its data that of a small picture.
    QImage small(800, 600, QImage::Format_Grayscale8);
    small.fill(Qt::white);
    writeLines(small, random, characters, 30, 30, 4);
    QByteArray claim = jpegOf(small, 70);
    const qsizetype sof = claim.indexOf("\xFF\xC0");
    for (int i : {5, 7}) {
        claim[sof + i] = char(30000 >> 8);
        claim[sof + i + 1] = char(30000 & 0xFF);
    }
    const QString large = folder + QStringLiteral("/large/");
    const bool written = write(folder + QStringLiteral("/oversized.pdf"), pdfOf(oversized)) &&
                         write(folder + QStringLiteral("/report.pdf"), pdfOf(report)) &&
                         write(large + QStringLiteral("a4-600dpi.jpg"), jpegOf(a4, 70)) &&
                         write(large + QStringLiteral("sixty-inch-1.pdf"), pdfOf(sixtyPdf)) &&
                         write(large + QStringLiteral("sixty-inch-2.pdf"), pdfOf(sixtyPdf)) &&
                         write(large + QStringLiteral("claims-30000.jpg"), claim);
    return written ? 0 : 2;
}
