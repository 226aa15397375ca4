#pragma once
// Rewrites the CRC of every complete chunk of a PNG after its 8-byte
// signature, so that mutated bytes reach the readers' chunk and pixel
// decoding instead of stopping at the first checksum.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessaline {

inline void FixPngChecksums(std::vector<std::uint8_t>& bytes) {
  std::size_t at = 8;
  while (at + 12 <= bytes.size()) {
    const std::size_t length = std::size_t{bytes[at]} << 24 | std::size_t{bytes[at + 1]} << 16 |
                               std::size_t{bytes[at + 2]} << 8 | bytes[at + 3];
    if (length > bytes.size() - at - 12) return;
    const std::uint32_t crc = crc32(0, &bytes[at + 4], static_cast<uInt>(length + 4));
    for (int i = 0; i < 4; ++i) bytes[at + 8 + length + i] = (crc >> (24 - 8 * i)) & 0xff;
    at += length + 12;
  }
}

}  // namespace tessaline
