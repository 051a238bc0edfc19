#include "search/ocr/paddle_engine.h"

#include "search/ocr/engine_pool.h"

#include "search/ocr/paddle_detection.h"
#include "search/ocr/paddle_lines.h"
#include "search/ocr/paddle_models.h"


#include <malloc.h>

#include <opencv2/core/utility.hpp>
#include <opencv2/dnn.hpp>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <numeric>

namespace ocr::paddle {

namespace {

// A line read with less confidence than this is taken for a texture, not text (PaddleOCR's
// drop score); one the direction classifier finds upside down with more than kTurned is turned.
constexpr float kLeastConfidence = 0.5f;
constexpr float kTurned = 0.9f;

constexpr int kMappedBlock = 1 << 20;

cv::dnn::Net loaded(const std::vector<char> &onnx)
{
    cv::dnn::Net net = cv::dnn::readNetFromONNX(onnx.data(), onnx.size());
    net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
    net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
    return net;
}

// One worker's networks: the direction classifier, and the recogniser for the input width it
// last read (a network keeps the shapes of its first input: one per width).
class Engine
{
public:
    explicit Engine(std::shared_ptr<const Models> models)
        : m_models(std::move(models)), m_direction(loaded(m_models->direction))
    {}

    const std::shared_ptr<const Models> &models() const { return m_models; }

    bool upsideDown(const cv::Mat &line)
    {
        m_direction.setInput(directionBlob(line));
        const cv::Mat out = m_direction.forward();
        return out.total() == 2 && out.ptr<float>()[1] > kTurned;
    }

    LineText read(const cv::Mat &line, int width)
    {
        if (width != m_width) {
            m_recogniser = cv::dnn::Net(); // the other width's memory goes first
            m_width = 0;
            m_recogniser = loaded(m_models->recognition);
            m_width = width;
        }
        m_recogniser.setInput(recognitionBlob(line, width));
        return decode(m_recogniser.forward(), m_models->characters);
    }

private:
    std::shared_ptr<const Models> m_models;
    cv::dnn::Net m_direction;
    cv::dnn::Net m_recogniser;
    int m_width = 0;
};

// Engines of models no longer current (setModelFolder) are dropped instead of lent.
using Pool = EnginePool<Engine>;

class Loan
{
public:
    explicit Loan(const std::shared_ptr<const Models> &models)
        : m_engine(
              Pool::instance().take([&](const Engine &engine) { return engine.models() == models; },
                                    [&] { return std::make_unique<Engine>(models); }))
    {}
    ~Loan() { Pool::instance().give(std::move(m_engine)); }
    Loan(const Loan &) = delete;
    Loan &operator=(const Loan &) = delete;
    Engine &engine() { return *m_engine; }

private:
    std::unique_ptr<Engine> m_engine;
};

// The detector's probability map of `gray`. Its network is made for the picture's size (one made
// for another size gives nothing) and let go after it, one thread at a time: its working memory
// is the largest of the engine's.
cv::Mat probabilities(const Models &models, const cv::Mat &gray)
{
    // Never destroyed, as the pool: a worker may still be detecting when the program ends.
    static std::mutex *const one = new std::mutex;
    const cv::Size size = detectionSize(gray.size());
    std::lock_guard lock(*one);
    cv::dnn::Net net = loaded(models.detection);
    net.setInput(detectionBlob(gray, size));
    const cv::Mat out = net.forward();
    if (out.dims != 4 || out.size[2] != size.height || out.size[3] != size.width)
        return cv::Mat();
    return cv::Mat(size, CV_32F, const_cast<float *>(out.ptr<float>())).clone();
}

bool stopped(const std::atomic<bool> *stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

void tell(const Progress &progress, int percent)
{
    if (progress)
        progress(percent);
}

// The recognised lines of `gray`, in reading order; Stopped when `stop` was set.
Result readLines(const std::shared_ptr<const Models> &models, const cv::Mat &gray,
                 const std::atomic<bool> *stop, const Progress &progress)
{
    const cv::Mat map = probabilities(*models, gray);
    if (stopped(stop))
        return {Status::Stopped, {}};
    std::vector<TextBox> boxes = textBoxes(map, gray.size());
    sortForReading(boxes);
    tell(progress, 10);
    std::vector<cv::Mat> lines;
    std::vector<int> widths;
    for (const TextBox &box : boxes) {
        lines.push_back(lineImage(gray, box));
        widths.push_back(recognitionWidth(lines.back()));
    }
    // Read width by width, so that each width's recogniser is made once for the picture.
    std::vector<size_t> order(lines.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return widths[a] < widths[b]; });
    std::vector<QString> texts(lines.size());
    if (!lines.empty()) {
        Loan loan(models);
        for (size_t k = 0; k < order.size(); ++k) {
            if (stopped(stop))
                return {Status::Stopped, {}};
            const size_t i = order[k];
            if (loan.engine().upsideDown(lines[i]))
                cv::rotate(lines[i], lines[i], cv::ROTATE_180);
            const LineText read = loan.engine().read(lines[i], widths[i]);
            if (read.confidence >= kLeastConfidence)
                texts[i] = joinCjk(read.text.trimmed());
            lines[i].release();
            tell(progress, 10 + int(90 * (k + 1) / order.size()));
        }
    }
    if (order.empty())
        tell(progress, 100);
    Result result;
    for (const QString &text : texts) {
        if (!text.isEmpty())
            result.lines.append(text);
    }
    return result;
}

} // namespace

Result recognise(const QImage &image, const std::atomic<bool> *stop, const Progress &progress,
                 const BandLines &bandLines)
{
    const std::shared_ptr<const Models> models = paddle::models();
    if (!models)
        return {Status::Unavailable, {}};
    static std::once_flag settings;
    std::call_once(settings, [] {
        // The workers recognise a picture each, one per core: OpenCV's own threads would only
        // make them wait for one another.
        cv::setNumThreads(1);
        // The networks' working memory comes in blocks of megabytes, freed with the detector
        // after each picture, or by one worker while another allocates. glibc would keep them in
        // the arena of the thread that freed them once it has raised its mapping threshold past
        // their size, and each worker's arena would grow to the detector's peak: blocks from
        // kMappedBlock up are mapped on their own and given back when freed.
        mallopt(M_MMAP_THRESHOLD, kMappedBlock);
    });
    const QImage page = image.convertToFormat(QImage::Format_Grayscale8);
    const cv::Mat gray(page.height(), page.width(), CV_8UC1, const_cast<uchar *>(page.constBits()),
                       size_t(page.bytesPerLine()));
    Result result;
    try {
        result = readLines(models, gray, stop, progress);
    } catch (const cv::Exception &error) {
        static std::once_flag told;
        std::call_once(told, [&] {
            std::fprintf(stderr,
                         "quarlex: the text recognition models cannot be run (%s); "
                         "pictures are read by Tesseract\n",
                         error.what());
        });
        return {Status::Unavailable, {}};
    }
    if (result.status != Status::Done)
        return result;
    if (bandLines) {
        QString lines;
        for (const QString &line : std::as_const(result.lines))
            lines += line + u'\n';
        bandLines(lines, true);
    }
    return result;
}

QByteArray pipelineVersion()
{
    return QByteArrayLiteral("paddle-1;det-") + QByteArray::number(kDetectionSide) + 'x' +
           QByteArray::number(kDetectionPixels) + ";drop-" + QByteArray::number(kLeastConfidence) +
           ";turn-" + QByteArray::number(kTurned) + ";line-" + QByteArray::number(kMaxLineWidth);
}

} // namespace ocr::paddle
