#include "picture/error_text.h"

#include <opencv2/core.hpp>

#include <algorithm>

namespace tessaline {

std::string ErrorText(const std::exception& error) {
  const auto* opencv = dynamic_cast<const cv::Exception*>(&error);
  std::string text = opencv != nullptr && !opencv->err.empty() ? opencv->err : error.what();
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  const std::size_t end = text.find_last_not_of(' ');
  text.erase(end == std::string::npos ? 0 : end + 1);
  return text.empty() ? "an unknown error" : text;
}

}  // namespace tessaline
