#pragma once
// Area means of the picture a frame becomes when it is stretched to the
// working size (FitToWorkingImage: bilinear, the aspect ratio not kept),
// taken from the frame itself. A live frame is matched this way: its
// matching image and its cell means equal, within rounding, those of the
// stretched picture, which is then never made unless someone asks for it.
//
// The stretch and the box mean are both linear and act on the two axes
// apart, so each output pixel is a weighted sum of a few frame pixels: for
// each box along an axis the weights are the bilinear weights of the
// working pixels it covers, each scaled by how much of that pixel lies in
// the box (a fraction at the ends of boxes that are not whole pixels, as an
// area resize takes them).

#include <opencv2/core.hpp>

#include <vector>

namespace tessaline {

// Boxes along one axis of the working picture: box i covers working pixels
// [i * step, min((i + 1) * step, working)) for i below `count`.
struct AxisBoxes {
  int count = 0;
  double step = 1.0;
};

// The boxes of an area resize of `working` pixels to `count` (the matching
// image: MakeMatchingImage over the stretched picture) and of cells of
// `cell` pixels (CellMeanColors).
AxisBoxes ResizeBoxes(int working, int count);
AxisBoxes CellBoxes(int count, int cell);

// The means, CV_8UC3 of x.count x y.count, of the boxes over `frame`
// (CV_8UC3) stretched to `working`; empty when the frame is empty or of
// another type, when a count is below 1 or a box lies outside the working
// picture.
cv::Mat StretchedAreaMeans(const cv::Mat& frame, cv::Size working, const AxisBoxes& x,
                           const AxisBoxes& y);

// The same as one colour per box, row by row (as CellMeanColors gives
// them); empty when StretchedAreaMeans is.
std::vector<cv::Vec3b> StretchedCellMeans(const cv::Mat& frame, cv::Size working,
                                          const AxisBoxes& x, const AxisBoxes& y);

}  // namespace tessaline
