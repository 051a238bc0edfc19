#include "search/ocr/ocr.h"

#include "search/ocr/paddle_detection.h"
#include "search/ocr/paddle_engine.h"
#include "search/ocr/paddle_models.h"
#include "search/ocr/tesseract_engine.h"

#include <algorithm>
#include <vector>

namespace ocr {

namespace {

// True when row `y` of `gray` holds next to no dark pixel: a gap between lines of print, where
// the page may be cut without cutting a character. Specks and the rules of a table's columns
// leave a row blank.
bool isBlankRow(const QImage &gray, int y)
{
    const uchar *row = gray.constScanLine(y);
    const int allowed = std::max(2, gray.width() / 256);
    int dark = 0;
    for (int x = 0; x < gray.width(); ++x) {
        if (row[x] < 128 && ++dark > allowed)
            return false;
    }
    return true;
}

// A clean page (isCleanPage): at least kPageSide pixels each way, at kScanDpi or more or of
// kLargePage pixels or more, at least kLeastPaper percent of it lighter than kPaper, at most
// kMostBetween percent between that and kInk.
constexpr int kPageSide = 1000;
constexpr int kScanDpi = 150;
constexpr qint64 kLargePage = 6'000'000;
constexpr int kPaper = 200;
constexpr int kInk = 100;
constexpr int kLeastPaper = 60;
constexpr int kMostBetween = 10;

std::atomic<Engine> g_engine{Engine::Automatic};

// QUARLEX_OCR_ENGINE=tesseract or paddle chooses as setEngine() does.
Engine chosenEngine()
{
    const Engine chosen = g_engine.load();
    if (chosen != Engine::Automatic)
        return chosen;
    static const Engine fromEnvironment = [] {
        const QByteArray name = qgetenv("QUARLEX_OCR_ENGINE");
        if (name == "tesseract")
            return Engine::Tesseract;
        if (name == "paddle")
            return Engine::Paddle;
        return Engine::Automatic;
    }();
    return fromEnvironment;
}

} // namespace

// Each band ends in the middle of the gap between two lines nearest to kBandRows rows after its
// start.
std::vector<int> bandCuts(const QImage &gray)
{
    constexpr int band = tess::kBandRows;
    const int height = gray.height();
    std::vector<int> cuts{0};
    if (gray.format() != QImage::Format_Grayscale8 || height < 2 * band) {
        cuts.push_back(height);
        return cuts;
    }
    std::vector<bool> blank(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        blank[size_t(y)] = isBlankRow(gray, y);
    int top = 0;
    while (height - top >= 3 * band / 2) {
        // The blank row nearest to the band's end, from half a band on; further down when none.
        const int target = top + band;
        int found = -1;
        for (int d = 0; d < band / 2 && found < 0; ++d) {
            if (blank[size_t(target - d)])
                found = target - d;
            else if (blank[size_t(target + d)])
                found = target + d;
        }
        for (int y = target + band / 2; found < 0 && y < height; ++y) {
            if (blank[size_t(y)])
                found = y;
        }
        if (found < 0)
            break;
        int from = found, to = found;
        while (from > top + 1 && blank[size_t(from - 1)])
            --from;
        while (to + 1 < height && blank[size_t(to + 1)])
            ++to;
        const int cut = (from + to + 1) / 2;
        if (height - cut < band / 2)
            break; // what is left joins the last band
        cuts.push_back(cut);
        top = cut;
    }
    cuts.push_back(height);
    return cuts;
}

bool isCjk(char32_t c)
{
    return (c >= 0x2E80 && c <= 0x9FFF) || // radicals, CJK punctuation, kana, unified ideographs
           (c >= 0xAC00 && c <= 0xD7AF) || // Hangul syllables
           (c >= 0xF900 && c <= 0xFAFF) || // compatibility ideographs
           (c >= 0xFE30 && c <= 0xFE4F) || // compatibility forms
           (c >= 0xFF00 && c <= 0xFFEF) || // full-width forms and punctuation
           (c >= 0x20000 && c <= 0x3FFFF); // the supplementary ideograph planes
}

QString joinCjk(QStringView line)
{
    const QList<uint> chars = line.toUcs4();
    QList<uint> out;
    out.reserve(chars.size());
    for (qsizetype i = 0; i < chars.size(); ++i) {
        if (chars[i] != U' ') {
            out.append(chars[i]);
            continue;
        }
        qsizetype next = i;
        while (next < chars.size() && chars[next] == U' ')
            ++next;
        // Spaces the engine put between two CJK characters are no text of the page, nor those
        // between a CJK character and a number (2023 年 is 2023年 in print).
        const auto digit = [](char32_t c) { return c >= U'0' && c <= U'9'; };
        const bool joined =
            !out.isEmpty() && next < chars.size() &&
            ((isCjk(out.constLast()) && (isCjk(chars[next]) || digit(chars[next]))) ||
             (digit(out.constLast()) && isCjk(chars[next])));
        if (!joined)
            out.append(QList<uint>(next - i, U' '));
        i = next - 1;
    }
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(out.constData()), out.size());
}

bool isCleanPage(const QImage &gray)
{
    // A scanner's resolution, or a page so large that the PaddleOCR detector, which reads at most
    // paddle::kDetectionPixels, would see its print smaller than Tesseract does.
    const bool scanned = qRound(gray.dotsPerMeterX() * 0.0254) >= kScanDpi ||
                         qint64(gray.width()) * gray.height() >= kLargePage;
    if (gray.format() != QImage::Format_Grayscale8 || gray.width() < kPageSide ||
        gray.height() < kPageSide || !scanned)
        return false;
    // Every fourth pixel of every fourth row: paper, ink and what lies between (the edges of the
    // print, and in a photo or a screenshot its colours and shades).
    qint64 paper = 0, between = 0, all = 0;
    for (int y = 0; y < gray.height(); y += 4) {
        const uchar *row = gray.constScanLine(y);
        for (int x = 0; x < gray.width(); x += 4) {
            paper += row[x] >= kPaper;
            between += row[x] >= kInk && row[x] < kPaper;
            ++all;
        }
    }
    return paper >= all * kLeastPaper / 100 && between <= all * kMostBetween / 100;
}

Engine engineFor(const QImage &gray)
{
    const Engine chosen = chosenEngine();
    if (chosen != Engine::Automatic)
        return chosen;
    return isCleanPage(gray) ? Engine::Tesseract : Engine::Paddle;
}

void setEngine(Engine engine)
{
    g_engine = engine;
}

void setModelFolder(const QString &folder)
{
    paddle::setModelFolder(folder);
}

Result recognise(const QImage &image, const std::atomic<bool> *stop, const Progress &progress,
                 const BandLines &bandLines)
{
    if (image.isNull() || image.width() < 4 || image.height() < 4)
        return {}; // nothing to read
    if (stop && stop->load())
        return {Status::Stopped, {}};
    const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    if (engineFor(gray) == Engine::Paddle) {
        Result result = paddle::recognise(gray, stop, progress, bandLines);
        if (result.status != Status::Unavailable)
            return result;
    }
    return tess::recognise(gray, stop, progress, bandLines);
}

QByteArray languages()
{
    return QByteArrayLiteral("chi_sim+eng");
}

QByteArray engineVersion()
{
    static const QByteArray version = [] {
        // How an image is given to an engine, then each engine (the models' own version when
        // there are models: without them every image is Tesseract's).
        QByteArray v = QByteArrayLiteral("clean-page-") + QByteArray::number(kPageSide) + '-' +
                       QByteArray::number(kScanDpi) + '-' + QByteArray::number(kLargePage) + '-' +
                       QByteArray::number(kPaper) + '-' + QByteArray::number(kInk) + '-' +
                       QByteArray::number(kLeastPaper) + '-' + QByteArray::number(kMostBetween);
        v += ';' + tess::version() + ";paddle=";
        const QByteArray models = paddle::modelsVersion();
        if (models.isEmpty())
            v += "none";
        else
            v += paddle::pipelineVersion() + '/' + models;
        return v;
    }();
    return version;
}

} // namespace ocr
