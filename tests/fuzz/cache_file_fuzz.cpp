// Feeds arbitrary bytes to the cache reader and to the reader of the stamp
// file beside it. The first byte picks the stamp reader (high bit set) or
// one of a few cache record shapes (feature bytes, tile size); the rest is
// the file. A file that decodes must encode and decode again to the same
// library; a stamp file, which has one encoding only, to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "library/cache_file.h"

namespace {

struct Shape {
  int feature_size;
  int width;
  int height;
};

constexpr Shape kShapes[] = {{12, 32, 18}, {0, 1, 1}, {6, 3, 2}, {27, 2, 5}};

bool SameEntry(const tessaline::SubImageInfo& a, const tessaline::SubImageInfo& b) {
  return a.name == b.name && a.mean_r == b.mean_r && a.mean_g == b.mean_g && a.mean_b == b.mean_b &&
         a.feature == b.feature && a.width == b.width && a.height == b.height &&
         a.is_thumb == b.is_thumb;
}

void CheckRoundTrip(const Shape& shape, const std::vector<tessaline::SubImageInfo>& library,
                    const std::vector<cv::Mat>& thumbs) {
  tessaline::SubImageStore store;
  store.Reset(shape.width, shape.height);
  for (const cv::Mat& thumb : thumbs) store.Add(thumb);
  if (!tessaline::MosaicInfoEncodeError(library, store).empty()) std::abort();
  const std::string bytes = tessaline::EncodeMosaicInfo(library, store);
  std::vector<tessaline::SubImageInfo> again;
  std::vector<cv::Mat> again_thumbs;
  std::string error;
  if (!tessaline::DecodeMosaicInfo(bytes, shape.feature_size, shape.width, shape.height, again,
                                   again_thumbs, error)) {
    std::abort();
  }
  if (again.size() != library.size()) std::abort();
  for (std::size_t i = 0; i < library.size(); ++i) {
    if (!SameEntry(again[i], library[i])) std::abort();
    if (cv::norm(again_thumbs[i], thumbs[i], cv::NORM_INF) != 0.0) std::abort();
  }
}

void CheckStamps(const std::string& bytes) {
  tessaline::StampList stamps;
  std::string error;
  if (tessaline::DecodeStamps(bytes, stamps, error)) {
    if (tessaline::EncodeStamps(stamps) != bytes) std::abort();
  } else if (!stamps.pictures.empty() || error.empty()) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 0x80) {
    CheckStamps(bytes);
    return 0;
  }
  const Shape& shape = kShapes[data[0] % (sizeof kShapes / sizeof kShapes[0])];
  std::vector<tessaline::SubImageInfo> library;
  std::vector<cv::Mat> thumbs;
  std::string error;
  if (tessaline::DecodeMosaicInfo(bytes, shape.feature_size, shape.width, shape.height, library,
                                  thumbs, error)) {
    CheckRoundTrip(shape, library, thumbs);
  } else if (!library.empty() || !thumbs.empty() || error.empty()) {
    std::abort();
  }
  return 0;
}
