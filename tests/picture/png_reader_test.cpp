#include "picture/png_reader.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace tessaline {
namespace {

struct PngKind {
  const char* name;
  int colour;  // PNG_COLOR_TYPE_*
  int depth;
  int width;
  int filters = PNG_ALL_FILTERS;
  int level = 6;
  bool interlaced = false;
  int palette = 0;  // entries; the pixels use two indices more, which read as black
  bool transparency = false;
  int orientation = 0;  // an eXIf chunk before the image data unless 0
  bool fast = true;     // the fast reader takes it
};

void AppendBytes(png_structp png, png_bytep data, png_size_t size) {
  auto* out = static_cast<std::string*>(png_get_io_ptr(png));
  out->append(reinterpret_cast<const char*>(data), size);
}

// Samples of a photograph-like field with grain, so every filter has work.
std::vector<png_byte> Samples(const PngKind& kind, int height, png_structp png, png_infop info) {
  std::mt19937 random(kind.width * 31 + kind.colour);
  std::vector<png_byte> samples(png_get_rowbytes(png, info) * height);
  const int per_byte = kind.depth < 8 ? 8 / kind.depth : 1;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const int smooth = static_cast<int>(i * 7 / samples.size() * 30 + i % 5 * 9);
    samples[i] = static_cast<png_byte>(smooth + random() % 7);
    if (kind.palette > 0 && per_byte == 1) samples[i] %= kind.palette + 2;
  }
  return samples;
}

// A PNG of `kind`, 11 rows, written by libpng.
std::string WritePng(const PngKind& kind) {
  const int height = 11;
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, AppendBytes, nullptr);
  png_set_IHDR(png, info, kind.width, height, kind.depth, kind.colour,
               kind.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, kind.filters);
  png_set_compression_level(png, kind.level);
  std::vector<png_color> palette;
  for (int i = 0; i < kind.palette; ++i)
    palette.push_back({png_byte(i * 40), png_byte(255 - i * 20), png_byte(i * i)});
  if (kind.palette > 0) png_set_PLTE(png, info, palette.data(), kind.palette);
  png_set_check_for_invalid_index(png, 0);
  png_byte alpha[] = {10, 200};
  png_color_16 key{1, 20, 30, 40, 50};
  if (kind.transparency) png_set_tRNS(png, info, alpha, 2, &key);
  const png_byte exif[] = {'M',  'M',  0, 42, 0, 0, 0, 8, 0, 1,
                           0x01, 0x12, 0, 3,  0, 0, 0, 1, 0, png_byte(kind.orientation),
                           0,    0,    0, 0,  0, 0};
  if (kind.orientation > 0) png_set_eXIf_1(png, info, sizeof exif, const_cast<png_byte*>(exif));
  png_write_info(png, info);
  std::vector<png_byte> samples = Samples(kind, height, png, info);
  std::vector<png_bytep> rows;
  for (int y = 0; y < height; ++y) rows.push_back(&samples[y * png_get_rowbytes(png, info)]);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// Both reads give the same pixels, size and fault.
void ExpectSame(const DecodedPicture& read, const DecodedPicture& libpng, const std::string& what) {
  ASSERT_EQ(read.pixels.size(), libpng.pixels.size()) << what;
  EXPECT_EQ(read.fault, libpng.fault) << what;
  EXPECT_EQ(read.full.width, libpng.full.width) << what;
  EXPECT_EQ(read.full.height, libpng.full.height) << what;
  if (libpng.pixels.empty()) return;
  ASSERT_EQ(read.pixels.type(), libpng.pixels.type()) << what;
  EXPECT_EQ(cv::norm(read.pixels, libpng.pixels, cv::NORM_INF), 0) << what;
}

TEST(PngReader, EveryKindReadsAsLibpngReadsIt) {
  constexpr int kGrey = PNG_COLOR_TYPE_GRAY, kGreyAlpha = PNG_COLOR_TYPE_GRAY_ALPHA,
                kRgb = PNG_COLOR_TYPE_RGB, kRgba = PNG_COLOR_TYPE_RGB_ALPHA,
                kPalette = PNG_COLOR_TYPE_PALETTE, kAll = PNG_ALL_FILTERS;
  // name, colour, depth, width, filters, level, interlaced, palette, tRNS, eXIf, fast
  const PngKind kinds[] = {
      {"grey 1", kGrey, 1, 13, kAll, 6, false, 0, false, 0, false},
      {"grey 2", kGrey, 2, 13, kAll, 6, false, 0, false, 0, false},
      {"grey 4", kGrey, 4, 13, kAll, 6, false, 0, false, 0, false},
      {"grey 8", kGrey, 8, 37, kAll, 6, false, 0, false, 0, true},
      {"grey 8 paeth", kGrey, 8, 17, PNG_FILTER_PAETH, 6, false, 0, false, 0, true},
      {"grey 8 average", kGrey, 8, 17, PNG_FILTER_AVG, 6, false, 0, false, 0, true},
      {"grey 16", kGrey, 16, 13, kAll, 6, false, 0, false, 0, false},
      {"grey alpha 8 paeth", kGreyAlpha, 8, 17, PNG_FILTER_PAETH, 6, false, 0, false, 0, true},
      {"grey alpha 8 sub", kGreyAlpha, 8, 3, PNG_FILTER_SUB, 6, false, 0, false, 0, true},
      {"grey alpha 16", kGreyAlpha, 16, 13, kAll, 6, false, 0, false, 0, false},
      {"rgb 8 none", kRgb, 8, 17, PNG_FILTER_NONE, 6, false, 0, false, 0, true},
      {"rgb 8 sub", kRgb, 8, 37, PNG_FILTER_SUB, 6, false, 0, false, 0, true},
      {"rgb 8 up", kRgb, 8, 17, PNG_FILTER_UP, 6, false, 0, false, 0, true},
      {"rgb 8 average", kRgb, 8, 17, PNG_FILTER_AVG, 6, false, 0, false, 0, true},
      {"rgb 8 paeth", kRgb, 8, 37, PNG_FILTER_PAETH, 6, false, 0, false, 0, true},
      {"rgb 8 level 0", kRgb, 8, 17, kAll, 0, false, 0, false, 0, true},
      {"rgb 8 level 9", kRgb, 8, 17, kAll, 9, false, 0, false, 0, true},
      {"rgb 8 one column", kRgb, 8, 1, PNG_FILTER_PAETH, 6, false, 0, false, 0, true},
      {"rgb 8 interlaced", kRgb, 8, 17, kAll, 6, true, 0, false, 0, false},
      {"rgb 8 transparency", kRgb, 8, 17, kAll, 6, false, 0, true, 0, false},
      {"rgb 16", kRgb, 16, 17, kAll, 6, false, 0, false, 0, false},
      {"rgba 8 sub", kRgba, 8, 37, PNG_FILTER_SUB, 6, false, 0, false, 0, true},
      {"rgba 8 average", kRgba, 8, 17, PNG_FILTER_AVG, 6, false, 0, false, 0, true},
      {"rgba 8 paeth", kRgba, 8, 3, PNG_FILTER_PAETH, 6, false, 0, false, 0, true},
      {"rgba 16", kRgba, 16, 17, kAll, 6, false, 0, false, 0, false},
      {"palette 8", kPalette, 8, 17, kAll, 6, false, 5, false, 0, true},
      {"palette 4", kPalette, 4, 17, kAll, 6, false, 5, false, 0, false},
      {"palette 8 transparency", kPalette, 8, 17, kAll, 6, false, 5, true, 0, false},
      {"rgb 8 turned", kRgb, 8, 17, kAll, 6, false, 0, false, 6, true},
      {"rgb 8 interlaced mirrored", kRgb, 8, 17, kAll, 6, true, 0, false, 2, false},
  };
  for (const PngKind& kind : kinds) {
    const std::string png = WritePng(kind);
    const DecodedPicture libpng = DecodePngWithLibpng(png);
    ASSERT_FALSE(libpng.pixels.empty()) << kind.name;
    const std::optional<DecodedPicture> fast = DecodePngFast(png);
    EXPECT_EQ(fast.has_value(), kind.fast) << kind.name;
    if (fast) ExpectSame(*fast, libpng, kind.name);
    ExpectSame(DecodePng(png), libpng, kind.name);
  }
}

}  // namespace
}  // namespace tessaline
