#pragma once
// Colour features: how tiles and cells are described for matching.
//
// A colour feature is a grid of MX × MY sub-cell colours, D = MX × MY × 3
// bytes. Sub-cell (x, y) occupies bytes 3 × (y × MX + x) .. 3 × (y × MX + x) + 2
// as red, green, blue (grid rows outer, columns inner). Tile features hold the
// truncated mean of each sub-cell; cell features hold one pixel of the
// matching image per sub-cell, so byte j of a cell feature is compared with
// byte j of every tile feature.
//
// Pictures are cv::Mat, 8 bits per channel, blue-green-red, top row first.
// Grey (one channel) and blue-green-red-alpha (four channel) pictures are
// accepted and read as their colour equivalent (alpha ignored); any other
// type counts as a picture with no pixels. Nothing here logs or throws.

#include <opencv2/core.hpp>
#include <vector>

namespace tessaline {

using ColourFeature = std::vector<unsigned char>;

// The feature of a whole tile picture over an mx × my grid.
// Sub-cell width cw = W div mx, height ch = H div my; sub-cell (x, y) is the
// rectangle at (x × cw, y × ch) of cw × ch pixels, so the last W mod mx columns
// and H mod my rows take part in no sub-cell. Each byte is the channel mean
// truncated toward zero (computed exactly in integers).
// A picture narrower than mx (cw = 0) gives each sub-cell the single column
// x × W div mx instead, and one lower than my the single row y × H div my:
// the pixel where the sub-cell would start if the picture were stretched over
// the grid. The two axes are treated independently.
// An empty (or unsupported) picture gives D zero bytes; mx or my below 1
// gives an empty feature.
ColourFeature ComputeTileFeature(const cv::Mat& picture, int mx, int my);

// The matching image of a target: a resize to matching_size = (DivX × MX,
// DivY × MY), always 3 channels, by area means (cv::INTER_AREA) when it
// shrinks the target on both axes, bilinear otherwise. Gives an empty
// Mat when the target is empty or unsupported or the size is not positive.
cv::Mat MakeMatchingImage(const cv::Mat& target, cv::Size matching_size);

// Fills `query` (resized to mx × my × 3) with the feature of cell (cx, cy):
// the matching-image pixels at columns cx × mx .. cx × mx + mx − 1 and rows
// cy × my .. cy × my + my − 1, rows outer, red, green, blue each. Pixels that
// lie outside the matching image read as 0. The caller keeps one buffer and
// passes it for every cell, so no allocation happens per cell.
void CellFeature(const cv::Mat& matching, int cx, int cy, int mx, int my, std::vector<int>& query);

}  // namespace tessaline
