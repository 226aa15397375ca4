#include "video/video_codec.h"

#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cctype>

namespace tessaline {
namespace {

std::string LowerExtension(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

}  // namespace

int CodecForPath(const std::string& path) {
  const std::string extension = LowerExtension(path);
  if (extension.empty()) return -1;
  if (extension == "avi") return cv::VideoWriter::fourcc('M', 'J', 'P', 'G');
  if (extension == "mp4" || extension == "mov") return cv::VideoWriter::fourcc('m', 'p', '4', 'v');
  return 0;
}

}  // namespace tessaline
