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

std::string Chunk(const std::string& type, const std::string& data) {
  std::string chunk;
  for (int shift = 24; shift >= 0; shift -= 8) chunk += static_cast<char>(data.size() >> shift);
  chunk += type + data;
  const std::uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(chunk.data() + 4),
                                  static_cast<uInt>(chunk.size() - 4));
  for (int shift = 24; shift >= 0; shift -= 8) chunk += static_cast<char>(crc >> shift);
  return chunk;
}

struct ChunkAt {
  std::size_t at;
  std::string type;
  std::string data;
  std::size_t End() const { return at + 12 + data.size(); }
};

ChunkAt Find(const std::string& png, const std::string& type) {
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const auto* b = reinterpret_cast<const unsigned char*>(png.data() + at);
    const std::size_t length = std::size_t{b[0]} << 24 | b[1] << 16 | b[2] << 8 | b[3];
    if (png.compare(at + 4, 4, type) == 0) return {at, type, png.substr(at + 8, length)};
    at += 12 + length;
  }
  ADD_FAILURE() << "no " << type;
  return {};
}

// `png` with `chunk` replaced by `by`.
std::string Replace(const std::string& png, const ChunkAt& chunk, const std::string& by) {
  return png.substr(0, chunk.at) + by + png.substr(chunk.End());
}

TEST(PngReader, DamagedOrOddFilesReadAsLibpngReadsThem) {
  const std::string png =
      WritePng({"", PNG_COLOR_TYPE_RGB, 8, 37, PNG_ALL_FILTERS, 6, false, 0, false, 6, true});
  const ChunkAt idat = Find(png, "IDAT");
  const ChunkAt exif = Find(png, "eXIf");
  const std::size_t middle = idat.at + 8 + idat.data.size() / 2;
  auto flipped = [](std::string bytes, std::size_t at) {
    bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
    return bytes;
  };
  std::string small_chunks;
  for (std::size_t at = 0; at < idat.data.size(); at += 7)
    small_chunks += Chunk("IDAT", idat.data.substr(at, 7));
  const std::string exif_prefixed = Chunk("eXIf", std::string("Exif\0\0", 6) + exif.data);
  const struct {
    const char* name;
    std::string bytes;
    bool fast;
  } cases[] = {
      {"no end chunk", png.substr(0, Find(png, "IEND").at), true},
      {"end chunk damaged", flipped(png, png.size() - 1), true},
      {"image data in 7-byte chunks", Replace(png, idat, small_chunks), true},
      {"cut in the image data", png.substr(0, middle), false},
      {"cut in the header", png.substr(0, 20), false},
      {"image data checksum wrong", flipped(png, idat.End() - 1), false},
      {"eXIf checksum wrong", flipped(png, exif.End() - 1), false},
      {"eXIf with its Exif prefix", Replace(png, exif, exif_prefixed), false},
      {"text checksum wrong",
       Replace(png, exif, flipped(Chunk("tEXt", std::string("a\0b", 3)), 13)), false},
      {"unknown critical chunk", Replace(png, exif, Chunk("ZZZZ", "z")), false},
      {"stream damaged", Replace(png, idat, Chunk("IDAT", flipped(idat.data, 20))), false},
      {"bytes after the stream", Replace(png, idat, Chunk("IDAT", idat.data + "ab")), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodePngFast(c.bytes).has_value(), c.fast) << c.name;
    ExpectSame(DecodePng(c.bytes), DecodePngWithLibpng(c.bytes), c.name);
  }
}

// Photographs from the test dependencies' wallpaper packages: PNGs as their
// makers wrote them (iCCP, zTXt and private chunks included), and JPEGs
// saved as PNG the way OpenCV writes targets (Sub filter, fast deflate) and
// at its smallest (libpng choosing each row's filter, mostly Paeth).
TEST(PngReader, SamplePhotographsReadAsLibpngReadsThem) {
  namespace fs = std::filesystem;
  std::vector<std::string> pngs;
  for (const char* folder : {"Altai", "Kay", "Elarun", "FlyingKonqui"}) {
    const fs::path images = fs::path("/usr/share/wallpapers") / folder / "contents/images";
    for (const char* name : {"1080x1920.png", "2560x1600.png"})
      if (fs::exists(images / name)) {
        std::ifstream file(images / name, std::ios::binary);
        pngs.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
      }
  }
  for (const char* photo : {"/usr/share/wallpapers/Autumn/contents/images/1280x1024.jpg",
                            "/usr/share/wallpapers/BytheWater/contents/images/1920x1080.jpg"}) {
    cv::Mat picture = cv::imread(photo);
    if (!picture.empty()) cv::resize(picture, picture, cv::Size(), 0.5, 0.5, cv::INTER_AREA);
    for (int level : {-1, 9}) {
      std::vector<unsigned char> png;
      if (!picture.empty() &&
          cv::imencode(".png", picture, png, {cv::IMWRITE_PNG_COMPRESSION, level}))
        pngs.emplace_back(png.begin(), png.end());
    }
  }
  ASSERT_GE(pngs.size(), 6u) << "the wallpaper packages of scripts/install-deps.sh --test";
  for (std::size_t i = 0; i < pngs.size(); ++i) {
    const std::optional<DecodedPicture> fast = DecodePngFast(pngs[i]);
    ASSERT_TRUE(fast.has_value()) << "photograph " << i;
    ExpectSame(*fast, DecodePngWithLibpng(pngs[i]), "photograph " + std::to_string(i));
  }
}

}  // namespace
}  // namespace tessaline
