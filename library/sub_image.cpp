#include "library/sub_image.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "settings/paths.h"

namespace tessaline {

bool IsThumbName(const std::string& name) {
  return name.size() > 10 && name.find("_thumb") != std::string::npos;
}

void SubImageStore::Reset(int width, int height) {
  images_.clear();
  rows_.release();
  thumb_width_ = width;
  thumb_height_ = height;
}

cv::Mat SubImageStore::RowView(int row) const {
  return rows_.row(row).reshape(3, thumb_height_);
}

void SubImageStore::PointViews() {
  for (std::size_t i = 0; i < images_.size(); ++i) images_[i] = RowView(static_cast<int>(i));
}

void SubImageStore::Grow() {
  const int pixels = thumb_width_ * thumb_height_;
  const int held = static_cast<int>(images_.size());
  // The first block holds a few MB of thumbnails, never fewer than one:
  // tiles may be as large as the working image.
  const std::size_t row_bytes = static_cast<std::size_t>(pixels) * 3;
  const int first = static_cast<int>(std::clamp<std::size_t>((4u << 20) / row_bytes, 1, 1024));
  cv::Mat larger(rows_.rows == 0 ? first : 2 * rows_.rows, pixels, CV_8UC3);
  if (held > 0) rows_.rowRange(0, held).copyTo(larger.rowRange(0, held));
  // Views handed out before keep the old rows alive and unchanged.
  rows_ = larger;
  PointViews();
}

bool SubImageStore::Add(const cv::Mat& image) {
  if (image.empty() || image.type() != CV_8UC3 || image.cols != thumb_width_ ||
      image.rows != thumb_height_) {
    return false;
  }
  if (static_cast<int>(images_.size()) == rows_.rows) Grow();
  cv::Mat view = RowView(static_cast<int>(images_.size()));
  image.copyTo(view);  // same size and type: written in place
  images_.push_back(view);
  return true;
}

void SubImageStore::Erase(const std::vector<int>& indices) {
  std::vector<int> kept(images_.size());
  for (std::size_t i = 0; i < kept.size(); ++i) kept[i] = static_cast<int>(i);
  EraseAt(kept, indices);
  // kept is ascending and kept[j] >= j: each row moves down onto rows
  // already moved or removed.
  const std::size_t row_bytes = rows_.empty() ? 0 : rows_.step[0];
  for (std::size_t j = 0; j < kept.size(); ++j) {
    if (kept[j] != static_cast<int>(j))
      std::memmove(rows_.ptr(static_cast<int>(j)), rows_.ptr(kept[j]), row_bytes);
  }
  images_.resize(kept.size());
  PointViews();
}

const cv::Mat& SubImageStore::At(std::size_t i) const {
  assert(i < images_.size() && "thumbnail index past the end of the store");
  return images_[i];
}

cv::Mat SubImageStore::Composite() const {
  if (images_.empty()) return cv::Mat();
  return rows_.rowRange(0, static_cast<int>(images_.size()));
}

std::string TouchedTilePath(const std::string& picture_path) {
  return WithExtension(picture_path, "tle");
}

std::string MosaicInfoPath(const std::string& image_dir, int mx, int my, int sw, int sh) {
  return image_dir + "/mosaic_info" + std::to_string(mx) + "x" + std::to_string(my) + "-" +
         std::to_string(sw) + "x" + std::to_string(sh) + ".pmc";
}

}  // namespace tessaline
