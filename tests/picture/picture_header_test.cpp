#include "picture/picture_header.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "common/temp_folder.h"

namespace tessaline {
namespace {

std::string Encoded(const std::string& type, int w, int h, const std::vector<int>& options = {}) {
  std::vector<uchar> bytes;
  EXPECT_TRUE(cv::imencode(type, cv::Mat(h, w, CV_8UC3, cv::Scalar(10, 20, 30)), bytes, options));
  return std::string(bytes.begin(), bytes.end());
}

// A GIF header of w × h: signature and logical screen only.
std::string GifHeader(int w, int h) {
  std::string gif = "GIF89a";
  for (int side : {w, h}) {
    gif.push_back(static_cast<char>(side & 0xff));
    gif.push_back(static_cast<char>(side >> 8));
  }
  return gif + std::string(3, '\0');
}

// A JPEG whose size comes after a metadata segment, as camera files have.
std::string JpegWithMetadata(int w, int h) {
  const std::string jpeg = Encoded(".jpg", w, h);
  std::string segment = "\xFF\xE1";
  const int length = 2 + 3000;
  segment.push_back(static_cast<char>(length >> 8));
  segment.push_back(static_cast<char>(length & 0xff));
  segment += std::string(3000, 'x');
  return jpeg.substr(0, 2) + segment + jpeg.substr(2);
}

TEST(PictureHeader, ReadsTheDeclaredSizeOfEachType) {
  struct Case {
    const char* what;
    std::string bytes;
    int width;  // 0: no size
    int height;
  };
  const std::string png = Encoded(".png", 7, 5);
  const std::string bmp = Encoded(".bmp", 9, 4);
  const Case cases[] = {
      {"png", png, 7, 5},
      {"jpeg", Encoded(".jpg", 33, 17), 33, 17},
      {"jpeg after metadata", JpegWithMetadata(12, 8), 12, 8},
      {"bmp", bmp, 9, 4},
      {"gif", GifHeader(300, 2), 300, 2},
      {"tiff", Encoded(".tif", 21, 13), 21, 13},
      {"webp lossy", Encoded(".webp", 301, 203), 301, 203},
      {"webp lossless", Encoded(".webp", 4099, 3, {cv::IMWRITE_WEBP_QUALITY, 101}), 4099, 3},
      {"riff cut before its form type", "RIFF", 0, 0},
      {"tiff cut before its directory", Encoded(".tif", 21, 13).substr(0, 8), 0, 0},
      {"png cut in its header", png.substr(0, 20), 0, 0},
      {"bmp cut in its header", bmp.substr(0, 20), 0, 0},
      {"gif of zero width", GifHeader(0, 5), 0, 0},
      {"jpeg with data before a size", std::string("\xFF\xD8\xFF\xDA\x00\x02", 6), 0, 0},
      {"text", "not a picture", 0, 0},
      {"nothing", "", 0, 0},
  };
  for (const Case& c : cases) {
    const std::optional<PictureSize> size = PictureSizeFromHeader(c.bytes);
    if (c.width == 0) {
      EXPECT_FALSE(size.has_value()) << c.what;
    } else {
      ASSERT_TRUE(size.has_value()) << c.what;
      EXPECT_EQ(size->width, c.width) << c.what;
      EXPECT_EQ(size->height, c.height) << c.what;
    }
  }
}

TEST(PictureHeader, FindsATiffDirectoryWrittenAfterItsPixels) {
  TempFolder folder;
  const std::string path = folder / "scan.tif";
  // Uncompressed, so the directory after the pixels lies far past the
  // first bytes read.
  WriteBytes(path, Encoded(".tif", 600, 400, {cv::IMWRITE_TIFF_COMPRESSION, 1}));
  const std::optional<PictureSize> size = ReadPictureSize(path);
  ASSERT_TRUE(size.has_value());
  EXPECT_EQ(size->width, 600);
  EXPECT_EQ(size->height, 400);
}

}  // namespace
}  // namespace tessaline
