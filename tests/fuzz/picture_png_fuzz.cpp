// Feeds the same bytes to the fast PNG reader and to libpng: neither may
// crash, leak or read outside the input, and whenever the fast reader gives
// a picture, libpng gives the same one. The first byte picks the input's use:
// - even: a PNG is built from the rest, so that mutations reach the pixel
//   code: a header (up to 64 × 64, any colour type and bit depth, perhaps
//   interlaced), perhaps a palette, a tRNS and an eXIf, and the rest as
//   the stored rows (filter bytes included), deflated at a level the input
//   picks, cut or padded to the size the header needs or left as they are,
//   in chunks of a size the input picks;
// - odd: the rest is a file after the PNG signature, its chunk checksums
//   made right.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "picture/png_reader.h"
#include "png_checksums.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void AddChunk(Bytes& png, const char* type, const Bytes& data) {
  for (int shift = 24; shift >= 0; shift -= 8) png.push_back(data.size() >> shift & 0xff);
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  png.insert(png.end(), 4, 0);  // checksums are made right at the end
}

// The stored rows' size for a w × h picture of `bits` bits a pixel (not
// interlaced; an interlaced one needs a little more, as the input decides).
std::size_t StoredSize(int width, int height, int bits) {
  return static_cast<std::size_t>(height) * ((width * bits + 7) / 8 + 1);
}

Bytes BuildPng(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return {};
  const int colours[] = {0, 2, 3, 4, 6};
  const int channels[] = {1, 3, 1, 2, 4};
  const int depths[] = {1, 2, 4, 8, 16};
  const int kind = data[0] % 5;
  const int depth = depths[data[1] % 5];
  const int width = data[2] % 64 + 1;
  const int height = data[3] % 64 + 1;
  const int level = data[4] % 10;
  const std::uint8_t flags = data[5];
  const std::size_t chunk_size = data[6] % 4 == 0 ? 5 : 1 << 20;
  const std::uint8_t orientation = data[7] % 9;
  data += 8;
  size -= 8;

  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  AddChunk(png, "IHDR",
           {0, 0, 0, std::uint8_t(width), 0, 0, 0, std::uint8_t(height), std::uint8_t(depth),
            std::uint8_t(colours[kind]), 0, 0, std::uint8_t(flags & 1)});
  if (flags & 2) AddChunk(png, "PLTE", Bytes(data, data + std::min<std::size_t>(size, 3 * (flags >> 4) + 3)));
  if (flags & 4) AddChunk(png, "tRNS", {1, 2, 3, 4, 5, 6});
  if (orientation > 0)
    AddChunk(png, "eXIf", {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0,
                           orientation, 0, 0, 0, 0});
  Bytes rows(data, data + size);
  if (!(flags & 8) && !rows.empty()) {
    const std::size_t needed = StoredSize(width, height, depth * channels[kind]);
    for (std::size_t i = rows.size(); i < needed; ++i) rows.push_back(rows[i % size]);
    rows.resize(needed);
  }
  uLongf packed_size = compressBound(static_cast<uLong>(rows.size()));
  Bytes packed(packed_size);
  compress2(packed.data(), &packed_size, rows.data(), static_cast<uLong>(rows.size()), level);
  packed.resize(packed_size);
  for (std::size_t at = 0; at < packed.size(); at += chunk_size)
    AddChunk(png, "IDAT", Bytes(packed.begin() + at,
                                packed.begin() + std::min(packed.size(), at + chunk_size)));
  AddChunk(png, "IEND", {});
  return png;
}

void Check(const Bytes& png) {
  const std::string_view bytes(reinterpret_cast<const char*>(png.data()), png.size());
  const std::optional<tessaline::DecodedPicture> fast = tessaline::DecodePngFast(bytes);
  const tessaline::DecodedPicture libpng = tessaline::DecodePngWithLibpng(bytes);
  if (!fast) return;
  const cv::Mat& a = fast->pixels;
  const cv::Mat& b = libpng.pixels;
  if (b.empty() || a.size() != b.size() || a.type() != b.type() || fast->fault != libpng.fault ||
      cv::norm(a, b, cv::NORM_INF) != 0)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  Bytes png;
  if (data[0] % 2 == 0) {
    png = BuildPng(data + 1, size - 1);
  } else {
    png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    png.insert(png.end(), data + 1, data + size);
  }
  tessaline::FixPngChecksums(png);
  Check(png);
  return 0;
}
