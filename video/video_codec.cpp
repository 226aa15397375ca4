#include "video/video_codec.h"

#include <opencv2/videoio.hpp>

#include "settings/paths.h"

namespace tessaline {
namespace {

struct CodecRow {
  const char* extension;
  char code[4];
};

constexpr CodecRow kCodecs[] = {
    {"avi", {'M', 'J', 'P', 'G'}},  {"mp4", {'m', 'p', '4', 'v'}}, {"m4v", {'m', 'p', '4', 'v'}},
    {"mov", {'m', 'p', '4', 'v'}},  {"mkv", {'m', 'p', '4', 'v'}}, {"3gp", {'m', 'p', '4', 'v'}},
    {"webm", {'V', 'P', '8', '0'}}, {"ogv", {'V', 'P', '8', '0'}}, {"wmv", {'W', 'M', 'V', '2'}},
    {"asf", {'W', 'M', 'V', '2'}},  {"flv", {'F', 'L', 'V', '1'}}, {"mpg", {'P', 'I', 'M', '1'}},
    {"mpeg", {'P', 'I', 'M', '1'}},
};

}  // namespace

int CodecForPath(const std::string& path) {
  const std::string extension = LowerExtension(path);
  for (const CodecRow& row : kCodecs) {
    if (extension == row.extension)
      return cv::VideoWriter::fourcc(row.code[0], row.code[1], row.code[2], row.code[3]);
  }
  return -1;
}

std::string WritableMovieTypes() {
  std::string text;
  for (const CodecRow& row : kCodecs)
    text += (text.empty() ? "." : ", .") + std::string(row.extension);
  return text;
}

}  // namespace tessaline
