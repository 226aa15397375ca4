#include "export/print_cells.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <optional>

#include <opencv2/imgproc.hpp>

#include "picture/picture_header.h"
#include "picture/picture_reader.h"

namespace tessaline {
namespace {

// What each of the two threads making cells may decode at once: with the
// cell cache and the rows in flight an export stays under 1 GB.
constexpr std::uint64_t kCellDecodeBytes = 192ull << 20;

bool IsJpegFile(const std::string& path) {
  char start[2] = {0, 0};
  std::ifstream(path, std::ios::binary).read(start, 2);
  return start[0] == '\xFF' && start[1] == '\xD8';
}

// False for a photo whose decode would outgrow kCellDecodeBytes, counting
// the reduced decode of a JPEG (either way round: the header's size is as
// stored, before the orientation tag turns it).
bool DecodeFits(const std::string& path, PrintCellSize cell) {
  const std::optional<PictureSize> size = ReadPictureSize(path);
  if (!size) return true;  // the decoder tells what it makes of it
  std::uint64_t bytes = DecodedBytes(*size);
  if (IsJpegFile(path)) {
    const int reduction = std::min(JpegReduction(*size, {cell.width, cell.height}),
                                   JpegReduction(*size, {cell.height, cell.width}));
    bytes /= static_cast<std::uint64_t>(reduction) * reduction;
  }
  return bytes <= kCellDecodeBytes;
}

}  // namespace

PrintCellSize PrintCellSizeFor(int tile_px, int tile_w, int tile_h) {
  const double height = std::round(static_cast<double>(tile_px) * tile_h / std::max(tile_w, 1));
  return {tile_px, std::max(1, static_cast<int>(height)), std::max(tile_w, 1), std::max(tile_h, 1)};
}

cv::Mat CentreCrop(const cv::Mat& picture, int aspect_w, int aspect_h) {
  const std::int64_t w = picture.cols, h = picture.rows;
  cv::Rect part(0, 0, picture.cols, picture.rows);
  if (w * aspect_h > h * aspect_w) {
    part.width = std::max<int>(1, static_cast<int>((h * aspect_w + aspect_h / 2) / aspect_h));
    part.x = static_cast<int>((w - part.width) / 2);
  } else {
    part.height = std::max<int>(1, static_cast<int>((w * aspect_h + aspect_w / 2) / aspect_w));
    part.y = static_cast<int>((h - part.height) / 2);
  }
  return picture(part);
}

cv::Mat MakePrintCell(const std::string& path, PrintCellSize cell) {
  // A picture covering the cell in both directions also covers it once cut
  // to the cell's aspect, so the cell size itself bounds the reduced decode.
  if (!DecodeFits(path, cell)) return cv::Mat();
  const DecodedPicture photo = ReadUprightPicture(path, {cell.width, cell.height});
  if (photo.pixels.empty()) return cv::Mat();
  cv::Mat resized;
  cv::resize(CentreCrop(photo.pixels, cell.aspect_w, cell.aspect_h), resized,
             cv::Size(cell.width, cell.height), 0, 0, cv::INTER_AREA);
  return resized;
}

cv::Mat PrintCellCache::Find(int tile) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = entries_.find(tile);
  if (found == entries_.end()) return cv::Mat();
  order_.splice(order_.begin(), order_, found->second.place);
  return found->second.cell;
}

void PrintCellCache::Keep(int tile, const cv::Mat& cell) {
  const std::uint64_t bytes = cell.total() * cell.elemSize();
  std::lock_guard<std::mutex> lock(mutex_);
  if (bytes > budget_ || entries_.count(tile) != 0) return;
  while (held_ + bytes > budget_ && !order_.empty()) {
    const auto last = entries_.find(order_.back());
    held_ -= last->second.cell.total() * last->second.cell.elemSize();
    entries_.erase(last);
    order_.pop_back();
  }
  order_.push_front(tile);
  entries_[tile] = Entry{cell, order_.begin()};
  held_ += bytes;
}

}  // namespace tessaline
