#pragma once

#include <opencv2/core.hpp>

#include <array>
#include <vector>

// The text detector's side of the PaddleOCR engine (DB, "differentiable binarisation"): the size a
// picture is read at, the line boxes in the probability map it gives, and their reading order.
namespace ocr::paddle {

// One line of text the detector found, in the picture's pixels.
struct TextBox
{
    // The corners of the line's rotated rectangle: top left, top right, bottom right, bottom left
    // (as the picture shows them; an upright column's "top" is still the upper side).
    std::array<cv::Point2f, 4> corners;
    float score = 0; // the mean probability of text inside it

    float width() const;
    float height() const;
    cv::Point2f centre() const;
    // Text set in a column (vertical Chinese), read from the top down: taller than wide.
    bool upright() const;
};

// The size the detector reads a picture of `picture` pixels at: each side a multiple of 32, at
// most kDetectionSide on the longer side and kDetectionPixels in all, never enlarged but to reach
// a multiple of 32.
constexpr int kDetectionSide = 1280;
constexpr int kDetectionPixels = 800'000;
cv::Size detectionSize(cv::Size picture);

// The detector's input for `gray` (8-bit, one channel): resized to `size`, normalised as the
// model was trained, the grey level on the three colour channels (1 x 3 x height x width).
cv::Mat detectionBlob(const cv::Mat &gray, cv::Size size);

// The lines in `probability` (the detector's map, CV_32F, one value a pixel of its input) as
// boxes in a picture of `picture` pixels: the regions above the text threshold, each enlarged
// by the margin the model was trained to leave out, those the model trusts least dropped.
std::vector<TextBox> textBoxes(const cv::Mat &probability, cv::Size picture);

// `boxes` in reading order: lines from the top down, those side by side from left to right;
// when most lines stand upright (vertical text), columns from right to left, each from the top.
void sortForReading(std::vector<TextBox> &boxes);

} // namespace ocr::paddle
