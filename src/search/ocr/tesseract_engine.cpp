#include "search/ocr/tesseract_engine.h"

#include "search/ocr/engine_pool.h"

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <QFileInfo>
#include <QPainter>

#include <omp.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace ocr::tess {

namespace {

// Tesseract runs OpenMP teams inside every recognition. With a document reader on each core, the
// teams of two readers fight over the cores and recognition is several times slower than with
// one thread per reader. OMP_THREAD_LIMIT=1 would say so, but libgomp reads it once, when it is
// loaded, and Qt Core brings libgomp in before main() (through libb2). So each thread that
// recognises makes every parallel region it starts run on itself alone: an OpenMP setting of the
// calling thread, which later threads do not inherit. A limit or team size the user set is kept.
void oneOpenMpThreadPerReader()
{
    static const bool userChose = std::getenv("OMP_THREAD_LIMIT") || std::getenv("OMP_NUM_THREADS");
    thread_local bool done = false;
    if (userChose || done)
        return;
    omp_set_max_active_levels(0);
    done = true;
}

// Where Debian puts the language data; TESSDATA_PREFIX, when set, is what the engine reads.
QString dataFolder()
{
    const QByteArray prefix = qgetenv("TESSDATA_PREFIX");
    if (!prefix.isEmpty())
        return QString::fromLocal8Bit(prefix);
    for (const char *folder :
         {"/usr/share/tesseract-ocr/5/tessdata", "/usr/share/tesseract-ocr/4.00/tessdata"}) {
        if (QFileInfo::exists(QString::fromLatin1(folder)))
            return QString::fromLatin1(folder);
    }
    return QString();
}

// One loaded engine. Loading the Chinese data takes a good part of a second and some 100 MiB, so
// engines are kept and lent out rather than made per image.
struct Engine
{
    tesseract::TessBaseAPI api;
    bool loaded = false;
};

// A new engine, loaded with the language data (loaded false when that failed).
std::unique_ptr<Engine> loadedEngine()
{
    auto engine = std::make_unique<Engine>();
    const QByteArray folder = QFile::encodeName(dataFolder());
    // Only the LSTM engine: Debian's chi_sim holds no data for the legacy one.
    engine->loaded = engine->api.Init(folder.isEmpty() ? nullptr : folder.constData(),
                                      languages().constData(), tesseract::OEM_LSTM_ONLY) == 0;
    if (engine->loaded) {
        // Lines of a page in reading order, whatever the layout; blocks of text found by the
        // engine's own page analysis.
        engine->api.SetPageSegMode(tesseract::PSM_AUTO);
        // The engine prints its diagnostics ("Estimating resolution ...") on stderr.
        engine->api.SetVariable("debug_file", "/dev/null");
    }
    return engine;
}

using Pool = EnginePool<Engine>;

// Lends an engine for the lifetime of the loan.
class Loan
{
public:
    Loan() : m_engine(Pool::instance().take([](const Engine &) { return true; }, loadedEngine)) {}
    ~Loan()
    {
        const bool loaded = m_engine->loaded;
        Pool::instance().give(std::move(m_engine), loaded);
    }
    Loan(const Loan &) = delete;
    Loan &operator=(const Loan &) = delete;
    Engine &engine() { return *m_engine; }

private:
    std::unique_ptr<Engine> m_engine;
};

// A white margin around the image: the engine misses characters that touch the image's edge (the
// first character of a line cropped close to the text).
constexpr int kMargin = 48;

// The image as the engine reads it: 8-bit grayscale on a white margin, resolution known.
QImage prepared(const QImage &image)
{
    QImage gray(image.width() + 2 * kMargin, image.height() + 2 * kMargin,
                QImage::Format_Grayscale8);
    gray.fill(Qt::white);
    {
        QPainter painter(&gray);
        // Transparent pixels of a picture are seen on white, as a viewer shows them.
        painter.drawImage(kMargin, kMargin, image);
    }
    return gray;
}

int resolutionOf(const QImage &image)
{
    // Pictures without a resolution say 72 dpi or nothing; a scan is read as 300 dpi then.
    const int dpi = qRound(image.dotsPerMeterX() * 0.0254);
    return dpi >= 100 && dpi <= 1200 ? dpi : 300;
}

// The engine's monitor, with what its callback needs: the engine calls the cancel callback for
// every word it reads, after moving `progress` on. A page read band by band (bandCuts) counts
// each band's words as its share of the whole.
struct Monitor : tesseract::ETEXT_DESC
{
    const std::atomic<bool> *stop = nullptr;
    const Progress *told = nullptr;
    int band = 0;
    int bands = 1;
    int toldPercent = -1;

    void tell(int percentOfBand)
    {
        const int percent = (band * 100 + std::clamp(percentOfBand, 0, 100)) / bands;
        if (told && percent != toldPercent) {
            toldPercent = percent;
            (*told)(percent);
        }
    }
};

bool cancelled(void *self, int)
{
    Monitor &monitor = *static_cast<Monitor *>(self);
    monitor.tell(monitor.progress);
    return monitor.stop && monitor.stop->load(std::memory_order_relaxed);
}

// The engine's confidence (0..100) below which a line is taken for noise rather than print.
constexpr float kLeastConfidence = 50;

} // namespace

Result recognise(const QImage &image, const std::atomic<bool> *stop, const Progress &progress,
                 const BandLines &bandLines)
{
    Result result;
    if (image.isNull() || image.width() < 4 || image.height() < 4)
        return result; // nothing to read
    if (stop && stop->load())
        return {Status::Stopped, {}};
    oneOpenMpThreadPerReader();
    const QImage page = image.convertToFormat(QImage::Format_Grayscale8);
    const std::vector<int> cuts = bandCuts(page);
    Loan loan;
    Engine &engine = loan.engine();
    if (!engine.loaded)
        return {Status::Unavailable, {}};
    tesseract::TessBaseAPI &api = engine.api;
    Monitor monitor;
    monitor.stop = stop;
    monitor.told = progress ? &progress : nullptr;
    monitor.cancel = &cancelled;
    monitor.cancel_this = &monitor;
    monitor.bands = int(cuts.size()) - 1;
    for (monitor.band = 0; monitor.band < monitor.bands; ++monitor.band) {
        const qsizetype linesBefore = result.lines.size();
        // Also asked while the engine was loading or lent out.
        if (stop && stop->load())
            return {Status::Stopped, {}};
        const int top = cuts[size_t(monitor.band)];
        const QImage gray =
            prepared(monitor.bands == 1
                         ? page
                         : page.copy(0, top, page.width(), cuts[size_t(monitor.band) + 1] - top));
        api.SetImage(gray.constBits(), gray.width(), gray.height(), 1, int(gray.bytesPerLine()));
        api.SetSourceResolution(resolutionOf(image));
        const int status = api.Recognize(&monitor);
        if (stop && stop->load()) {
            api.Clear();
            return {Status::Stopped, {}};
        }
        if (status == 0) {
            std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
            if (it) {
                do {
                    const std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
                    if (!text)
                        continue;
                    // Specks and bars that a band shows the engine on their own are read as
                    // a line it trusts little (a quarter, where print is nine tenths and more).
                    if (it->Confidence(tesseract::RIL_TEXTLINE) < kLeastConfidence)
                        continue;
                    const QString line = joinCjk(QString::fromUtf8(text.get()).trimmed());
                    if (!line.isEmpty())
                        result.lines.append(line);
                } while (it->Next(tesseract::RIL_TEXTLINE));
            }
        }
        api.Clear();
        monitor.tell(100);
        if (bandLines) {
            QString lines;
            for (qsizetype i = linesBefore; i < result.lines.size(); ++i)
                lines += result.lines.at(i) + u'\n';
            bandLines(lines, monitor.band + 1 == monitor.bands);
        }
    }
    return result;
}

QByteArray version()
{
    static const QByteArray version = [] {
        // How this library drives the engine (the margin, the bands of a page), then the engine.
        QByteArray v = QByteArrayLiteral("bands-") + QByteArray::number(kBandRows) + ";lines-" +
                       QByteArray::number(kLeastConfidence) + ";tesseract-" +
                       tesseract::TessBaseAPI::Version();
        const QString folder = dataFolder();
        for (const QByteArray &language : languages().split('+')) {
            const QFileInfo data(folder + u'/' + QString::fromLatin1(language) + u".traineddata");
            v += ';' + language + '=' + QByteArray::number(data.size()) + '@' +
                 QByteArray::number(data.lastModified().toSecsSinceEpoch());
        }
        return v;
    }();
    return version;
}

} // namespace ocr::tess
