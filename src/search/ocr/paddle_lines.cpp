#include "search/ocr/paddle_lines.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace ocr::paddle {

namespace {

constexpr int kDirectionWidth = 192;
constexpr int kWidths[] = {320, 480, 640, 960, 1280, 1920, 2560, kMaxLineWidth};

// The width `line` takes at kLineHeight rows, at its own proportions.
int naturalWidth(const cv::Mat &line)
{
    return std::max(1, int(std::ceil(double(kLineHeight) * line.cols / std::max(1, line.rows))));
}

// `line` resized to kLineHeight rows and at most `width` columns, on the left of a
// 1 x 3 x kLineHeight x `width` blob, scaled to -1..1; the rest of the blob is 0.
cv::Mat blobOf(const cv::Mat &line, int width)
{
    const int columns = std::min(width, naturalWidth(line));
    cv::Mat resized;
    cv::resize(line, resized, cv::Size(columns, kLineHeight), 0, 0, cv::INTER_LINEAR);
    const int dims[] = {1, 3, kLineHeight, width};
    cv::Mat blob(4, dims, CV_32F, cv::Scalar(0));
    for (int c = 0; c < 3; ++c) {
        cv::Mat plane(kLineHeight, width, CV_32F, blob.ptr<float>(0, c));
        resized.convertTo(plane(cv::Rect(0, 0, columns, kLineHeight)), CV_32F, 2.0 / 255.0, -1.0);
    }
    return blob;
}

} // namespace

cv::Mat lineImage(const cv::Mat &gray, const TextBox &box)
{
    const int width = std::max(1, int(std::lround(box.width())));
    const int height = std::max(1, int(std::lround(box.height())));
    const cv::Point2f target[4] = {
        {0, 0}, {float(width), 0}, {float(width), float(height)}, {0, float(height)}};
    const cv::Point2f source[4] = {box.corners[0], box.corners[1], box.corners[2], box.corners[3]};
    cv::Mat line;
    cv::warpPerspective(gray, line, cv::getPerspectiveTransform(source, target),
                        cv::Size(width, height), cv::INTER_CUBIC, cv::BORDER_REPLICATE);
    if (box.upright())
        cv::rotate(line, line, cv::ROTATE_90_COUNTERCLOCKWISE);
    return line;
}

cv::Mat directionBlob(const cv::Mat &line)
{
    return blobOf(line, kDirectionWidth);
}

int recognitionWidth(const cv::Mat &line)
{
    const int natural = naturalWidth(line);
    for (const int width : kWidths) {
        if (natural <= width)
            return width;
    }
    return kMaxLineWidth;
}

cv::Mat recognitionBlob(const cv::Mat &line, int width)
{
    return blobOf(line, width);
}

LineText decode(const cv::Mat &probabilities, const std::vector<QString> &characters)
{
    LineText read;
    if (probabilities.dims != 4 || probabilities.size[0] != 1 || probabilities.size[2] != 1 ||
        size_t(probabilities.size[1]) != characters.size())
        return read;
    const int classes = probabilities.size[1];
    const int positions = probabilities.size[3];
    const float *p = probabilities.ptr<float>();
    // The best class at each position, the classes' rows read one after the other.
    std::vector<int> best(size_t(positions), 0);
    std::vector<float> bestProbability(p, p + positions);
    for (int c = 1; c < classes; ++c) {
        const float *row = p + size_t(c) * size_t(positions);
        for (int t = 0; t < positions; ++t) {
            if (row[t] > bestProbability[size_t(t)]) {
                bestProbability[size_t(t)] = row[t];
                best[size_t(t)] = c;
            }
        }
    }
    double sum = 0;
    int count = 0;
    int previous = 0;
    for (int t = 0; t < positions; ++t) {
        const int c = best[size_t(t)];
        if (c != 0 && c != previous) {
            read.text += characters[size_t(c)];
            sum += bestProbability[size_t(t)];
            ++count;
        }
        previous = c;
    }
    read.confidence = count > 0 ? float(sum / count) : 0.0f;
    return read;
}

} // namespace ocr::paddle
