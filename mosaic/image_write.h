#pragma once
// Writing result pictures with OpenCV, for the engine when nobody gave it a
// writer of the program's own (the batch command).

#include <opencv2/core.hpp>

#include <string>

namespace tessaline {

// Writes `bgr` (CV_8UC3) as PNG, BMP or JPEG, chosen by the extension of
// `path` (any case). False for another extension or a failed write; never
// throws.
bool WriteImageWithOpenCv(const std::string& path, const cv::Mat& bgr);

// True when the extension of `path` names a picture type this writer makes.
bool IsWritableImagePath(const std::string& path);

}  // namespace tessaline
