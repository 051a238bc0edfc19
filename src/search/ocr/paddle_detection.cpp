#include "search/ocr/paddle_detection.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace ocr::paddle {

namespace {

// PaddleOCR's settings for this detector: a pixel is text above kThreshold; a region is a line
// when its mean is above kBoxThreshold; the model is trained on lines shrunk by a margin that
// kUnclipRatio gives back (the region's area times it over its perimeter, on every side).
constexpr float kThreshold = 0.3f;
constexpr float kBoxThreshold = 0.6f;
constexpr double kUnclipRatio = 1.5;
constexpr float kSmallestSide = 3;
constexpr size_t kMostCandidates = 1000;

// The normalisation the detector was trained with, channel by channel.
constexpr float kMean[3] = {0.485f, 0.456f, 0.406f};
constexpr float kDeviation[3] = {0.229f, 0.224f, 0.225f};

int multipleOf32(double length)
{
    return std::max(32, int(std::lround(length / 32)) * 32);
}

float distance(cv::Point2f a, cv::Point2f b)
{
    return std::hypot(a.x - b.x, a.y - b.y);
}

// The mean of `probability` inside the quadrilateral `corners`.
float meanInside(const cv::Mat &probability, const cv::Point2f (&corners)[4])
{
    std::vector<cv::Point> polygon;
    for (const cv::Point2f &p : corners)
        polygon.emplace_back(int(std::lround(p.x)), int(std::lround(p.y)));
    const cv::Rect bounds =
        cv::boundingRect(polygon) & cv::Rect(0, 0, probability.cols, probability.rows);
    if (bounds.empty())
        return 0;
    for (cv::Point &p : polygon)
        p -= bounds.tl();
    cv::Mat mask = cv::Mat::zeros(bounds.size(), CV_8U);
    cv::fillPoly(mask, std::vector<std::vector<cv::Point>>{polygon}, cv::Scalar(1));
    return float(cv::mean(probability(bounds), mask)[0]);
}

// The corners of `rect`, top left first, clockwise: of the two leftmost corners the upper is the
// top left, of the two rightmost the upper is the top right.
std::array<cv::Point2f, 4> ordered(const cv::Point2f (&points)[4])
{
    std::array<cv::Point2f, 4> p{points[0], points[1], points[2], points[3]};
    std::sort(p.begin(), p.end(), [](cv::Point2f a, cv::Point2f b) { return a.x < b.x; });
    const auto [topLeft, bottomLeft] =
        p[0].y <= p[1].y ? std::pair(p[0], p[1]) : std::pair(p[1], p[0]);
    const auto [topRight, bottomRight] =
        p[2].y <= p[3].y ? std::pair(p[2], p[3]) : std::pair(p[3], p[2]);
    return {topLeft, topRight, bottomRight, bottomLeft};
}

} // namespace

float TextBox::width() const
{
    return std::max(distance(corners[0], corners[1]), distance(corners[3], corners[2]));
}

float TextBox::height() const
{
    return std::max(distance(corners[0], corners[3]), distance(corners[1], corners[2]));
}

cv::Point2f TextBox::centre() const
{
    return (corners[0] + corners[1] + corners[2] + corners[3]) * 0.25f;
}

bool TextBox::upright() const
{
    return height() >= 1.5f * width();
}

cv::Size detectionSize(cv::Size picture)
{
    const double area = double(picture.width) * picture.height;
    const double scale =
        std::min({1.0, double(kDetectionSide) / std::max(picture.width, picture.height),
                  std::sqrt(kDetectionPixels / std::max(area, 1.0))});
    return {multipleOf32(picture.width * scale), multipleOf32(picture.height * scale)};
}

cv::Mat detectionBlob(const cv::Mat &gray, cv::Size size)
{
    cv::Mat resized;
    const bool smaller = size.width < gray.cols || size.height < gray.rows;
    cv::resize(gray, resized, size, 0, 0, smaller ? cv::INTER_AREA : cv::INTER_LINEAR);
    const int dims[] = {1, 3, size.height, size.width};
    cv::Mat blob(4, dims, CV_32F);
    for (int c = 0; c < 3; ++c) {
        cv::Mat plane(size, CV_32F, blob.ptr<float>(0, c));
        resized.convertTo(plane, CV_32F, 1.0 / (255.0 * kDeviation[c]), -kMean[c] / kDeviation[c]);
    }
    return blob;
}

std::vector<TextBox> textBoxes(const cv::Mat &probability, cv::Size picture)
{
    const cv::Mat mask = probability > kThreshold;
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(mask, contours, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);
    const float scaleX = float(picture.width) / float(probability.cols);
    const float scaleY = float(picture.height) / float(probability.rows);
    std::vector<TextBox> boxes;
    for (size_t i = 0; i < std::min(contours.size(), kMostCandidates); ++i) {
        cv::RotatedRect rect = cv::minAreaRect(contours[i]);
        if (std::min(rect.size.width, rect.size.height) < kSmallestSide)
            continue;
        cv::Point2f points[4];
        rect.points(points);
        const float score = meanInside(probability, points);
        if (score < kBoxThreshold)
            continue;
        const double margin = double(rect.size.area()) * kUnclipRatio /
                              (2.0 * (double(rect.size.width) + rect.size.height));
        rect.size.width += float(2 * margin);
        rect.size.height += float(2 * margin);
        if (std::min(rect.size.width, rect.size.height) < kSmallestSide + 2)
            continue;
        rect.points(points);
        for (cv::Point2f &p : points) {
            p.x = std::clamp(p.x * scaleX, 0.0f, float(picture.width - 1));
            p.y = std::clamp(p.y * scaleY, 0.0f, float(picture.height - 1));
        }
        TextBox box{ordered(points), score};
        if (box.width() >= kSmallestSide && box.height() >= kSmallestSide)
            boxes.push_back(box);
    }
    return boxes;
}

void sortForReading(std::vector<TextBox> &boxes)
{
    const auto upright =
        std::count_if(boxes.begin(), boxes.end(), [](const TextBox &box) { return box.upright(); });
    const bool columns = upright * 2 > std::ssize(boxes);
    // `across`: where a line stands among the others (rows down the page, columns leftwards);
    // `along`: where a piece of a line stands in it; `thickness`: the line's size across.
    const auto across = [columns](const TextBox &b) {
        return columns ? -b.centre().x : b.centre().y;
    };
    const auto along = [columns](const TextBox &b) {
        return columns ? b.centre().y : b.centre().x;
    };
    const auto thickness = [columns](const TextBox &b) { return columns ? b.width() : b.height(); };
    std::stable_sort(boxes.begin(), boxes.end(),
                     [&](const TextBox &a, const TextBox &b) { return across(a) < across(b); });
    // Boxes whose middles lie within half a line of the first of a row are of that row.
    auto start = boxes.begin();
    while (start != boxes.end()) {
        auto end = start + 1;
        while (end != boxes.end() &&
               across(*end) - across(*start) < 0.5f * std::max(thickness(*start), thickness(*end)))
            ++end;
        std::stable_sort(start, end,
                         [&](const TextBox &a, const TextBox &b) { return along(a) < along(b); });
        start = end;
    }
}

} // namespace ocr::paddle
