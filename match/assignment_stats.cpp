#include "match/assignment_stats.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "library/feature.h"

namespace tessaline {
namespace {

// sRGB byte to linear light, by the sRGB transfer function.
double LinearFromByte(int v) {
  const double c = v / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double LabF(double t) {
  constexpr double kEpsilon = 216.0 / 24389.0, kKappa = 24389.0 / 27.0;
  return t > kEpsilon ? std::cbrt(t) : (kKappa * t + 16.0) / 116.0;
}

}  // namespace

cv::Vec3d CieLab(const cv::Vec3b& bgr) {
  static const std::vector<double> linear = [] {
    std::vector<double> table(256);
    for (int v = 0; v < 256; ++v) table[v] = LinearFromByte(v);
    return table;
  }();
  const double r = linear[bgr[2]], g = linear[bgr[1]], b = linear[bgr[0]];
  const double x = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.95047;
  const double y = 0.2126729 * r + 0.7151522 * g + 0.0721750 * b;
  const double z = (0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / 1.08883;
  const double fx = LabF(x), fy = LabF(y), fz = LabF(z);
  return cv::Vec3d(116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz));
}

AssignmentStats MeasureAssignment(const std::vector<int>& tiles, const TileMatcher& matcher,
                                  const cv::Mat& matching, int div_x, int div_y, int mx, int my,
                                  int target_tile) {
  AssignmentStats stats;
  stats.cells = static_cast<int>(tiles.size());
  std::vector<int> uses(static_cast<std::size_t>(std::max(matcher.tile_span(), 0)), 0);
  double sum = 0.0;
  long long samples = 0;
  std::vector<int> query;
  for (std::size_t cell = 0; cell < tiles.size() && div_x > 0; ++cell) {
    const int t = tiles[cell];
    if (t >= 0 && static_cast<std::size_t>(t) < uses.size()) ++uses[static_cast<std::size_t>(t)];
    const unsigned char* tile = matcher.FeatureOf(t);
    if (tile == nullptr || static_cast<int>(cell) >= div_x * div_y) continue;
    CellFeature(matching, static_cast<int>(cell) % div_x, static_cast<int>(cell) / div_x, mx, my,
                query);
    for (std::size_t j = 0; j + 2 < query.size(); j += 3, ++samples) {
      // Features hold red, green, blue; CieLab takes blue first.
      const cv::Vec3b target(query[j + 2], query[j + 1], query[j]);
      const cv::Vec3b photo(tile[j + 2], tile[j + 1], tile[j]);
      sum += cv::norm(CieLab(target) - CieLab(photo));
    }
  }
  for (std::size_t t = 0; t < uses.size(); ++t) {
    stats.distinct += uses[t] > 0;
    stats.most_uses = std::max(stats.most_uses, uses[t]);
    const bool offered =
        matcher.FeatureOf(static_cast<int>(t)) && static_cast<int>(t) != target_tile;
    stats.never_used += offered && uses[t] == 0;
  }
  stats.mean_delta_e = samples > 0 ? sum / static_cast<double>(samples) : 0.0;
  return stats;
}

std::string StatsLine(const AssignmentStats& s) {
  std::ostringstream line;
  line.setf(std::ios::fixed);
  line.precision(2);
  line << "cells : " << s.cells << ", photos used : " << s.distinct
       << ", most uses of one photo : " << s.most_uses << ", photos never used : " << s.never_used
       << ", mean delta E : " << s.mean_delta_e;
  return line.str();
}

}  // namespace tessaline
