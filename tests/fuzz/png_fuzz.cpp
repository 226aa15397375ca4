// Feeds arbitrary bytes to the PNG reader: it must never crash, leak or read
// outside the input, and any image it gives must be as large as it says.
// Each input is tried as it is and with its chunk checksums made right, so
// that mutations reach libpng's chunk and pixel decoding instead of stopping
// at the first checksum.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "render/image_file.h"

namespace {

std::uint32_t BigEndian(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

// Rewrites the CRC of every complete chunk after the 8-byte signature.
void FixChecksums(std::vector<std::uint8_t>& bytes) {
  std::size_t at = 8;
  while (at + 12 <= bytes.size()) {
    const std::size_t length = BigEndian(&bytes[at]);
    if (length > bytes.size() - at - 12) return;
    const std::uint32_t crc = crc32(0, &bytes[at + 4], static_cast<uInt>(length + 4));
    for (int i = 0; i < 4; ++i) bytes[at + 8 + length + i] = (crc >> (24 - 8 * i)) & 0xff;
    at += length + 12;
  }
}

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
  FixChecksums(fixed);
  CheckImage(fixed.data(), fixed.size());
  return 0;
}
