#include "mosaic/size_limits.h"

#include "match/capped_assignment.h"

#include <algorithm>
#include <cmath>
#include <sstream>


namespace tessaline {
namespace {

std::string Pair(double w, double h) {
  std::ostringstream text;
  text.precision(15);
  text << w << " x " << h;
  return text.str();
}

std::string Megabytes(double bytes) {
  return std::to_string(static_cast<long long>(std::ceil(bytes / (1024.0 * 1024.0)))) + " MB";
}

// Longer than a texture side may be; never when there is no GPU (0).
bool PastTexture(double w, double h, int max_side) {
  return max_side > 0 && (w > max_side || h > max_side);
}

std::string TooLargeForTexture(const std::string& what, double w, double h, int max_side) {
  return what + " " + Pair(w, h) + " is larger than the largest texture side " +
         std::to_string(max_side);
}

std::string TooLargeForMemory(const std::string& what, double bytes, std::size_t budget) {
  return what + " needs " + Megabytes(bytes) + ", more than the budget of " +
         Megabytes(static_cast<double>(budget));
}

}  // namespace

std::string SizeRefusal(const MosaicConfig& c, int max_texture_side, std::size_t memory_budget) {
  // Doubles: the products of absurd settings overflow every integer type
  // the engine uses, which is exactly when they must be refused.
  const double sub_w = std::max(c.sub_width, 1), sub_h = std::max(c.sub_height, 1);
  const double div_x = std::floor(c.image_width / sub_w), div_y = std::floor(c.image_height / sub_h);
  const double matching_w = div_x * c.matching_x, matching_h = div_y * c.matching_y;
  if (PastTexture(sub_w, sub_h, max_texture_side))
    return TooLargeForTexture("the tile size", sub_w, sub_h, max_texture_side);
  if (PastTexture(c.image_width, c.image_height, max_texture_side))
    return TooLargeForTexture("the working size", c.image_width, c.image_height, max_texture_side);
  if (PastTexture(matching_w, matching_h, max_texture_side))
    return TooLargeForTexture("the matching image", matching_w, matching_h, max_texture_side);
  const double budget = static_cast<double>(memory_budget);
  const double matching_bytes = matching_w * matching_h * 3;
  if (matching_bytes > budget)
    return TooLargeForMemory("the matching image " + Pair(matching_w, matching_h), matching_bytes,
                             memory_budget);
  // The matcher keeps search_num + 1 candidates of every cell (one more
  // when the target tile must be left out), once per distinct cell and once
  // in the result.
  const double candidate_bytes = div_x * div_y * (c.search_num + 1.0) * sizeof(int) * 2;
  if (candidate_bytes > budget)
    return TooLargeForMemory("search_num " + std::to_string(c.search_num) + " over " +
                                 Pair(div_x, div_y) + " cells",
                             candidate_bytes, memory_budget);
  // A capped assignment may widen a cell's list of (tile, cost) pairs up to
  // kMaxCappedEdges, beside the matcher's first pass.
  const double capped_bytes = div_x * div_y * (kMaxCappedEdges + c.search_num + 1.0) * 8.0;
  if ((c.max_uses > 0 || c.use_all) && capped_bytes > budget)
    return TooLargeForMemory("max_uses " + std::to_string(c.max_uses) +
                                 (c.use_all ? " with use_all" : "") + " over " +
                                 Pair(div_x, div_y) + " cells",
                             capped_bytes, memory_budget);
  return std::string();
}

}  // namespace tessaline
