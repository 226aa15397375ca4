// Feeds arbitrary bytes to the GIF reader. A picture that comes back must be
// three-channel 8-bit and no larger than the reader allows; reads outside
// giflib's buffers or the canvas are the sanitizers' to catch.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "picture/gif_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const cv::Mat picture = tessaline::DecodeGifFirstFrame(data, size);
  if (picture.empty()) return 0;
  if (picture.type() != CV_8UC3 || !picture.isContinuous()) std::abort();
  if (picture.total() > tessaline::kMaxGifPixels) std::abort();
  if (!tessaline::HasGifSignature(data, size)) std::abort();
  return 0;
}
