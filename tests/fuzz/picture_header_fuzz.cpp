// Feeds arbitrary bytes to the header reader that sizes every tile picture
// before it is decoded, and to the whole-PNG test of touched-tile files: they
// must never crash or read outside the input, and a size they give must be
// positive.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "picture/picture_header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::optional<tessaline::PictureSize> found = tessaline::PictureSizeFromHeader(bytes);
  if (found && (found->width <= 0 || found->height <= 0)) std::abort();
  // The file test reads the first 24 and the last 12 bytes.
  const std::size_t head = size < 24 ? size : 24;
  const std::size_t tail = size < 12 ? size : 12;
  tessaline::IsWholePng(bytes.substr(0, head), bytes.substr(size - tail));
  return 0;
}
