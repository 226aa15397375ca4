#include "mosaic/decode_pool.h"

#include <cstring>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "mosaic/feature.h"

namespace tessaline {
namespace {

// True when the file starts with a GIF signature. OpenCV's image reader has
// no GIF decoder, so those go through the movie reader instead; testing the
// bytes keeps other unreadable files away from the movie reader's probing.
bool HasGifSignature(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char head[6] = {};
  if (!in.read(head, sizeof head)) return false;
  return std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0;
}

cv::Mat DecodeGifFirstFrame(const std::string& path) {
  cv::VideoCapture capture(path, cv::CAP_FFMPEG);
  cv::Mat frame;
  if (!capture.isOpened() || !capture.read(frame) || frame.empty()) return cv::Mat();
  if (frame.type() == CV_8UC3) return frame.clone();
  cv::Mat bgr;
  if (frame.type() == CV_8UC1) cv::cvtColor(frame, bgr, cv::COLOR_GRAY2BGR);
  if (frame.type() == CV_8UC4) cv::cvtColor(frame, bgr, cv::COLOR_BGRA2BGR);
  return bgr;
}

}  // namespace

cv::Mat DecodeTilePicture(const std::string& path) {
  try {
    // Colour mode converts grey and alpha pictures to three channels exactly
    // as a conversion after an unchanged read would (equal channels; alpha
    // dropped, not blended), and gives 16-bit pictures as 8-bit.
    cv::Mat picture = cv::imread(path, cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
    if (picture.empty() && HasGifSignature(path)) picture = DecodeGifFirstFrame(path);
    if (picture.type() != CV_8UC3) return cv::Mat();
    return picture;
  } catch (const std::exception&) {
    // A decoder that gives up by throwing (a corrupt file, a picture too
    // large for memory) means "cannot be read", like an empty result.
    return cv::Mat();
  }
}

TileRecord MakeTileRecord(const cv::Mat& picture, const std::string& name, const TileShape& shape) {
  TileRecord record;
  SubImageInfo& info = record.info;
  info.name = name;
  // A 1 × 1 feature is the exact truncated mean of the whole picture, red
  // first.
  const ColourFeature mean = ComputeTileFeature(picture, 1, 1);
  info.mean_r = mean[0];
  info.mean_g = mean[1];
  info.mean_b = mean[2];
  info.width = picture.cols;
  info.height = picture.rows;
  cv::resize(picture, record.thumbnail, cv::Size(shape.sub_width, shape.sub_height), 0, 0,
             cv::INTER_LINEAR);
  info.feature = ComputeTileFeature(picture, shape.matching_x, shape.matching_y);
  info.is_thumb = IsThumbName(name);
  return record;
}

cv::Mat MakeTouchedTile(const cv::Mat& picture, int width, int height) {
  cv::Mat tile;
  cv::resize(picture, tile, cv::Size(width, height), 0, 0, cv::INTER_LINEAR);
  return tile;
}

int DefaultDecodeThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

}  // namespace tessaline
