#include "video/movie_file.h"

#include <opencv2/videoio.hpp>

#include <filesystem>

namespace tessaline {

namespace {

// The movies the program opens (the chooser lists them in this order).
constexpr const char* kMovieExtensions[] = {"avi", "mpg", "mpeg", "mp4", "mov"};

}  // namespace

bool IsMovieExtension(const std::string& extension) {
  for (const char* movie : kMovieExtensions)
    if (extension == movie) return true;
  return false;
}

std::string MovieFilterPatterns() {
  std::string patterns;
  for (const char* movie : kMovieExtensions) {
    if (!patterns.empty()) patterns += ';';
    patterns += std::string("*.") + movie;
  }
  return patterns;
}

std::string MovieTemporarySuffix(const std::string& path) {
  return ".part" + std::filesystem::path(path).extension().string();
}

int ReportedFrameCount(double reported) {
  return reported >= 1.0 && reported < 1e9 ? static_cast<int>(reported) : 0;
}

int CountMoviePackets(const std::string& path) {
  try {
    cv::VideoCapture capture;
    if (!capture.open(path, cv::CAP_FFMPEG) || !capture.isOpened()) return -1;
    // Raw mode hands out the packets as they are; where it is missing,
    // grab decodes each frame instead, slower but the same count.
    capture.set(cv::CAP_PROP_FORMAT, -1);
    int packets = 0;
    while (capture.grab()) ++packets;
    return packets;
  } catch (const cv::Exception&) {
    return -1;
  }
}

std::string IncompleteMovieReason(TemporaryFile& file, int frames) {
  // A full disk or the size limit cut the file, its trailer or its index
  // short, even when every frame made it.
  if (!file.CanGrow()) return file.Error();
  // A movie of no frames is only a header, which most containers do not
  // even open; there is nothing in it to count.
  if (frames == 0) return "";
  const int packets = CountMoviePackets(file.Name());
  if (packets == frames) return "";
  if (packets < 0) return "the video writer made no readable movie";
  return "the video writer made a movie of " + std::to_string(packets) + " frames, not " +
         std::to_string(frames);
}

}  // namespace tessaline
