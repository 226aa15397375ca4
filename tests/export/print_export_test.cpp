#include "export/print_export.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "batch/batch_options.h"
#include "common/temp_folder.h"
#include "mosaic/color_correction.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;

// Four quadrants of different colours over a slope: a wrong crop, turn or
// scale shows as a large difference.
cv::Mat QuadrantPicture(int width, int height) {
  cv::Mat picture(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool right = x >= width / 2, low = y >= height / 2;
      picture.at<cv::Vec3b>(y, x) =
          cv::Vec3b(right ? 220 : 30, low ? 200 : 40, static_cast<unsigned char>(255 * x / width));
    }
  return picture;
}

// A JPEG whose pixels are stored turned a quarter to the left, with the
// EXIF orientation (6) that turns them upright again.
std::string TurnedJpeg(const cv::Mat& upright) {
  cv::Mat stored;
  cv::rotate(upright, stored, cv::ROTATE_90_COUNTERCLOCKWISE);
  std::vector<unsigned char> encoded;
  cv::imencode(".jpg", stored, encoded, {cv::IMWRITE_JPEG_QUALITY, 95});
  const std::string tiff("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0", 26);
  const std::string body = std::string("Exif\0\0", 6) + tiff;
  const int length = static_cast<int>(body.size()) + 2;
  const std::string app1 = std::string{'\xFF', '\xE1', static_cast<char>(length >> 8),
                                       static_cast<char>(length & 0xFF)} +
                           body;
  const std::string jpeg(encoded.begin(), encoded.end());
  return jpeg.substr(0, 2) + app1 + jpeg.substr(2);
}

std::string Encoded(const char* extension, const cv::Mat& picture) {
  std::vector<unsigned char> bytes;
  cv::imencode(extension, picture, bytes, {cv::IMWRITE_JPEG_QUALITY, 95});
  return std::string(bytes.begin(), bytes.end());
}

// One photo of the library and what its cell must show: the upright
// picture's part `crop`, the tile's aspect 16 : 9 about its centre; an
// empty crop for a photo that cannot be read.
struct PhotoCase {
  const char* name;
  cv::Mat upright;
  std::string bytes;
  cv::Rect crop;
};

std::vector<PhotoCase> PhotoCases() {
  const cv::Mat wide = QuadrantPicture(400, 300), tall = QuadrantPicture(200, 400),
                turned = QuadrantPicture(300, 400);
  return {
      {"wide.jpg", wide, Encoded(".jpg", wide), cv::Rect(0, 37, 400, 225)},
      {"tall.png", tall, Encoded(".png", tall), cv::Rect(0, 143, 200, 113)},
      {"turned.jpg", turned, TurnedJpeg(turned), cv::Rect(0, 115, 300, 169)},
      {"broken.jpg", cv::Mat(), std::string("\xFF\xD8\xFF\xE0") + " not a picture", cv::Rect()},
      {"missing.jpg", cv::Mat(), std::string(), cv::Rect()},
  };
}

// The largest difference of `cell` from the flat colour `mean`.
double FromFlat(const cv::Mat& cell, const cv::Vec3b& mean) {
  return cv::norm(cell, cv::Mat(cell.size(), CV_8UC3, cv::Scalar(mean[0], mean[1], mean[2])),
                  cv::NORM_INF);
}

class PrintExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cases_ = PhotoCases();
    for (const PhotoCase& photo : cases_) {
      if (!photo.bytes.empty()) WriteBytes(folder_ / photo.name, photo.bytes);
      job_.photo_paths.push_back(folder_ / photo.name);
    }
    // Four rows, more than the composer holds at once; every photo twice.
    job_.div_x = 3;
    job_.div_y = 4;
    job_.tile_w = 16;
    job_.tile_h = 9;
    job_.tile_px = 64;
    for (int i = 0; i < 12; ++i) {
      job_.cells.push_back((i * 7) % 5);
      job_.cell_means.emplace_back(20 * i, 255 - 20 * i, 100 + i);
    }
    progress_.log = [this](const std::string& line) { log_.push_back(line); };
  }

  cv::Mat Cell(const cv::Mat& picture, int index) const {
    return picture(cv::Rect(index % 3 * 64, index / 3 * 36, 64, 36));
  }

  // The whole picture written as PNG and read back.
  cv::Mat Print(double c) {
    job_.color_correction = c;
    const std::string path = folder_ / "print.png";
    std::string error;
    EXPECT_TRUE(WritePrintMosaic(job_, path, progress_, &error)) << error;
    return cv::imread(path, cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
  }

  TempFolder folder_;
  std::vector<PhotoCase> cases_;
  PrintJob job_;
  ExportProgress progress_;
  std::vector<std::string> log_;
};

TEST_F(PrintExportTest, EachCellIsItsPhotoCutToTheTileAspectAndReduced) {
  const cv::Mat picture = Print(0.0);
  ASSERT_EQ(picture.size(), cv::Size(192, 144));
  for (int i = 0; i < 12; ++i) {
    const PhotoCase& photo = cases_[static_cast<std::size_t>(job_.cells[i])];
    SCOPED_TRACE(std::string(photo.name) + " in cell " + std::to_string(i));
    if (photo.upright.empty()) {
      EXPECT_EQ(FromFlat(Cell(picture, i), job_.cell_means[i]), 0);
      continue;
    }
    cv::Mat expected;
    cv::resize(photo.upright(photo.crop), expected, cv::Size(64, 36), 0, 0, cv::INTER_AREA);
    EXPECT_LT(cv::norm(Cell(picture, i), expected, cv::NORM_L1) / expected.total() / 3, 4.0);
  }
  // One line for each photo that cannot be read, however often it is used.
  ASSERT_EQ(log_.size(), 2u);
  EXPECT_NE(log_[0].find("broken.jpg") + log_[1].find("broken.jpg"), 2 * std::string::npos);
}

TEST_F(PrintExportTest, ColourCorrectionMovesEachCellTowardItsMean) {
  const cv::Mat plain = Print(0.0).clone();
  for (double c : {0.3, 1.0}) {
    const cv::Mat corrected = Print(c);
    for (int i = 0; i < 12; ++i) {
      cv::Mat expected = Cell(plain, i).clone();
      BlendTowards(expected, job_.cell_means[i], ColorWeight(c));
      EXPECT_EQ(cv::norm(Cell(corrected, i), expected, cv::NORM_INF), 0)
          << "c " << c << " cell " << i;
      if (c == 1.0) {
        EXPECT_EQ(FromFlat(Cell(corrected, i), job_.cell_means[i]), 0) << i;
      }
    }
  }
}

TEST_F(PrintExportTest, EveryTypeHoldsTheSamePicture) {
  const cv::Mat png = Print(0.0).clone();
  for (const char* name : {"print.tif", "print.TIFF", "print.jpg"}) {
    std::string error;
    ASSERT_TRUE(WritePrintMosaic(job_, folder_ / name, progress_, &error)) << name << error;
    const cv::Mat read = cv::imread(folder_ / name);
    ASSERT_EQ(read.size(), png.size()) << name;
    EXPECT_LT(cv::norm(read, png, cv::NORM_L1) / png.total() / 3, 4.0) << name;
  }
}

// The names in `folder` other than those of the photos.
std::vector<std::string> Leftovers(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name != "wide.jpg" && name != "tall.png" && name != "turned.jpg" && name != "broken.jpg")
      names.push_back(name);
  }
  return names;
}

TEST_F(PrintExportTest, ACancelledOrFailedExportLeavesNothingBehind) {
  std::atomic<bool> cancel{false};
  progress_.cancel = &cancel;
  progress_.report = [&cancel](double) { cancel = true; };
  for (const char* name : {"old.tif", "old.jpg", "old.png"}) {
    WriteBytes(folder_ / name, "the user's file");
    std::string error;
    EXPECT_FALSE(WritePrintMosaic(job_, folder_ / name, progress_, &error)) << name;
    EXPECT_EQ(error, "the export was cancelled");
    std::ifstream kept(folder_ / name);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "the user's file") << name;
    fs::remove(folder_ / name);
  }
  std::string error;
  EXPECT_FALSE(WriteDeepZoom(job_, folder_ / "zoom", progress_, &error));
  EXPECT_EQ(error, "the export was cancelled");
  EXPECT_FALSE(
      WritePrintMosaic(job_, folder_ / "no/such/folder/print.png", ExportProgress(), &error));
  EXPECT_NE(error.find("no/such/folder/print.png"), std::string::npos) << error;
  EXPECT_EQ(Leftovers(folder_.Path()), std::vector<std::string>());
}

TEST(PrintSizeRefusalTest, RefusesTileSizesAndPicturesTheWriterCannotTake) {
  struct Case {
    int cells;  // a square grid of 32 x 18 tiles
    int tile_px;
    const char* path;
    bool refused;
  };
  for (const Case& c :
       {Case{120, 7, "a.tif", true}, Case{120, 8, "a.tif", false}, Case{4, 4096, "a.png", false},
        Case{4, 4097, "a.png", true}, Case{120, 545, "a.jpg", false}, Case{120, 546, "a.jpg", true},
        Case{120, 256, "a.bmp", true}, Case{120, 256, "", false},
        // Rows held at once grow with the width: beyond 1 GB.
        Case{120, 700, "a.tif", false}, Case{120, 900, "a.tif", true}, Case{120, 4096, "", true}}) {
    EXPECT_EQ(!PrintSizeRefusal(c.cells, c.cells, 32, 18, c.tile_px, c.path).empty(), c.refused)
        << c.cells << " cells, " << c.tile_px << " px, " << c.path;
  }
}

TEST(PrintOptionsTest, PrintOutputsNeedATargetAndAPlaceToGo) {
  struct Case {
    std::vector<std::string> args;
    const char* error;  // empty: accepted
  };
  const std::vector<Case> cases = {
      {{"--target", "t.png", "--print", "256", "--out", "p.tif"}, ""},
      {{"--target", "t.png", "--deepzoom", "zoom"}, ""},
      {{"--target", "t.png", "--print=64", "--deepzoom", "zoom"}, ""},
      {{"--target", "t.png", "--out", "m.png", "--deepzoom", "zoom"}, ""},
      {{"--target", "t.png", "--print", "256"}, "--print needs --out FILE"},
      {{"--target", "t.png", "--print", "256", "--out", "p.webp"}, "cannot write a print picture"},
      {{"--tiles", "lib", "--deepzoom", "zoom"}, "--deepzoom renders a mosaic at print size"},
      {{"--movie", "m.mp4", "--out", "m.mp4", "--print", "64"}, "--print renders a mosaic"},
      {{"--target", "t.png", "--print", "7", "--out", "p.tif"}, "invalid value for --print"},
  };
  for (const Case& c : cases) {
    BatchOptions options;
    std::string error;
    const bool parsed = ParseBatchArguments(c.args, options, error);
    EXPECT_EQ(parsed, std::string(c.error).empty()) << c.args.back() << ": " << error;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
  }
}

}  // namespace
}  // namespace tessaline
