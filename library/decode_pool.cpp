#include "library/decode_pool.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

#include "library/feature.h"
#include "picture/picture_reader.h"

namespace tessaline {

cv::Mat DecodeTilePicture(const std::string& path) { return ReadUprightPicture(path).pixels; }

TileRecord MakeTileRecord(const cv::Mat& picture, const std::string& name, const TileShape& shape) {
  return MakeTileRecord(picture, PictureSize{picture.cols, picture.rows}, name, shape);
}

TileRecord MakeTileRecord(const cv::Mat& picture, PictureSize full, const std::string& name,
                          const TileShape& shape) {
  TileRecord record;
  SubImageInfo& info = record.info;
  info.name = name;
  // A 1 × 1 feature is the exact truncated mean of the whole picture, red
  // first.
  const ColourFeature mean = ComputeTileFeature(picture, 1, 1);
  info.mean_r = mean[0];
  info.mean_g = mean[1];
  info.mean_b = mean[2];
  info.width = full.width;
  info.height = full.height;
  // An area average: a linear resize of a photo to a few dozen pixels
  // samples a handful of its pixels and keeps their noise.
  cv::resize(picture, record.thumbnail, cv::Size(shape.sub_width, shape.sub_height), 0, 0,
             cv::INTER_AREA);
  info.feature = ComputeTileFeature(picture, shape.matching_x, shape.matching_y);
  info.is_thumb = IsThumbName(name);
  return record;
}

cv::Mat MakeTouchedTile(const cv::Mat& picture, int width, int height) {
  cv::Mat tile;
  cv::resize(picture, tile, cv::Size(width, height), 0, 0, cv::INTER_AREA);
  return tile;
}

PictureSize DecodeSizeFor(const TileShape& shape) {
  // The feature grid is never larger than the thumbnail in practice, but a
  // decode must still give each feature cell a pixel.
  return PictureSize{std::max({shape.sub_width, shape.tle_width, shape.matching_x}),
                     std::max({shape.sub_height, shape.tle_height, shape.matching_y})};
}

int DefaultDecodeThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

}  // namespace tessaline
