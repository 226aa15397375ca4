// The fast PNG reader of png_reader.h. It takes a file only when it can
// say for certain that libpng reads it whole and to the same pixels; at the
// least doubt it gives nothing and libpng decides. So it reads what libpng
// reads before the image (the chunks up to the first IDAT, then the IDAT
// chunks that follow one another) and is stricter than libpng everywhere:
//   - every chunk it reads is whole, its checksum right, its name letters;
//   - the header: 8 bits a sample, no interlacing, standard methods, at
//     most 1,000,000 pixels a side (libpng's default limit);
//   - before the image only one PLTE (palette images alone), at most one
//     well-formed eXIf and ancillary chunks, which are skipped; a tRNS,
//     another critical chunk or an unusually long chunk sends the file to
//     libpng;
//   - the IDAT chunks hold exactly one zlib stream that inflates to exactly
//     the rows, with its checksum right, and every row's filter is known.
// Chunks after the image data are not looked at, as libpng's reading of
// the image does not look at them either.

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "picture/huge_pages.h"
#include "picture/png_reader.h"
#include "picture/png_unfilter.h"

namespace tessaline {
namespace {

using Byte = std::uint8_t;

constexpr std::uint32_t kLongestChunk = 0x7FFFFFFF;
// libpng's default limits: the longest side, and the longest chunk other
// than image data it reads.
constexpr std::uint32_t kLongestSide = 1000000;
constexpr std::uint32_t kLongestOtherChunk = 8000000;

enum ColourType { kGrey = 0, kRgb = 2, kPalette = 3, kGreyAlpha = 4, kRgba = 6 };

std::uint32_t Big32(const char* at) {
  const auto* b = reinterpret_cast<const Byte*>(at);
  return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
}

struct Chunk {
  std::string_view type;
  std::string_view data;
  std::size_t end = 0;  // the offset just past its checksum
};

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The chunk starting at `at`: whole, named in letters, its checksum right.
std::optional<Chunk> ReadChunk(std::string_view bytes, std::size_t at) {
  if (at > bytes.size() || bytes.size() - at < 12) return std::nullopt;
  const std::uint32_t length = Big32(bytes.data() + at);
  if (length > kLongestChunk || length > bytes.size() - at - 12) return std::nullopt;
  const std::string_view type = bytes.substr(at + 4, 4);
  if (!std::all_of(type.begin(), type.end(), IsLetter)) return std::nullopt;
  const std::uint32_t crc = libdeflate_crc32(0, bytes.data() + at + 4, length + 4);
  if (crc != Big32(bytes.data() + at + 8 + length)) return std::nullopt;
  return Chunk{type, bytes.substr(at + 8, length), at + 12 + length};
}

// What the chunks before the image data say, and the image data.
struct PngLayout {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int colour = kGrey;
  int channels = 1;
  bool has_palette = false;
  std::array<cv::Vec3b, 256> palette{};  // BGR; black past the entries given, as in libpng
  bool has_exif = false;
  int orientation = 1;
  std::vector<std::string_view> data;  // the IDAT chunks' contents in order
  std::size_t data_bytes = 0;

  std::size_t RowBytes() const { return std::size_t{width} * channels; }
  std::size_t StoredBytes() const { return std::size_t{height} * (RowBytes() + 1); }
};

bool ReadHeader(std::string_view ihdr, PngLayout& layout) {
  if (ihdr.size() != 13) return false;
  layout.width = Big32(ihdr.data());
  layout.height = Big32(ihdr.data() + 4);
  const int depth = static_cast<Byte>(ihdr[8]);
  layout.colour = static_cast<Byte>(ihdr[9]);
  const bool standard = ihdr[10] == 0 && ihdr[11] == 0 && ihdr[12] == 0;  // methods, interlace
  switch (layout.colour) {
    case kGrey:
    case kPalette:
      layout.channels = 1;
      break;
    case kGreyAlpha:
      layout.channels = 2;
      break;
    case kRgb:
      layout.channels = 3;
      break;
    case kRgba:
      layout.channels = 4;
      break;
    default:
      return false;
  }
  return depth == 8 && standard && layout.width <= kLongestSide && layout.height <= kLongestSide &&
         DecodableSize(layout.width, layout.height);
}

bool ReadPalette(std::string_view plte, PngLayout& layout) {
  if (layout.colour != kPalette || layout.has_palette) return false;
  if (plte.empty() || plte.size() % 3 != 0 || plte.size() > 3 * layout.palette.size()) return false;
  for (std::size_t i = 0; i < plte.size() / 3; ++i) {
    const char* rgb = plte.data() + 3 * i;
    layout.palette[i] =
        cv::Vec3b(static_cast<Byte>(rgb[2]), static_cast<Byte>(rgb[1]), static_cast<Byte>(rgb[0]));
  }
  layout.has_palette = true;
  return true;
}

// Takes a chunk before the image data; false when libpng should decide.
bool TakeChunk(const Chunk& chunk, PngLayout& layout) {
  if (chunk.data.size() > kLongestOtherChunk) return false;
  if (chunk.type == "PLTE") return ReadPalette(chunk.data, layout);
  if (chunk.type == "eXIf") {
    const std::string_view order = chunk.data.substr(0, 2);
    if (layout.has_exif || (order != "II" && order != "MM")) return false;
    layout.has_exif = true;
    layout.orientation = ExifOrientation(chunk.data);
    return true;
  }
  // Transparency is dropped anyway, but libpng's handling of it (and of
  // any critical chunk) is its own to decide.
  if (chunk.type == "tRNS") return false;
  const bool ancillary = (chunk.type[0] & 0x20) != 0;
  return ancillary;
}

// The IDAT chunks from `at` on, as long as they follow one another.
bool TakeImageData(std::string_view bytes, std::size_t at, PngLayout& layout) {
  // A chunk libpng would find too long for the image.
  const std::size_t longest = std::max<std::size_t>(kLongestOtherChunk, layout.StoredBytes());
  while (bytes.size() - at >= 8 && bytes.substr(at + 4, 4) == "IDAT") {
    const std::optional<Chunk> chunk = ReadChunk(bytes, at);
    if (!chunk || chunk->data.size() > longest) return false;
    layout.data.push_back(chunk->data);
    layout.data_bytes += chunk->data.size();
    at = chunk->end;
  }
  return !layout.data.empty();
}

std::optional<PngLayout> ReadLayout(std::string_view bytes) {
  PngLayout layout;
  std::optional<Chunk> chunk = ReadChunk(bytes, 8);
  if (!chunk || chunk->type != "IHDR" || !ReadHeader(chunk->data, layout)) return std::nullopt;
  for (;;) {
    chunk = ReadChunk(bytes, chunk->end);
    if (!chunk) return std::nullopt;
    if (chunk->type == "IDAT") break;
    if (!TakeChunk(*chunk, layout)) return std::nullopt;
  }
  if (layout.colour == kPalette && !layout.has_palette) return std::nullopt;
  const std::size_t data_at = static_cast<std::size_t>(chunk->data.data() - bytes.data()) - 8;
  if (!TakeImageData(bytes, data_at, layout)) return std::nullopt;
  return layout;
}

struct FreeDecompressor {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// Inflates the image data into `rows`: the stored rows (filter byte and
// row bytes each), StoredBytes() in all, then kUnfilterPadding zeros.
// False unless the data is one zlib stream of exactly that size.
bool InflateRows(const PngLayout& layout, Byte* rows) {
  std::unique_ptr<char[]> joined;
  const char* in = layout.data[0].data();
  if (layout.data.size() > 1) {
    joined.reset(new char[layout.data_bytes]);
    std::size_t at = 0;
    for (std::string_view part : layout.data) {
      std::memcpy(joined.get() + at, part.data(), part.size());
      at += part.size();
    }
    in = joined.get();
  }
  // zlib (libpng's inflater) refuses distances beyond the window a stream
  // declares, libdeflate allows any up to the largest window, 32 KB: a
  // smaller window that does not cover all rows is left to libpng.
  const int window_bits = layout.data_bytes > 0 ? static_cast<Byte>(in[0]) >> 4 : 0;
  const std::size_t stored = layout.StoredBytes();
  if (window_bits < 7 && (std::size_t{256} << window_bits) < stored) return false;
  std::memset(rows + stored, 0, kUnfilterPadding);
  const std::unique_ptr<libdeflate_decompressor, FreeDecompressor> inflater(
      libdeflate_alloc_decompressor());
  std::size_t used = 0;
  return inflater &&
         libdeflate_zlib_decompress_ex(inflater.get(), in, layout.data_bytes, rows, stored, &used,
                                       nullptr) == LIBDEFLATE_SUCCESS &&
         used == layout.data_bytes;
}

// One unfiltered row of `layout` into a blue-green-red picture row.
void ToBgr(const PngLayout& layout, const Byte* row, Byte* bgr) {
  const int width = static_cast<int>(layout.width);
  switch (layout.colour) {
    case kRgb:
      return cv::cvtColor(cv::Mat(1, width, CV_8UC3, const_cast<Byte*>(row)),
                          cv::Mat(1, width, CV_8UC3, bgr), cv::COLOR_RGB2BGR);
    case kRgba:
      return cv::cvtColor(cv::Mat(1, width, CV_8UC4, const_cast<Byte*>(row)),
                          cv::Mat(1, width, CV_8UC3, bgr), cv::COLOR_RGBA2BGR);
    case kGrey:
      return cv::cvtColor(cv::Mat(1, width, CV_8UC1, const_cast<Byte*>(row)),
                          cv::Mat(1, width, CV_8UC3, bgr), cv::COLOR_GRAY2BGR);
    case kGreyAlpha:
      for (int x = 0; x < width; ++x) std::memset(bgr + 3 * x, row[2 * x], 3);
      return;
    default:
      for (int x = 0; x < width; ++x) std::memcpy(bgr + 3 * x, &layout.palette[row[x]], 3);
      return;
  }
}

// The stored picture, by way of a buffer of inflated rows, each row
// unfiltered and turned into blue-green-red in turn; empty when the data
// does not inflate to the rows or a row's filter is unknown.
cv::Mat DecodeRows(const PngLayout& layout) {
  const std::size_t row_bytes = layout.RowBytes();
  std::unique_ptr<Byte[]> stored(new Byte[layout.StoredBytes() + kUnfilterPadding]);
  AdviseHugePages(stored.get(), layout.StoredBytes());
  if (!InflateRows(layout, stored.get())) return cv::Mat();
  cv::Mat picture(static_cast<int>(layout.height), static_cast<int>(layout.width), CV_8UC3);
  AdviseHugePages(picture);
  // Two rows in turn: the one above (zeros above the top row) and the one
  // being unfiltered.
  std::vector<Byte> rows(2 * (row_bytes + kUnfilterPadding), 0);
  Byte* above = rows.data();
  Byte* row = rows.data() + row_bytes + kUnfilterPadding;
  for (int y = 0; y < picture.rows; ++y) {
    const Byte* in = stored.get() + static_cast<std::size_t>(y) * (row_bytes + 1);
    if (!UnfilterRow(in[0], in + 1, above, row, row_bytes, layout.channels)) return cv::Mat();
    ToBgr(layout, row, picture.ptr(y));
    std::swap(above, row);
  }
  return picture;
}

// An RGB picture wide enough holds its inflated rows in one more row of
// its own than it has: each row is unfiltered in place, a byte further
// forward than the one before as the filter bytes drop out. Its samples
// are turned into blue-green-red while still filtered, which changes
// nothing for the filters (each predicts a byte from the same channel) and
// leaves the row above in the order the next one needs.
bool FitsInPlace(const PngLayout& layout) {
  return layout.colour == kRgb && layout.RowBytes() >= layout.height + kUnfilterPadding;
}

cv::Mat DecodeRowsInPlace(const PngLayout& layout) {
  const int width = static_cast<int>(layout.width);
  const std::size_t row_bytes = layout.RowBytes();
  cv::Mat picture(static_cast<int>(layout.height) + 1, width, CV_8UC3);
  AdviseHugePages(picture);
  if (!InflateRows(layout, picture.data)) return cv::Mat();
  const auto stored_row = [&](std::size_t y) { return picture.data + y * (row_bytes + 1); };
  const auto to_bgr = [&](Byte* samples) {
    cv::Mat row(1, width, CV_8UC3, samples);
    cv::cvtColor(row, row, cv::COLOR_RGB2BGR);
  };
  const std::vector<Byte> zeros(row_bytes + kUnfilterPadding, 0);
  // Two Paeth rows in a row are unfiltered together, the lower one first
  // into a row of its own: in place it would overwrite the upper one's
  // bytes before they are read.
  std::vector<Byte> lower(row_bytes);
  const Byte* above = zeros.data();
  for (std::size_t y = 0; y < layout.height;) {
    Byte* in = stored_row(y);
    Byte* out = picture.data + y * row_bytes;
    to_bgr(in + 1);
    if (y + 1 < layout.height && in[0] == kPaethFilter && stored_row(y + 1)[0] == kPaethFilter) {
      Byte* in_next = stored_row(y + 1);
      to_bgr(in_next + 1);
      UnfilterPaethRows(in + 1, in_next + 1, above, out, lower.data(), row_bytes, 3);
      above = out + row_bytes;
      std::memcpy(out + row_bytes, lower.data(), row_bytes);
      y += 2;
      continue;
    }
    if (!UnfilterRow(in[0], in + 1, above, out, row_bytes, 3)) return cv::Mat();
    above = out;
    ++y;
  }
  picture.pop_back();
  return picture;
}

}  // namespace

std::optional<DecodedPicture> DecodePngFast(std::string_view bytes) {
  if (bytes.substr(0, 8) != "\x89PNG\r\n\x1a\n") return std::nullopt;
  const std::optional<PngLayout> layout = ReadLayout(bytes);
  if (!layout) return std::nullopt;
  const cv::Mat picture = FitsInPlace(*layout) ? DecodeRowsInPlace(*layout) : DecodeRows(*layout);
  if (picture.empty()) return std::nullopt;
  cv::Mat upright = ApplyOrientation(picture, layout->orientation);
  return DecodedPicture{upright, PictureSize{upright.cols, upright.rows}};
}

}  // namespace tessaline
