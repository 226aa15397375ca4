#pragma once
// The deep-zoom form of a print-resolution mosaic: a Deep Zoom (DZI) tile
// pyramid of 256-pixel JPEG tiles without overlap, level L holding the
// picture reduced by 2^(max − L) (sides rounded up, level 0 one pixel), and
// a page that shows it with Leaflet, copied beside it so the folder opens
// offline from a file URL or any static web server:
//
//   index.html  cells.js  mosaic.dzi  leaflet/  mosaic_files/L/COL_ROW.jpg
//
// cells.js tells the page which photo each cell shows (base names only), so
// a click names the photo. One thread.

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "export/print_sinks.h"

namespace tessaline {

constexpr int kDeepZoomTile = 256;

// The pyramid's deepest level: the least L with 2^L >= the longer side.
int DeepZoomMaxLevel(int width, int height);

// Builds the pyramid under `folder` (made already) from rows given top
// first; each level keeps one row of tiles, so memory stays near
// 2 × 256 rows of the full width.
class DeepZoomSink : public PrintSink {
 public:
  DeepZoomSink(const std::string& folder, int width, int height);
  bool AddRows(const cv::Mat& rows) override;
  bool Finish() override;

 private:
  struct Level {
    int width = 0;
    int height = 0;
    cv::Mat band;  // the current row of tiles
    int filled = 0;
    int tile_row = 0;
    cv::Mat pending;  // a row waiting for its pair to make the level below
  };
  void Push(int level, const cv::Mat& row);
  void WriteBand(int level);
  void WriteTile(int level, int column, const cv::Mat& pixels);

  std::string folder_;
  std::vector<Level> levels_;
};

// What the page needs to name the photo under a point.
struct DeepZoomCells {
  int width = 0;  // the full picture
  int height = 0;
  int div_x = 0;
  int div_y = 0;
  int cell_width = 0;
  int cell_height = 0;
  std::vector<std::string> photo_paths;  // of each tile index
  std::vector<int> cells;                // row-major tile indices
};

// cells.js: one variable, tessalineMosaic, holding the sizes, the base
// names of the photos used and each cell's index into them (−1: none).
std::string DeepZoomCellsScript(const DeepZoomCells& cells);

// The Deep Zoom descriptor of a width × height pyramid.
std::string DeepZoomDescriptor(int width, int height);

// The page, the same for every mosaic (it reads cells.js).
std::string DeepZoomPage();

// The folder the viewer library is copied from: Debian's libjs-leaflet.
std::string LeafletFolder();

}  // namespace tessaline
