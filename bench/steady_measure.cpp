// Measures a mosaic movie against its source for bench/steady_movie.sh:
//
//   steady_measure SOURCE MOSAIC CELLWxCELLH
//
// Prints one line "frames N swaps S delta_e D": S is the mean share of
// cells (in percent) that swap from one mosaic frame to the next, counted
// as cells whose mean absolute difference from the frame before exceeds
// kSwapLevels (a different photograph moves a cell by tens of levels, the
// codec's noise by a few); D is the mean CIE76 difference between each
// mosaic frame and its source frame at 4 x 4 pixels per cell.
#include <cstdio>
#include <cstdlib>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <string>

#include "bench/fidelity_metrics.h"

namespace {

constexpr int kPixelsPerCell = 4;
constexpr double kSwapLevels = 12.0;

bool ParseCell(const std::string& text, int& w, int& h) {
  return std::sscanf(text.c_str(), "%dx%d", &w, &h) == 2 && w > 0 && h > 0;
}

// Cells of `grid` whose mean absolute difference between the two frames
// exceeds kSwapLevels.
int SwappedCells(const cv::Mat& before, const cv::Mat& now, const tessaline::CellGrid& grid) {
  cv::Mat diff;
  cv::absdiff(before, now, diff);
  int swapped = 0;
  for (int row = 0; row < grid.rows; ++row)
    for (int col = 0; col < grid.cols; ++col) {
      const cv::Scalar mean =
          cv::mean(diff(cv::Rect(col * grid.cell_w, row * grid.cell_h, grid.cell_w, grid.cell_h)));
      swapped += (mean[0] + mean[1] + mean[2]) / 3.0 > kSwapLevels;
    }
  return swapped;
}

struct Totals {
  int frames = 0;
  double swap_share = 0.0;  // summed over frame pairs
  double delta_e = 0.0;     // summed over frames
};

// Reads both movies frame by frame; false with a line when they do not pair.
bool Measure(cv::VideoCapture& source, cv::VideoCapture& mosaic, int cell_w, int cell_h,
             Totals& totals) {
  cv::Mat frame, tiles, previous;
  while (source.read(frame) && mosaic.read(tiles)) {
    const tessaline::CellGrid grid = tessaline::GridOf(tiles.cols, tiles.rows, cell_w, cell_h);
    if (frame.size() != tiles.size()) cv::resize(frame, frame, tiles.size(), 0, 0, cv::INTER_AREA);
    totals.delta_e +=
        tessaline::MeanDeltaE76(tessaline::ReduceToCells(frame, grid, kPixelsPerCell),
                                tessaline::ReduceToCells(tiles, grid, kPixelsPerCell));
    if (!previous.empty())
      totals.swap_share +=
          static_cast<double>(SwappedCells(previous, tiles, grid)) / (grid.cols * grid.rows);
    tiles.copyTo(previous);
    ++totals.frames;
  }
  if (totals.frames < 2) std::fprintf(stderr, "fewer than two frames to compare\n");
  return totals.frames >= 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: steady_measure SOURCE MOSAIC CELLWxCELLH\n");
    return 2;
  }
  int cell_w = 0, cell_h = 0;
  if (!ParseCell(argv[3], cell_w, cell_h)) {
    std::fprintf(stderr, "invalid cell size '%s' (expected WxH, e.g. 60x60)\n", argv[3]);
    return 2;
  }
  cv::VideoCapture source(argv[1], cv::CAP_FFMPEG), mosaic(argv[2], cv::CAP_FFMPEG);
  if (!source.isOpened() || !mosaic.isOpened()) {
    std::fprintf(stderr, "cannot read '%s'\n", source.isOpened() ? argv[2] : argv[1]);
    return 1;
  }
  Totals totals;
  if (!Measure(source, mosaic, cell_w, cell_h, totals)) return 1;
  std::printf("frames %d swaps %.2f delta_e %.3f\n", totals.frames,
              100.0 * totals.swap_share / (totals.frames - 1), totals.delta_e / totals.frames);
  return 0;
}
