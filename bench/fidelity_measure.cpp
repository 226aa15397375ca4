// Measures one mosaic against its target for bench/fidelity_compare.sh:
//
//   fidelity_measure TARGET MOSAIC WxH [C]
//
// WxH is the cell size. Prints one line "delta_e D distinct N", the mean
// CIE76 difference at 4 x 4 pixels per cell and the number of different
// tiles used; with C (0 to 1) also "corrected E", the difference after the
// program's colour correction by C, applied here to the uncorrected mosaic
// (what the batch program's colour option makes of the same assignment).
#include <cstdio>
#include <cstdlib>
#include <opencv2/imgcodecs.hpp>
#include <string>

#include "bench/fidelity_metrics.h"

namespace {

constexpr int kPixelsPerCell = 4;

bool ReadPicture(const char* path, cv::Mat& picture) {
  // A missing file is told apart first: OpenCV would add a warning line of
  // its own to ours.
  if (std::FILE* file = std::fopen(path, "rb")) {
    std::fclose(file);
    picture = cv::imread(path, cv::IMREAD_COLOR);
  } else {
    picture = cv::Mat();
  }
  if (picture.empty()) std::fprintf(stderr, "cannot read the picture '%s'\n", path);
  return !picture.empty();
}

// A colour correction share: a number from 0 to 1 and nothing after it.
bool ParseShare(const char* text, double& c) {
  char* end = nullptr;
  c = std::strtod(text, &end);
  return end != text && *end == '\0' && c >= 0.0 && c <= 1.0;
}

bool ParseCell(const std::string& text, int& w, int& h) {
  return std::sscanf(text.c_str(), "%dx%d", &w, &h) == 2 && w > 0 && h > 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tessaline;
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: fidelity_measure TARGET MOSAIC CELLWxCELLH [COLOR]\n");
    return 2;
  }
  int cell_w = 0, cell_h = 0;
  if (!ParseCell(argv[3], cell_w, cell_h)) {
    std::fprintf(stderr, "invalid cell size '%s' (expected WxH, e.g. 32x18)\n", argv[3]);
    return 2;
  }
  double c = 0.0;
  if (argc == 5 && !ParseShare(argv[4], c)) {
    std::fprintf(stderr, "invalid colour correction '%s' (expected a number from 0 to 1)\n",
                 argv[4]);
    return 2;
  }
  cv::Mat target, mosaic;
  if (!ReadPicture(argv[1], target) || !ReadPicture(argv[2], mosaic)) return 1;
  if (target.size() != mosaic.size()) {
    std::fprintf(stderr, "the mosaic is %dx%d, its target %dx%d : they must be equal\n",
                 mosaic.cols, mosaic.rows, target.cols, target.rows);
    return 1;
  }
  const CellGrid grid = GridOf(mosaic.cols, mosaic.rows, cell_w, cell_h);
  if (grid.cols < 1 || grid.rows < 1) {
    std::fprintf(stderr, "cells of %dx%d do not fit the mosaic\n", cell_w, cell_h);
    return 1;
  }
  const cv::Mat reduced_target = ReduceToCells(target, grid, kPixelsPerCell);
  std::printf("delta_e %.3f distinct %zu",
              MeanDeltaE76(reduced_target, ReduceToCells(mosaic, grid, kPixelsPerCell)),
              DistinctCells(mosaic, grid));
  if (argc == 5) {
    const cv::Mat corrected = ColorCorrected(mosaic, target, grid, c);
    std::printf(" corrected %.3f",
                MeanDeltaE76(reduced_target, ReduceToCells(corrected, grid, kPixelsPerCell)));
  }
  std::printf("\n");
  return 0;
}
