#pragma once
// The cells of a print-resolution mosaic: each tile's original photo, read
// upright and only as large as the cell needs, cut to the cell's aspect
// about its centre and reduced by area averaging, so a cell shows the photo
// itself rather than an enlarged thumbnail. Any thread.

#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <unordered_map>

#include <opencv2/core.hpp>

namespace tessaline {

// The output cell: tile_px wide, the height keeping the tile's aspect
// tile_w : tile_h, which the photos are cut to.
struct PrintCellSize {
  int width = 0;
  int height = 0;
  int aspect_w = 1;
  int aspect_h = 1;
};
PrintCellSize PrintCellSizeFor(int tile_px, int tile_w, int tile_h);

// The largest centred part of `picture` with the aspect aspect_w : aspect_h
// (a view, no copy).
cv::Mat CentreCrop(const cv::Mat& picture, int aspect_w, int aspect_h);

// The cell picture of the photo at `path` (CV_8UC3, cell.width ×
// cell.height), before colour correction; empty when the photo cannot be
// read or is too large to decode within the export's memory.
cv::Mat MakePrintCell(const std::string& path, PrintCellSize cell);

// Cell pictures kept for tiles that come back, the least recently used
// dropped first once they hold more than `budget` bytes. Shared by the
// threads that make the cells.
class PrintCellCache {
 public:
  explicit PrintCellCache(std::uint64_t budget) : budget_(budget) {}
  // The kept picture of `tile` (shared pixels: read only), empty when none.
  cv::Mat Find(int tile);
  void Keep(int tile, const cv::Mat& cell);

 private:
  using Order = std::list<int>;
  struct Entry {
    cv::Mat cell;
    Order::iterator place;
  };
  std::mutex mutex_;
  std::uint64_t budget_;
  std::uint64_t held_ = 0;
  Order order_;  // most recent first
  std::unordered_map<int, Entry> entries_;
};

}  // namespace tessaline
