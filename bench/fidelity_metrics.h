#pragma once
// How close a mosaic comes to its target, as the fidelity benchmark
// measures it (bench/fidelity_compare.sh). Both pictures are first reduced
// to a few pixels per cell by area averaging, so that the measure sees the
// colour layout a viewer sees from a distance and not the tiles' own detail,
// which no mosaic can reproduce.

#include <cstddef>
#include <opencv2/core.hpp>

namespace tessaline {

// The cell grid of a mosaic: cols × rows cells of cell_w × cell_h pixels.
struct CellGrid {
  int cols = 0;
  int rows = 0;
  int cell_w = 0;
  int cell_h = 0;
};

// The grid of cell_w × cell_h cells that a picture of width × height holds
// (whole cells only, as the mosaic makes them).
CellGrid GridOf(int width, int height, int cell_w, int cell_h);

// `bgr` (CV_8UC3) cropped to the grid's whole cells and area-averaged to
// `per_cell` × `per_cell` pixels per cell.
cv::Mat ReduceToCells(const cv::Mat& bgr, const CellGrid& grid, int per_cell);

// Mean CIE76 colour difference (Euclidean distance in CIELAB, sRGB with a
// D65 white) between two CV_8UC3 pictures of the same size.
double MeanDeltaE76(const cv::Mat& a_bgr, const cv::Mat& b_bgr);

// Number of distinct cell contents of a mosaic: cells drawn from the same
// tile without colour correction are equal byte for byte, so this is the
// number of different tiles used.
std::size_t DistinctCells(const cv::Mat& mosaic_bgr, const CellGrid& grid);

// The mosaic with every cell blended toward the mean colour of the target
// under it by share c, with the program's own colour-correction rule; the
// target must have the mosaic's size.
cv::Mat ColorCorrected(const cv::Mat& mosaic_bgr, const cv::Mat& target_bgr, const CellGrid& grid,
                       double c);

}  // namespace tessaline
