#include "mosaic/sub_image.h"

#include <cassert>
#include <cstring>

namespace tessaline {

bool IsThumbName(const std::string& name) {
  return name.size() > 10 && name.find("_thumb") != std::string::npos;
}

void SubImageStore::Reset(int width, int height) {
  images_.clear();
  thumb_width_ = width;
  thumb_height_ = height;
}

bool SubImageStore::Add(const cv::Mat& image) {
  if (image.empty() || image.type() != CV_8UC3 || image.cols != thumb_width_ ||
      image.rows != thumb_height_) {
    return false;
  }
  images_.push_back(image.clone());  // clone() is always continuous
  return true;
}

void SubImageStore::Erase(const std::vector<int>& indices) { EraseAt(images_, indices); }

const cv::Mat& SubImageStore::At(std::size_t i) const {
  assert(i < images_.size() && "thumbnail index past the end of the store");
  return images_[i];
}

cv::Mat SubImageStore::Composite() const {
  if (images_.empty()) return cv::Mat();
  const int pixels = thumb_width_ * thumb_height_;
  cv::Mat atlas(static_cast<int>(images_.size()), pixels, CV_8UC3);
  const std::size_t row_bytes = static_cast<std::size_t>(pixels) * 3;
  for (std::size_t i = 0; i < images_.size(); ++i) {
    std::memcpy(atlas.ptr(static_cast<int>(i)), images_[i].data, row_bytes);
  }
  return atlas;
}

std::string TouchedTilePath(const std::string& picture_path) {
  const std::size_t slash = picture_path.find_last_of("/\\");
  const std::size_t file_start = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = picture_path.rfind('.');
  if (dot == std::string::npos || dot < file_start) return picture_path + ".tle";
  return picture_path.substr(0, dot + 1) + "tle";
}

std::string MosaicInfoPath(const std::string& image_dir, int mx, int my, int sw, int sh) {
  return image_dir + "/mosaic_info" + std::to_string(mx) + "x" + std::to_string(my) + "-" +
         std::to_string(sw) + "x" + std::to_string(sh) + ".pmc";
}

}  // namespace tessaline
