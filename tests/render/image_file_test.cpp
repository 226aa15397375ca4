#include "render/image_file.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/temp_folder.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

// A fresh directory per test, removed afterwards.
class ImageFileTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_ / name; }

  TempFolder dir_;
};

Bytes FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// Every sample differs from its neighbours in x, y and channel, so a flip, a
// row shift or a channel swap changes the bytes.
Bytes Picture(int width, int height, int channels) {
  Bytes pixels;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < channels; ++c) pixels.push_back((x * 37 + y * 101 + c * 53 + 11) % 256);
  return pixels;
}

// Writes a PNG with libpng itself, so the reader is tested against files
// that did not come from our writer. `rows` are raw rows at `bit_depth`.
struct RawPng {
  int width;
  int height;
  int bit_depth;
  int colour_type;
  std::vector<Bytes> rows;
  std::vector<png_color> palette;
  Bytes transparency;
  bool interlaced = false;
};

void WriteRawPng(const std::string& path, const RawPng& raw) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  for (const Bytes& row : raw.rows) rows.push_back(const_cast<png_bytep>(row.data()));
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    FAIL() << "libpng failed writing the test file";
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, raw.width, raw.height, raw.bit_depth, raw.colour_type,
               raw.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!raw.palette.empty()) {
    png_set_PLTE(png, info, raw.palette.data(), static_cast<int>(raw.palette.size()));
  }
  if (!raw.transparency.empty()) {
    png_set_tRNS(png, info, raw.transparency.data(), static_cast<int>(raw.transparency.size()),
                 nullptr);
  }
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

TEST_F(ImageFileTest, PngRoundTripKeepsBytesForEveryChannelCount) {
  struct Row {
    int width, height, channels;
    int colour_type;  // IHDR byte the PNG format assigns to this layout
  };
  const Row rows[] = {{7, 5, 1, 0},  {13, 3, 1, 0}, {7, 4, 2, 4}, {13, 5, 2, 4}, {7, 5, 3, 2},
                      {13, 2, 3, 2}, {6, 5, 4, 6},  {7, 3, 4, 6}, {1, 1, 3, 2}};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.width << " x " << row.height << " x " << row.channels);
    const std::string path = Path("round.png");
    const Bytes pixels = Picture(row.width, row.height, row.channels);
    ASSERT_TRUE(WritePngFile(path, pixels.data(), row.width, row.height, row.channels));
    const Bytes file = FileBytes(path);
    ASSERT_GT(file.size(), 26u);
    EXPECT_EQ(file[24], 8);  // bit depth
    EXPECT_EQ(file[25], row.colour_type);
    const std::optional<PixelImage> image = ReadPngFile(path);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->width, row.width);
    EXPECT_EQ(image->height, row.height);
    EXPECT_EQ(image->channels, row.channels);
    EXPECT_EQ(image->pixels, pixels);
  }
}

TEST_F(ImageFileTest, WrittenPngCarriesDescriptionAndSignificantBits) {
  const std::string path = Path("text.png");
  const Bytes pixels = Picture(3, 2, 4);
  ASSERT_TRUE(WritePngFile(path, pixels.data(), 3, 2, 4));
  std::FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    FAIL() << "libpng failed reading " << path;
  }
  png_init_io(png, file);
  png_read_info(png, info);
  png_textp texts = nullptr;
  int count = png_get_text(png, info, &texts, nullptr);
  ASSERT_EQ(count, 1);
  EXPECT_STREQ(texts[0].key, "Description");
  EXPECT_STREQ(texts[0].text, "Saved by libpng");
  EXPECT_EQ(texts[0].compression, PNG_TEXT_COMPRESSION_NONE);
  png_color_8p bits = nullptr;
  ASSERT_NE(png_get_sBIT(png, info, &bits), 0u);
  EXPECT_EQ(bits->red, 8);
  EXPECT_EQ(bits->green, 8);
  EXPECT_EQ(bits->blue, 8);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
}

TEST_F(ImageFileTest, PaletteReadsAsFourChannels) {
  const std::vector<png_color> palette = {{200, 10, 20}, {30, 40, 250}, {5, 180, 90}};
  const std::vector<Bytes> indices = {{0, 1, 2}, {2, 2, 0}};
  struct Row {
    const char* name;
    Bytes transparency;
    Bytes alpha;  // per palette entry, what the reader must deliver
  };
  const Row rows[] = {{"no tRNS", {}, {255, 255, 255}},
                      {"short tRNS", {0, 128}, {0, 128, 255}},
                      {"full tRNS", {7, 77, 177}, {7, 77, 177}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RawPng raw{3, 2, 8, PNG_COLOR_TYPE_PALETTE, indices, palette, row.transparency};
    WriteRawPng(Path("palette.png"), raw);
    const std::optional<PixelImage> image = ReadPngFile(Path("palette.png"));
    ASSERT_TRUE(image.has_value());
    ASSERT_EQ(image->channels, 4);
    ASSERT_EQ(image->pixels.size(), 3u * 2u * 4u);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 3; ++x) {
        const int entry = indices[y][x];
        const unsigned char* p = &image->pixels[(y * 3 + x) * 4];
        EXPECT_EQ(Bytes(p, p + 4), (Bytes{palette[entry].red, palette[entry].green,
                                          palette[entry].blue, row.alpha[entry]}))
            << "pixel " << x << ", " << y;
      }
    }
  }
}

TEST_F(ImageFileTest, NarrowAndWideSamplesAreConvertedToEightBits) {
  // 16-bit RGB, 2 x 1: samples 0x12ab, 0x34cd, 0x56ef | 0xff00, 0x0001, 0x8080 (big-endian).
  RawPng deep{2,
              1,
              16,
              PNG_COLOR_TYPE_RGB,
              {{0x12, 0xab, 0x34, 0xcd, 0x56, 0xef, 0xff, 0x00, 0x00, 0x01, 0x80, 0x80}},
              {},
              {}};
  WriteRawPng(Path("deep.png"), deep);
  std::optional<PixelImage> image = ReadPngFile(Path("deep.png"));
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->channels, 3);
  EXPECT_EQ(image->pixels, (Bytes{0x12, 0x34, 0x56, 0xff, 0x00, 0x80}));

  // 1-bit gray, 9 x 2 (odd width, rows padded to 2 bytes): 1 is white.
  RawPng bits{9, 2, 1, PNG_COLOR_TYPE_GRAY, {{0xb1, 0x80}, {0x00, 0x00}}, {}, {}};
  WriteRawPng(Path("bits.png"), bits);
  image = ReadPngFile(Path("bits.png"));
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->channels, 1);
  EXPECT_EQ(image->pixels, (Bytes{255, 0, 255, 255, 0, 0, 0, 255, 255,  // 1011 0001 1
                                  0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ImageFileTest, InterlacedPngReadsLikeAPlainOne) {
  const int width = 13, height = 9;
  const Bytes pixels = Picture(width, height, 3);
  std::vector<Bytes> rows;
  for (int y = 0; y < height; ++y) {
    rows.emplace_back(pixels.begin() + y * width * 3, pixels.begin() + (y + 1) * width * 3);
  }
  RawPng raw{width, height, 8, PNG_COLOR_TYPE_RGB, rows, {}, {}};
  raw.interlaced = true;
  WriteRawPng(Path("adam7.png"), raw);
  const std::optional<PixelImage> image = ReadPngFile(Path("adam7.png"));
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->pixels, pixels);
}

TEST_F(ImageFileTest, EveryTruncationGivesNothingOrTheWholePicture) {
  const Bytes pixels = Picture(7, 5, 3);
  ASSERT_TRUE(WritePngFile(Path("whole.png"), pixels.data(), 7, 5, 3));
  const Bytes file = FileBytes(Path("whole.png"));
  ASSERT_TRUE(ReadPngMemory(file.data(), file.size()).has_value());
  ::testing::internal::CaptureStdout();
  for (std::size_t size = 0; size < file.size(); ++size) {
    // A copy of exactly `size` bytes, so reading past it is caught by ASan.
    const Bytes prefix(file.begin(), file.begin() + size);
    const std::optional<PixelImage> image = ReadPngMemory(prefix.data(), prefix.size());
    if (image) {
      EXPECT_EQ(image->pixels, pixels) << "cut at " << size;
    }
  }
  const std::string messages = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(messages.find("png error : memory"), std::string::npos);
}

TEST_F(ImageFileTest, CorruptBytesNeverCrashTheReader) {
  const Bytes pixels = Picture(5, 4, 4);
  ASSERT_TRUE(WritePngFile(Path("whole.png"), pixels.data(), 5, 4, 4));
  const Bytes file = FileBytes(Path("whole.png"));
  ::testing::internal::CaptureStdout();
  for (std::size_t i = 0; i < file.size(); ++i) {
    Bytes damaged = file;
    damaged[i] ^= 0x5a;
    const std::optional<PixelImage> image = ReadPngMemory(damaged.data(), damaged.size());
    if (image) {
      EXPECT_EQ(image->pixels.size(),
                static_cast<std::size_t>(image->width) * image->height * image->channels);
    }
  }
  ::testing::internal::GetCapturedStdout();
}

// An IHDR announcing 100000 x 100000 RGBA pixels with a correct checksum but
// a few bytes of data: the reader must refuse it before allocating 40 GB.
TEST_F(ImageFileTest, RefusesHeaderLargerThanItsData) {
  Bytes file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13};
  const Bytes ihdr = {'I', 'H', 'D', 'R', 0, 1, 0x86, 0xa0, 0, 1, 0x86, 0xa0, 8, 6, 0, 0, 0};
  file.insert(file.end(), ihdr.begin(), ihdr.end());
  const std::uint32_t crc = crc32(0, ihdr.data(), static_cast<uInt>(ihdr.size()));
  for (int shift = 24; shift >= 0; shift -= 8) file.push_back((crc >> shift) & 0xff);
  const Bytes tail = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xae, 0x42, 0x60, 0x82};
  file.insert(file.end(), tail.begin(), tail.end());
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(ReadPngMemory(file.data(), file.size(), "forged").has_value());
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("png error : forged"), std::string::npos);
}

TEST_F(ImageFileTest, NonPngAndMissingFilesGiveNothingWithAMessage) {
  struct Row {
    const char* name;
    std::string contents;
  };
  const Row rows[] = {{"empty.png", ""},
                      {"text.png", "this is not a picture\n"},
                      {"bitmap.png", std::string("BM\x46\0\0\0\0\0\0\0\x36\0\0\0", 14)},
                      {"signature-only.png", "\x89PNG\r\n\x1a\n"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::ofstream(Path(row.name), std::ios::binary) << row.contents;
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(ReadPngFile(Path(row.name)).has_value());
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("png error : " + Path(row.name)),
              std::string::npos);
  }
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(ReadPngFile(Path("missing.png")).has_value());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "png error : cannot open " + Path("missing.png") + " file\n");
}

TEST_F(ImageFileTest, WritersReportPathsTheyCannotWrite) {
  const Bytes pixels = Picture(2, 2, 4);
  const std::string png_path = Path("no/such/dir/out.png");
  const std::string bmp_path = Path("no/such/dir/out.bmp");
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(WritePngFile(png_path, pixels.data(), 2, 2, 4));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "png error : cannot open " + png_path + " file\n");
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(WriteBmpFile(bmp_path, pixels.data(), 2, 2, 4));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "bitmap error : cannot open " + bmp_path + " file\n");
}

// /dev/full accepts the open but fails every write. The picture is noise, so
// its compressed data overflow the stdio buffer and libpng itself raises the
// error in the middle of writing; the writer must come back with false.
TEST_F(ImageFileTest, WritersReturnFalseWhenTheDiskIsFull) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  Bytes noise(128 * 128 * 3);
  std::uint32_t state = 12345;
  for (unsigned char& byte : noise) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<unsigned char>(state >> 24);
  }
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(WritePngFile("/dev/full", noise.data(), 128, 128, 3));
  EXPECT_FALSE(WriteBmpFile("/dev/full", noise.data(), 128, 128, 3));
  const std::string messages = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(messages.find("png error : /dev/full : "), std::string::npos) << messages;
  EXPECT_NE(messages.find("bitmap error : cannot write /dev/full"), std::string::npos);
}

TEST_F(ImageFileTest, WritersRefuseBadArguments) {
  const Bytes pixels = Picture(4, 4, 4);
  struct Row {
    const unsigned char* data;
    int width, height, channels;
  };
  const Row rows[] = {{pixels.data(), 0, 4, 3},
                      {pixels.data(), 4, -1, 3},
                      {pixels.data(), 4, 4, 5},
                      {pixels.data(), 4, 4, 0},
                      {nullptr, 4, 4, 3}};
  ::testing::internal::CaptureStdout();
  for (const Row& row : rows) {
    EXPECT_FALSE(WritePngFile(Path("bad.png"), row.data, row.width, row.height, row.channels));
    EXPECT_FALSE(WriteBmpFile(Path("bad.bmp"), row.data, row.width, row.height, row.channels));
  }
  EXPECT_FALSE(WriteBmpFile(Path("bad.bmp"), pixels.data(), 4, 4, 2));
  ::testing::internal::GetCapturedStdout();
  EXPECT_FALSE(fs::exists(Path("bad.png")));
  EXPECT_FALSE(fs::exists(Path("bad.bmp")));
}

// The expected file is spelled out from the BMP format: BITMAPFILEHEADER,
// BITMAPINFOHEADER, then the bottom row first with blue, green, red, 0.
TEST_F(ImageFileTest, BmpOfTwoByTwoPixelsHasExactBytes) {
  const Bytes pixels = {
      10, 20, 30, 255, 40, 50, 60, 255,  // top row: red 10 ..., red 40 ...
      70, 80, 90, 128, 1,  2,  3,  0,    // bottom row
  };
  ASSERT_TRUE(WriteBmpFile(Path("two.bmp"), pixels.data(), 2, 2, 4));
  const Bytes expected = {
      'B', 'M', 70, 0, 0,  0,  0,  0, 0, 0, 54, 0, 0, 0,         // file header
      40,  0,   0,  0, 2,  0,  0,  0, 2, 0, 0,  0, 1, 0, 32, 0,  // size, w, h, planes, bits
      0,   0,   0,  0, 16, 0,  0,  0,                            // BI_RGB, image bytes
      0,   0,   0,  0, 0,  0,  0,  0, 0, 0, 0,  0, 0, 0, 0,  0,  // resolution, colours
      90,  80,  70, 0, 3,  2,  1,  0,                            // bottom row
      30,  20,  10, 0, 60, 50, 40, 0,                            // top row
  };
  EXPECT_EQ(FileBytes(Path("two.bmp")), expected);
}

TEST_F(ImageFileTest, BmpOfThreeBytePixelsPadsRowsToFourBytes) {
  const Bytes pixels = Picture(3, 2, 3);  // 9 bytes a row, 12 in the file
  ASSERT_TRUE(WriteBmpFile(Path("three.bmp"), pixels.data(), 3, 2, 3));
  const Bytes file = FileBytes(Path("three.bmp"));
  ASSERT_EQ(file.size(), 54u + 24u);
  EXPECT_EQ(file[2], 78);   // file size
  EXPECT_EQ(file[28], 24);  // bits per pixel
  EXPECT_EQ(file[34], 24);  // image bytes
  for (int k = 0; k < 2; ++k) {
    const std::size_t row = 54 + k * 12;
    const int source = (1 - k) * 9;
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(file[row + x * 3 + 0], pixels[source + x * 3 + 2]);
      EXPECT_EQ(file[row + x * 3 + 2], pixels[source + x * 3 + 0]);
    }
    EXPECT_EQ(Bytes(file.begin() + row + 9, file.begin() + row + 12), Bytes(3, 0));
  }
}

TEST(LowerCaseExtension, TakesTextAfterTheLastDot) {
  const std::pair<std::string, std::string> rows[] = {{"shot.PNG", "png"},
                                                      {"result/frame.Bmp", "bmp"},
                                                      {"a.b.JPG", "jpg"},
                                                      {"no_dot", ""},
                                                      {"trailing.", ""},
                                                      {"spaced.png  ", "png"},
                                                      {std::string("nul.bmp\0\0", 9), "bmp"},
                                                      {"", ""}};
  for (const auto& [path, extension] : rows) EXPECT_EQ(LowerCaseExtension(path), extension) << path;
}

}  // namespace
}  // namespace tessaline
