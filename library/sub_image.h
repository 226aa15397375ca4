#pragma once
// The tile library's data: one `SubImageInfo` per tile picture and the
// `SubImageStore` holding their thumbnails, plus the path rules that belong
// to a tile (its touched-tile file, the cache file of a library).
//
// Library entry i and thumbnail i always belong together; the position is
// the tile index used by the index, the cell assignment and the atlas.
// Nothing here is thread-safe: the load worker owns these while it runs, the
// GUI thread afterwards.

#include <cstddef>
#include <cstdint>
#include <opencv2/core.hpp>
#include <optional>
#include <string>
#include <vector>

namespace tessaline {

// What a picture's file was like when it was read: its size in bytes and
// its modification time in nanoseconds since the epoch. Another stamp at a
// later load means the file was replaced or edited in place.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t time_ns = 0;
  bool operator==(const FileStamp& other) const {
    return size == other.size && time_ns == other.time_ns;
  }
  bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

// One tile of the library.
struct SubImageInfo {
  // Path of the picture relative to the images directory, as the scan made
  // it; the identity of the entry.
  std::string name;
  // Channel means of the whole picture, truncated toward zero.
  std::uint8_t mean_r = 0;
  std::uint8_t mean_g = 0;
  std::uint8_t mean_b = 0;
  // Colour feature: matching_x × matching_y × 3 bytes.
  std::vector<unsigned char> feature;
  // Size of the picture as decoded, in pixels.
  std::int32_t width = 0;
  std::int32_t height = 0;
  // The picture is itself a thumbnail of another (see IsThumbName).
  bool is_thumb = false;
  // The picture file's stamp when this entry was made from it; none when
  // that is not known (an entry of a cache that came without stamps).
  std::optional<FileStamp> stamp;
};

// True when `name` is longer than 10 bytes and contains "_thumb" anywhere.
bool IsThumbName(const std::string& name);

// Removes the items at `indices` (positions counted before any removal).
// Duplicates are removed once; negative and out-of-range indices are
// ignored; the remaining items keep their order. The engine uses the same
// call on the library as the store uses on its thumbnails, so both stay
// paired.
template <typename T>
void EraseAt(std::vector<T>& items, const std::vector<int>& indices) {
  std::vector<bool> doomed(items.size(), false);
  for (int i : indices) {
    if (i >= 0 && static_cast<std::size_t>(i) < items.size()) doomed[i] = true;
  }
  std::size_t kept = 0;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (doomed[i]) continue;
    if (kept != i) items[kept] = std::move(items[i]);
    ++kept;
  }
  items.erase(items.begin() + static_cast<std::ptrdiff_t>(kept), items.end());
}

// The thumbnails of the library: CV_8UC3 images (blue, green, red; top row
// first) of exactly ThumbWidth() × ThumbHeight() pixels, each continuous.
// They lie one per row in a single buffer, which is the atlas image itself:
// a library of 50,000 tiles would otherwise hold a small allocation per
// thumbnail (and the heap holes the load's temporary pictures leave between
// them), and a second whole copy while the atlas is made.
class SubImageStore {
 public:
  // Releases every thumbnail and sets the size later Add calls must match.
  void Reset(int width, int height);

  // Appends a copy of `image`. An image that is not CV_8UC3 of exactly the
  // thumbnail size is ignored and false returned, so a caller can keep its
  // library entry out as well.
  bool Add(const cv::Mat& image);

  // Removes the thumbnails at `indices`, with the rules of EraseAt. The
  // later thumbnails move down: pictures taken from At() or Composite()
  // before show other tiles afterwards.
  void Erase(const std::vector<int>& indices);

  // Thumbnail i; i must be below Size().
  const cv::Mat& At(std::size_t i) const;
  std::size_t Size() const { return images_.size(); }
  int ThumbWidth() const { return thumb_width_; }
  int ThumbHeight() const { return thumb_height_; }

  // The atlas image: CV_8UC3, ThumbWidth() × ThumbHeight() pixels wide and
  // Size() rows high; row i holds thumbnail i's pixels row after row. An
  // empty Mat when the store is empty. It shares the store's pixels (no
  // copy): read it, never write it.
  cv::Mat Composite() const;

 private:
  // Makes room for twice the thumbnails, moving those held.
  void Grow();
  // Points images_ at the first images_.size() rows of rows_.
  void PointViews();
  // Thumbnail `row`'s pixels as a ThumbWidth() × ThumbHeight() picture.
  cv::Mat RowView(int row) const;

  int thumb_width_ = 0;
  int thumb_height_ = 0;
  cv::Mat rows_;                 // capacity rows of ThumbWidth() × ThumbHeight() pixels
  std::vector<cv::Mat> images_;  // views of the rows in use
};

// Path of the enlarged "touched tile" copy of a picture: the extension (the
// text after the last "." of the file name) becomes "tle"; a file name
// without "." gets ".tle" appended. A "." in a directory name is not an
// extension: "./images/a.b/photo" gives "./images/a.b/photo.tle". Both "/"
// and "\\" separate directories.
std::string TouchedTilePath(const std::string& picture_path);

// Path of the cache file for a tile directory, matching grid mx × my and
// tile size sw × sh: image_dir + "/mosaic_info" + MX + "x" + MY + "-" + SW +
// "x" + SH + ".pmc", numbers in plain decimal.
std::string MosaicInfoPath(const std::string& image_dir, int mx, int my, int sw, int sh);

}  // namespace tessaline
