#pragma once

#include "search/ocr/paddle_detection.h"

#include <QString>

#include <opencv2/core.hpp>

#include <vector>

// The line side of the PaddleOCR engine: a detected line cut out of the picture and laid level,
// the inputs of the direction classifier and of the recogniser, and the recogniser's answer read.
namespace ocr::paddle {

// The recogniser reads lines 48 pixels high; a line is laid on an input of one of a few widths
// (one network each, see recognitionWidth), at most kMaxLineWidth: a longer line is squeezed.
constexpr int kLineHeight = 48;
constexpr int kMaxLineWidth = 3200;

// The line in `box` of `gray` (8-bit, one channel) as a level strip with the text running from
// left to right: the rotated rectangle straightened; an upright column turned a quarter left,
// its top to the left, as PaddleOCR reads vertical text.
cv::Mat lineImage(const cv::Mat &gray, const TextBox &box);

// The direction classifier's input for `line`: 1 x 3 x 48 x 192.
cv::Mat directionBlob(const cv::Mat &line);

// The input width of the recogniser for `line` (48 pixels high at its own proportions): the
// smallest of 320, 480, 640, 960, 1280, 1920, 2560 and 3200 that holds it.
int recognitionWidth(const cv::Mat &line);

// The recogniser's input for `line`: 1 x 3 x 48 x `width`, the line on the left at its own
// proportions (squeezed when longer), the rest empty.
cv::Mat recognitionBlob(const cv::Mat &line, int width);

struct LineText
{
    QString text;
    float confidence = 0; // the mean probability of the characters read
};

// The text of the recogniser's output (1 x classes x 1 x positions, each position's class
// probabilities): the most likely class at each position, repeats and blanks dropped (CTC).
// `characters` names the classes; a size that does not match gives no text.
LineText decode(const cv::Mat &probabilities, const std::vector<QString> &characters);

} // namespace ocr::paddle
