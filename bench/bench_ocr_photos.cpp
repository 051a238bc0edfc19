#include "bench_ocr_photos.h"

#include "search/ocr/ocr.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QLinearGradient>
#include <QMap>
#include <QPainter>

#include <cstdio>
#include <random>

namespace {

using Random = std::mt19937;

int uniform(Random &random, int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(random);
}

QColor randomColour(Random &random)
{
    return QColor::fromHsv(uniform(random, 0, 359), uniform(random, 60, 255),
                           uniform(random, 60, 255));
}

// A phrase of `count` characters, and its words: four characters at a time, the rest a word too
// when it has two or more.
QString phrase(Random &random, const QString &characters, int count, QStringList &words)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += characters[uniform(random, 0, int(characters.size()) - 1)];
    for (int at = 0; at < count; at += 4) {
        const QString word = text.mid(at, 4);
        if (word.size() >= 2)
            words.append(word);
    }
    return text;
}

QFont fontOf(bool brush, int pixels, bool bold = false)
{
    QFont font(brush ? QStringLiteral("AR PL UKai CN") : QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

// Sensor noise on every channel.
void addNoise(QImage &image, Random &random, double sigma)
{
    std::normal_distribution<double> noise(0.0, sigma);
    for (int y = 0; y < image.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const auto channel = [&](int v) { return std::clamp(v + int(noise(random)), 0, 255); };
            row[x] = qRgb(channel(qRed(row[x])), channel(qGreen(row[x])), channel(qBlue(row[x])));
        }
    }
}

// A background like a photo's: a gradient between two colours under blurred patches of others.
void photoBackground(QPainter &painter, QSize size, Random &random)
{
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, randomColour(random));
    gradient.setColorAt(1, randomColour(random));
    painter.fillRect(QRect(QPoint(0, 0), size), gradient);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 8; ++i) {
        QColor colour = randomColour(random);
        colour.setAlpha(uniform(random, 40, 110));
        painter.setBrush(colour);
        painter.drawEllipse(
            QPoint(uniform(random, 0, size.width()), uniform(random, 0, size.height())),
            uniform(random, 60, 300), uniform(random, 60, 300));
    }
}

// `text` at `at`, turned by `angle` degrees, on a label of `label` colour when it is valid.
void drawLine(QPainter &painter, const QString &text, QPoint at, const QFont &font, QColor colour,
              double angle, QColor label = QColor())
{
    painter.save();
    painter.translate(at);
    painter.rotate(angle);
    painter.setFont(font);
    const QRect bounds = QFontMetrics(font).boundingRect(text);
    if (label.isValid())
        painter.fillRect(bounds.adjusted(-16, -10, 16, 10), label);
    painter.setPen(colour);
    painter.drawText(0, 0, text);
    painter.restore();
}

// Ink that stands out on `background`.
QColor inkOn(QColor background, Random &random)
{
    static const QColor dark[] = {Qt::black, QColor(20, 30, 90), QColor(110, 0, 0)};
    static const QColor light[] = {Qt::white, QColor(255, 240, 80)};
    return background.lightness() > 140 ? dark[uniform(random, 0, 2)]
                                        : light[uniform(random, 0, 1)];
}

QImage product(Random &random, const QString &characters, QStringList &words)
{
    QImage image(1155, 866, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    photoBackground(painter, image.size(), random);
    for (int block = 0; block < 4; ++block) {
        const QPoint at(uniform(random, 30, 520), 130 + block * 190 + uniform(random, -20, 20));
        const QFont font = fontOf(uniform(random, 0, 3) == 0, uniform(random, 34, 64), true);
        const QString text = phrase(random, characters, uniform(random, 4, 8), words);
        if (uniform(random, 0, 1)) {
            const QColor label =
                QColor::fromHsv(uniform(random, 0, 359), 230, uniform(random, 120, 220));
            drawLine(painter, text, at, font, inkOn(label, random), uniform(random, -6, 6), label);
        } else {
            const QColor under = image.pixelColor(std::min(at.x() + 60, 1154), at.y() - 20);
            drawLine(painter, text, at, font, inkOn(under, random), uniform(random, -6, 6));
        }
    }
    return image;
}

QImage sign(Random &random, const QString &characters, QStringList &words)
{
    QImage image(1155, 866, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    photoBackground(painter, image.size(), random);
    const QColor board = QColor::fromHsv(uniform(random, 0, 359), 200, uniform(random, 90, 200));
    painter.save();
    painter.translate(577, 433);
    painter.rotate(uniform(random, -4, 4));
    painter.fillRect(-520, -300, 1040, 600, board);
    const bool brush = uniform(random, 0, 1);
    const QColor ink = inkOn(board, random);
    for (int line = 0; line < 2; ++line) {
        const QString text = phrase(random, characters, uniform(random, 3, 6), words);
        drawLine(painter, text, QPoint(-480, -80 + line * 220),
                 fontOf(brush, uniform(random, 110, 150), true), ink, 0);
    }
    painter.restore();
    return image;
}

QImage certificate(Random &random, const QString &characters, QStringList &words)
{
    QImage image(1155, 866, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(image.rect(), QColor(90, 60, 35)); // a desk
    painter.translate(577, 433);
    painter.rotate(uniform(random, -6, 6));
    painter.fillRect(-480, -380, 960, 760, QColor(248, 246, 238));
    drawLine(painter, phrase(random, characters, 5, words), QPoint(-200, -270),
             fontOf(true, 72, true), QColor(170, 20, 20), 0);
    for (int line = 0; line < 7; ++line)
        drawLine(painter, phrase(random, characters, uniform(random, 10, 16), words),
                 QPoint(-420, -150 + line * 62), fontOf(false, 34), QColor(30, 30, 30), 0);
    painter.setPen(QPen(QColor(220, 30, 30), 8));
    painter.drawEllipse(QPoint(260, 280), 80, 80);
    painter.resetTransform();
    // Light from one side, as a lamp or a window gives it.
    QLinearGradient shade(0, 0, image.width(), 0);
    shade.setColorAt(0, QColor(0, 0, 0, 0));
    shade.setColorAt(1, QColor(0, 0, 0, 110));
    painter.fillRect(image.rect(), shade);
    return image;
}

QImage chat(Random &random, const QString &characters, QStringList &words)
{
    QImage image(1080, 1920, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(image.rect(), QColor(237, 237, 237));
    painter.fillRect(0, 0, 1080, 140, QColor(247, 247, 247));
    drawLine(painter, phrase(random, characters, 4, words), QPoint(440, 95),
             fontOf(false, 36, true), Qt::black, 0);
    const QFont font = fontOf(false, 34);
    for (int y = 220, i = 0; y < 1750; y += 200, ++i) {
        const QString text = phrase(random, characters, uniform(random, 4, 11), words);
        const int width = QFontMetrics(font).horizontalAdvance(text) + 48;
        const bool mine = i % 2;
        const int x = mine ? 1080 - 150 - width : 150;
        painter.fillRect(mine ? 950 : 30, y, 96, 96, randomColour(random)); // an avatar
        painter.setPen(Qt::NoPen);
        painter.setBrush(mine ? QColor(149, 236, 105) : Qt::white);
        painter.drawRoundedRect(x, y, width, 96, 10, 10);
        drawLine(painter, text, QPoint(x + 24, y + 60), font, QColor(25, 25, 25), 0);
    }
    return image;
}

QImage desktop(Random &random, const QString &characters, QStringList &words)
{
    QImage image(1280, 800, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(image.rect(), Qt::white);
    painter.fillRect(0, 0, 1280, 28, QColor(236, 236, 236));
    painter.fillRect(0, 28, 240, 772, QColor(245, 246, 248));
    for (int i = 0; i < 5; ++i)
        drawLine(painter, phrase(random, characters, 2, words), QPoint(16 + i * 70, 19),
                 fontOf(false, 13), Qt::black, 0);
    for (int i = 0; i < 12; ++i)
        drawLine(painter, phrase(random, characters, uniform(random, 4, 7), words),
                 QPoint(24, 70 + i * 34), fontOf(false, 14), QColor(50, 50, 50), 0);
    for (int i = 0; i < 16; ++i)
        drawLine(painter, phrase(random, characters, uniform(random, 12, 30), words),
                 QPoint(270, 70 + i * 40), fontOf(false, 15), QColor(20, 20, 20), 0);
    return image;
}

QImage vertical(Random &random, const QString &characters, QStringList &words)
{
    QImage image(900, 1200, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(image.rect(), QColor(236, 226, 204)); // old paper
    const int size = uniform(random, 48, 58);
    const QFont font = fontOf(true, size);
    painter.setFont(font);
    painter.setPen(QColor(35, 30, 25));
    // Columns from the right, each read from the top down.
    for (int column = 0; column < 6; ++column) {
        const QString text = phrase(random, characters, uniform(random, 8, 14), words);
        const int x = 780 - column * int(size * 1.6);
        for (int i = 0; i < text.size(); ++i)
            painter.drawText(QRect(x, 90 + i * int(size * 1.12), size + 4, size + 4),
                             Qt::AlignCenter, text.mid(i, 1));
    }
    return image;
}

} // namespace

int generatePhotos(const QString &folder, const QString &characters)
{
    QDir().mkpath(folder);
    Random random(20261211);
    using Draw = QImage (*)(Random &, const QString &, QStringList &);
    const struct
    {
        const char *name;
        Draw draw;
        bool jpeg;
        double noise;
    } kinds[] = {{"product", product, true, 8},         {"sign", sign, true, 10},
                 {"certificate", certificate, true, 6}, {"chat", chat, false, 0},
                 {"desktop", desktop, false, 0},        {"vertical", vertical, true, 5}};
    int number = 0;
    for (int round = 0; round < 3; ++round) {
        for (const auto &kind : kinds) {
            QStringList words;
            QImage image = kind.draw(random, characters, words);
            if (kind.noise > 0)
                addNoise(image, random, kind.noise);
            const QString base = folder + QStringLiteral("/%1-%2")
                                              .arg(++number, 2, 10, QChar(u'0'))
                                              .arg(QLatin1StringView(kind.name));
            if (!image.save(base + (kind.jpeg ? u".jpg" : u".png"), nullptr, kind.jpeg ? 75 : -1))
                return 2;
            QFile list(base + QStringLiteral(".words"));
            if (!list.open(QIODevice::WriteOnly))
                return 2;
            list.write(words.join(u'\n').toUtf8() + '\n');
        }
    }
    return 0;
}

namespace {

struct Read
{
    QString text; // the lines joined, as the search reads them
    double seconds = 0;
};

Read readPicture(const QString &path)
{
    QFile file(path);
    Read read;
    if (!file.open(QIODevice::ReadOnly))
        return read;
    QElapsedTimer clock;
    clock.start();
    const ocr::Result result = ocr::recognise(ocr::decode(file.readAll()));
    read.seconds = clock.nsecsElapsed() / 1e9;
    read.text = result.lines.join(QString());
    return read;
}

} // namespace

int readPictures(const QStringList &files)
{
    for (const QString &path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return 2;
        QElapsedTimer clock;
        clock.start();
        const ocr::Result result = ocr::recognise(ocr::decode(file.readAll()));
        std::printf("%s: %.2f s, %lld lines\n", qPrintable(path), clock.nsecsElapsed() / 1e9,
                    qint64(result.lines.size()));
        for (const QString &line : result.lines)
            std::printf("  %s\n", qPrintable(line));
    }
    return 0;
}

int photoAccuracy(const QString &folder)
{
    const QDir dir(folder);
    QMap<QString, std::pair<int, int>> byKind; // found, all
    int found = 0, all = 0;
    double slowest = 0, total = 0;
    QStringList missed;
    for (const QString &list :
         dir.entryList({QStringLiteral("*.words")}, QDir::Files, QDir::Name)) {
        const QString base = QFileInfo(list).completeBaseName();
        const QStringList pictures =
            dir.entryList({base + QStringLiteral(".jpg"), base + QStringLiteral(".png")});
        QFile words(dir.filePath(list));
        if (pictures.isEmpty() || !words.open(QIODevice::ReadOnly))
            return 2;
        const Read read = readPicture(dir.filePath(pictures.first()));
        slowest = std::max(slowest, read.seconds);
        total += read.seconds;
        auto &kind = byKind[base.section(u'-', 1)];
        for (const QString &word :
             QString::fromUtf8(words.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
            const bool hit = read.text.contains(word);
            found += hit;
            kind.first += hit;
            ++all;
            ++kind.second;
            if (!hit && missed.size() < 30)
                missed.append(base + u':' + word);
        }
    }
    if (all == 0)
        return 2;
    for (auto it = byKind.cbegin(); it != byKind.cend(); ++it)
        std::printf("%s %d/%d  ", qPrintable(it.key()), it.value().first, it.value().second);
    std::printf("\nall %d/%d %.1f%%  slowest %.2f s  total %.1f s\nmissed: %s\n", found, all,
                100.0 * found / all, slowest, total, qPrintable(missed.join(u' ')));
    return 0;
}

int listedAccuracy(const QString &tsv)
{
    QFile file(tsv);
    if (!file.open(QIODevice::ReadOnly))
        return 2;
    const QDir dir = QFileInfo(tsv).dir();
    int found = 0, all = 0, falseHits = 0;
    QStringList report;
    for (const QString &row : QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList fields = row.split(u'\t');
        QFile picture(dir.filePath(fields.value(0)));
        if (fields.size() < 3 || !picture.open(QIODevice::ReadOnly) ||
            !ocr::isPicture(picture.peek(64)))
            continue;
        const Read read = readPicture(picture.fileName());
        for (const QString &word : fields[1].split(u'|')) {
            ++all;
            found += read.text.contains(word);
            report.append(word + (read.text.contains(word) ? u"+" : u"-"));
        }
        if (fields[2] != u"-" && read.text.contains(fields[2]))
            ++falseHits;
        report.append(QStringLiteral("(%1 %2 s)").arg(fields[0]).arg(read.seconds, 0, 'f', 2));
    }
    std::printf("%d/%d words found, %d absent words reported: %s\n", found, all, falseHits,
                qPrintable(report.join(u' ')));
    return 0;
}
