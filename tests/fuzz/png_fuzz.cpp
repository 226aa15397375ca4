// Feeds arbitrary bytes to the PNG reader: it must never crash, leak or read
// outside the input, and any image it gives must be as large as it says.
// Each input is tried as it is and with its chunk checksums made right, so
// that mutations reach libpng's chunk and pixel decoding instead of stopping
// at the first checksum.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "png_checksums.h"
#include "render/image_file.h"

namespace {

void CheckImage(const std::uint8_t* data, std::size_t size) {
  const std::optional<tessaline::PixelImage> image = tessaline::ReadPngMemory(data, size);
  if (!image) return;
  const std::size_t expected =
      static_cast<std::size_t>(image->width) * image->height * image->channels;
  if (image->width <= 0 || image->height <= 0 || image->channels < 1 || image->channels > 4 ||
      image->pixels.size() != expected) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckImage(data, size);
  std::vector<std::uint8_t> fixed(data, data + size);
  tessaline::FixPngChecksums(fixed);
  CheckImage(fixed.data(), fixed.size());
  return 0;
}
