#include "mosaic/decode_pool.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "mosaic/feature.h"
#include "mosaic/gif_reader.h"

namespace tessaline {

cv::Mat DecodeTilePicture(const std::string& path) {
  try {
    // Colour mode converts grey and alpha pictures to three channels exactly
    // as a conversion after an unchanged read would (equal channels; alpha
    // dropped, not blended), and gives 16-bit pictures as 8-bit.
    cv::Mat picture = cv::imread(path, cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
    // OpenCV has no GIF decoder; the GIF reader itself checks the first
    // bytes, so only real GIF files are decoded as such, whatever their name.
    if (picture.empty()) picture = ReadGifFirstFrame(path);
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
