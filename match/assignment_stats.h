#pragma once
// What a mosaic was made of: how many photos it uses, how often, and how far
// its tiles lie from the target, as one line for the log and the batch's
// --stats.

#include <opencv2/core.hpp>

#include <string>
#include <vector>

#include "match/matcher.h"

namespace tessaline {

// CIELAB of an sRGB colour (blue, green, red bytes) under a D65 white,
// computed exactly (OpenCV's conversion tabulates its curves, off by some
// tenths of a unit of L*).
cv::Vec3d CieLab(const cv::Vec3b& bgr);

struct AssignmentStats {
  int cells = 0;
  int distinct = 0;    // photos used at least once
  int most_uses = 0;   // cells of the photo used most
  int never_used = 0;  // photos the matcher could offer that no cell uses
  // The mean CIE76 colour difference between target and mosaic at the
  // matching grid: over every feature sub-cell of every cell, the distance
  // in CIELAB between the matching image's pixel there (the target's mean
  // colour over the sub-cell) and the same sub-cell of the cell's tile
  // feature (the photo's mean colour over it).
  double mean_delta_e = 0.0;
};

// Measures `tiles` (row-major over div_x × div_y cells) against `matching`
// (CV_8UC3, mx × my pixels per cell) and the tile features of `matcher`.
// `target_tile`, which a mosaic never uses, does not count as never used.
AssignmentStats MeasureAssignment(const std::vector<int>& tiles, const TileMatcher& matcher,
                                  const cv::Mat& matching, int div_x, int div_y, int mx, int my,
                                  int target_tile);

// "cells : 14400, photos used : 9800, most uses of one photo : 2, photos
// never used : 200, mean delta E : 4.21".
std::string StatsLine(const AssignmentStats& stats);

}  // namespace tessaline
