#include "picture/image_write.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/temp_folder.h"
#include "picture/picture_reader.h"
#include "picture/picture_writer.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;

// A red "F" on blue (BGR), 6 x 5 blocks of 8 pixels so that the lossy
// encoders keep its shape: flips and channel swaps show.
cv::Mat LetterF() {
  cv::Mat letter(5, 6, CV_8UC3, cv::Scalar(200, 40, 0));
  const cv::Vec3b red(0, 30, 220);
  for (int y = 0; y < 5; ++y) letter.at<cv::Vec3b>(y, 1) = red;
  for (int x = 1; x < 5; ++x) letter.at<cv::Vec3b>(0, x) = red;
  for (int x = 1; x < 4; ++x) letter.at<cv::Vec3b>(2, x) = red;
  cv::Mat picture;
  cv::resize(letter, picture, cv::Size(), 8, 8, cv::INTER_NEAREST);
  return picture;
}

// Read back by an independent decoder, OpenCV's, except HEIF, which it
// does not read: the program's own reader then.
cv::Mat ReadBack(const std::string& path) {
  std::string extension = fs::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const bool heif = extension == ".heic" || extension == ".heif";
  return heif ? ReadUprightPicture(path).pixels : cv::imread(path, cv::IMREAD_COLOR);
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  return names;
}

TEST(ImageWrite, WritesEveryTypeByItsExtension) {
  struct Row {
    const char* name;
    double tolerance;  // mean difference per sample after reading back
  };
  const Row rows[] = {{"m.png", 0},  {"m.BMP", 0},  {"m.jpg", 80}, {"m.JPEG", 80}, {"m.tif", 0},
                      {"m.tiff", 0}, {"m.webp", 8}, {"m.ppm", 0},  {"m.heic", 12}, {"m.HEIF", 12}};
  TempFolder folder;
  const cv::Mat picture = LetterF();
  for (const Row& row : rows) {
    const std::string path = folder / row.name;
    const ImageWriteResult result = WriteImageFile(path, picture);
    ASSERT_TRUE(result) << row.name << " : " << result.message;
    const cv::Mat read = ReadBack(path);
    ASSERT_EQ(read.size(), picture.size()) << row.name;
    EXPECT_LE(cv::norm(read, picture, cv::NORM_L1) / static_cast<double>(picture.total() * 3),
              row.tolerance)
        << row.name;
  }
  // Only the pictures: no temporary is left beside them.
  EXPECT_EQ(FolderNames(folder.Path()).size(), std::size(rows));
}

// Odd sides trip encoders that work in pairs of pixels (JPEG and HEVC
// chroma, BMP row padding); orange read back as azure means the red and
// blue channels were swapped on the way out.
TEST(ImageWrite, OddSizesKeepTheirSizeAndTheirColours) {
  const cv::Mat orange(17, 33, CV_8UC3, cv::Scalar(0, 128, 255));
  TempFolder folder;
  for (const std::string name : {"o.png", "o.bmp", "o.jpg", "o.tif", "o.webp", "o.ppm", "o.heic"}) {
    const std::string path = folder / name;
    const ImageWriteResult result = WriteImageFile(path, orange);
    ASSERT_TRUE(result) << name << " : " << result.message;
    const cv::Mat read = ReadBack(path);
    ASSERT_EQ(read.size(), orange.size()) << name;
    EXPECT_LE(cv::norm(read, orange, cv::NORM_L1) / static_cast<double>(orange.total() * 3), 6)
        << name;
  }
}

TEST(ImageWrite, FailuresLeaveNoFileAndNoTemporary) {
  struct Row {
    const char* name;
    ImageWriteError error;
  };
  const Row rows[] = {
      {"m.xyz", ImageWriteError::kUnknownType},
      {"m", ImageWriteError::kUnknownType},
      {"png", ImageWriteError::kUnknownType},
      {"missing/m.png", ImageWriteError::kNoFolder},
      // The rename cannot replace a folder of that name.
      {"taken.png", ImageWriteError::kWriteFailed},
  };
  TempFolder folder;
  fs::create_directory(folder / "taken.png");
  for (const Row& row : rows) {
    const ImageWriteResult result = WriteImageFile(folder / row.name, LetterF());
    EXPECT_EQ(result.error, row.error) << row.name;
    EXPECT_FALSE(result.message.empty()) << row.name;
    EXPECT_EQ(result.message.find('\n'), std::string::npos) << row.name;
    EXPECT_FALSE(WritePictureFile(folder / row.name, LetterF())) << row.name;
  }
  EXPECT_EQ(FolderNames(folder.Path()), std::vector<std::string>{"taken.png"});
  EXPECT_TRUE(fs::is_empty(folder / "taken.png"));
}

// Every 16-row strip (one JPEG MCU row) in a colour of its own, with fine
// texture for the entropy coder: a strip lost, repeated or garbled where
// separately encoded bands are joined shows as a strip off its colour.
cv::Mat StripedPicture(int width, int height) {
  cv::Mat picture(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y) {
    const int strip = y / 16;
    for (int x = 0; x < width; ++x) {
      const int grey = (x * 3 + y * 2) % 32;  // brightness only: 4:2:0 keeps it
      picture.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>(strip * 37 % 200 + grey),
                                              static_cast<uchar>(strip * 71 % 200 + grey),
                                              static_cast<uchar>(strip * 13 % 200 + grey));
    }
  }
  return picture;
}

TEST(ImageWrite, JpegOfEveryHeightDecodesStripForStrip) {
  // Below 512 rows one piece; from there two bands joined into one file,
  // including heights that end in a part of an MCU row and an odd width.
  // The file written holds those bytes, though its pieces go to the disk
  // unjoined.
  TempFolder folder;
  const std::string path = folder / "striped.jpg";
  for (const cv::Size size :
       {cv::Size(96, 511), cv::Size(96, 512), cv::Size(101, 1000), cv::Size(64, 2160)}) {
    SCOPED_TRACE(testing::Message() << size.width << " x " << size.height);
    const cv::Mat picture = StripedPicture(size.width, size.height);
    std::string bytes, error;
    ASSERT_TRUE(EncodePicture(PictureFormat::kJpeg, picture, bytes, error)) << error;
    ASSERT_TRUE(WriteImageFile(path, picture));
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(file), {}) == bytes);
    const cv::Mat read =
        cv::imdecode(std::vector<uchar>(bytes.begin(), bytes.end()), cv::IMREAD_COLOR);
    ASSERT_EQ(read.size(), picture.size());
    for (int y = 0; y < size.height; y += 16) {
      const cv::Rect strip(0, y, size.width, std::min(16, size.height - y));
      // A strip's mean colour is what a lossy encoder keeps best.
      const cv::Scalar off = cv::mean(read(strip)) - cv::mean(picture(strip));
      EXPECT_LT(std::abs(off[0]) + std::abs(off[1]) + std::abs(off[2]), 15.0)
          << "strip at row " << y;
    }
  }
}

// The touched-tile files: stored, not compressed, yet whole PNG files any
// reader takes, pixel for pixel.
TEST(ImageWrite, StoredPngKeepsEveryPixel) {
  const cv::Mat picture = StripedPicture(101, 37);
  std::string bytes, error;
  ASSERT_TRUE(EncodeStoredPng(picture, bytes, error)) << error;
  EXPECT_GT(bytes.size(), picture.total() * 3) << "stored, not compressed";
  const cv::Mat read =
      cv::imdecode(std::vector<uchar>(bytes.begin(), bytes.end()), cv::IMREAD_COLOR);
  ASSERT_EQ(read.size(), picture.size());
  EXPECT_EQ(cv::norm(read, picture, cv::NORM_INF), 0);
  EXPECT_FALSE(EncodeStoredPng(cv::Mat(4, 4, CV_8UC1), bytes, error));
}

}  // namespace
}  // namespace tessaline
