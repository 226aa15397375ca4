// Measures how far a target read only for matching (decoded at the size its
// matching image needs, a JPEG reduced) lands from the same
// target read whole and stretched to the working size first:
//
//   target_scale_measure WxH MWxMH PICTURE...
//
// WxH is the working size, MWxMH the matching image's (cells times the
// matching grid). Prints, per picture and over all, the largest and the mean
// difference of a matching-image value (0..255, the values the cells are
// matched with) between the two reads.
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>
#include <string>

#include "library/feature.h"
#include "mosaic/photo_mosaic.h"
#include "picture/picture_reader.h"

namespace {

bool ParseSize(const char* text, cv::Size& size) {
  return std::sscanf(text, "%dx%d", &size.width, &size.height) == 2 && size.width > 0 &&
         size.height > 0;
}

// The matching image as a whole read gives it: the picture stretched to the
// working size, then averaged down.
cv::Mat WholeRead(const std::string& path, cv::Size working, cv::Size matching) {
  const cv::Mat picture = tessaline::ReadUprightPicture(path).pixels;
  if (picture.empty()) return cv::Mat();
  cv::Mat stretched = picture;
  if (picture.size() != working) cv::resize(picture, stretched, working, 0, 0, cv::INTER_LINEAR);
  return tessaline::MakeMatchingImage(stretched, matching);
}

cv::Mat MatchingRead(const std::string& path, cv::Size working, cv::Size matching) {
  const cv::Mat picture =
      tessaline::ReadTargetPicture(path, tessaline::MatchingReadSize(matching, working)).pixels;
  return picture.empty() ? cv::Mat() : tessaline::MatchingImageOfTarget(picture, matching, working);
}

}  // namespace

int main(int argc, char** argv) {
  cv::Size working;
  cv::Size matching;
  if (argc < 4 || !ParseSize(argv[1], working) || !ParseSize(argv[2], matching)) {
    std::fprintf(stderr, "usage: target_scale_measure WxH MWxMH PICTURE...\n");
    return 2;
  }
  double largest = 0.0;
  double sum = 0.0;
  double values = 0.0;
  for (int i = 3; i < argc; ++i) {
    const cv::Mat whole = WholeRead(argv[i], working, matching);
    const cv::Mat reduced = MatchingRead(argv[i], working, matching);
    if (whole.empty() || reduced.empty()) {
      std::fprintf(stderr, "cannot read the picture '%s'\n", argv[i]);
      return 1;
    }
    cv::Mat difference;
    cv::absdiff(whole, reduced, difference);
    double most = 0.0;
    cv::minMaxLoc(difference.reshape(1), nullptr, &most);
    const double mean = cv::mean(difference.reshape(1))[0];
    std::printf("%s : largest %.0f mean %.3f\n", argv[i], most, mean);
    largest = std::max(largest, most);
    sum += mean * static_cast<double>(difference.total() * 3);
    values += static_cast<double>(difference.total() * 3);
  }
  std::printf("all %d pictures : largest %.0f mean %.3f\n", argc - 3, largest, sum / values);
  return 0;
}
