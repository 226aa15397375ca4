#include "mosaic/image_write.h"

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cctype>

namespace tessaline {
namespace {

std::string LowerExtension(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

}  // namespace

bool IsWritableImagePath(const std::string& path) {
  const std::string extension = LowerExtension(path);
  return extension == "png" || extension == "bmp" || extension == "jpg" || extension == "jpeg";
}

bool WriteImageWithOpenCv(const std::string& path, const cv::Mat& bgr) {
  if (bgr.empty() || !IsWritableImagePath(path)) return false;
  try {
    return cv::imwrite(path, bgr);
  } catch (const cv::Exception&) {
    return false;
  }
}

}  // namespace tessaline
