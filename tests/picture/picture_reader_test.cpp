#include "picture/picture_reader.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>

#include "common/temp_folder.h"
#include "library/decode_pool.h"
#include "library/tile_library.h"
#include "library/tile_params.h"
#include "settings/log_stream.h"

namespace tessaline {
namespace {

// 64 × 48 upright: blocks of 16 × 16 in distinct colours, so any wrong turn
// or mirror moves colours to other places; 16-pixel blocks keep JPEG's
// 8 × 8 grid aligned in every orientation.
cv::Mat UprightPicture() {
  cv::Mat picture(48, 64, CV_8UC3);
  for (int by = 0; by < 3; ++by)
    for (int bx = 0; bx < 4; ++bx)
      picture(cv::Rect(bx * 16, by * 16, 16, 16))
          .setTo(cv::Scalar(40 + 60 * bx, 30 + 90 * by, 230 - 50 * bx - 30 * by));
  return picture;
}

// The stored pixels a camera writes for `upright` with EXIF orientation o,
// from the tag's own wording ("row 0 is the visual ..., column 0 is the
// visual ...").
cv::Mat StoredFor(const cv::Mat& upright, int o) {
  const int w = upright.cols;
  const int h = upright.rows;
  const bool turned = o >= 5;
  cv::Mat stored(turned ? w : h, turned ? h : w, CV_8UC3);
  for (int sy = 0; sy < stored.rows; ++sy) {
    for (int sx = 0; sx < stored.cols; ++sx) {
      int ux = sx;
      int uy = sy;
      switch (o) {
        case 2: ux = w - 1 - sx; break;
        case 3: ux = w - 1 - sx; uy = h - 1 - sy; break;
        case 4: uy = h - 1 - sy; break;
        case 5: ux = sy; uy = sx; break;
        case 6: ux = w - 1 - sy; uy = sx; break;
        case 7: ux = w - 1 - sy; uy = h - 1 - sx; break;
        case 8: ux = sy; uy = h - 1 - sx; break;
        default: break;
      }
      stored.at<cv::Vec3b>(sy, sx) = upright.at<cv::Vec3b>(uy, ux);
    }
  }
  return stored;
}

// A TIFF-structured EXIF block holding one Orientation entry, in either
// byte order.
std::string OrientationBlock(int orientation, bool big_endian) {
  auto put16 = [&](std::string& out, int v) {
    const char hi = static_cast<char>(v >> 8 & 0xFF);
    const char lo = static_cast<char>(v & 0xFF);
    out += big_endian ? std::string{hi, lo} : std::string{lo, hi};
  };
  auto put32 = [&](std::string& out, int v) {
    if (big_endian) {
      put16(out, v >> 16);
      put16(out, v & 0xFFFF);
    } else {
      put16(out, v & 0xFFFF);
      put16(out, v >> 16);
    }
  };
  std::string tiff = big_endian ? "MM" : "II";
  put16(tiff, 42);
  put32(tiff, 8);
  put16(tiff, 1);        // one entry
  put16(tiff, 0x0112);   // Orientation
  put16(tiff, 3);        // SHORT
  put32(tiff, 1);        // one value
  put16(tiff, orientation);
  put16(tiff, 0);
  put32(tiff, 0);        // no next directory
  return tiff;
}

// An APP1 segment holding one Orientation entry.
std::string ExifSegment(int orientation, bool big_endian) {
  const std::string body = std::string("Exif\0\0", 6) + OrientationBlock(orientation, big_endian);
  const int length = static_cast<int>(body.size()) + 2;
  return std::string{'\xFF', '\xE1', static_cast<char>(length >> 8), static_cast<char>(length & 0xFF)} +
         body;
}

std::string JpegWithOrientation(const cv::Mat& stored, int orientation) {
  std::vector<unsigned char> encoded;
  EXPECT_TRUE(cv::imencode(".jpg", stored, encoded, {cv::IMWRITE_JPEG_QUALITY, 95}));
  const std::string jpeg(encoded.begin(), encoded.end());
  return jpeg.substr(0, 2) + ExifSegment(orientation, orientation % 2 == 1) + jpeg.substr(2);
}

double MaxDifference(const cv::Mat& a, const cv::Mat& b) {
  if (a.size() != b.size() || a.type() != b.type()) return 1e9;
  return cv::norm(a, b, cv::NORM_INF);
}

TileShape SmallShape() {
  TileShape shape;
  shape.sub_width = 8;
  shape.sub_height = 6;
  return shape;
}

TEST(PictureReaderTest, EveryExifOrientationGivesTheSameUprightThumbnail) {
  TempFolder folder;
  const cv::Mat upright = UprightPicture();
  const TileShape shape = SmallShape();
  const cv::Mat expected = MakeTileRecord(upright, "/u.png", shape).thumbnail;
  for (int o = 1; o <= 8; ++o) {
    const std::string path = folder / ("o" + std::to_string(o) + ".jpg");
    WriteBytes(path, JpegWithOrientation(StoredFor(upright, o), o));
    for (PictureSize needed : {PictureSize{}, PictureSize{8, 6}}) {
      const DecodedPicture picture = ReadUprightPicture(path, needed);
      ASSERT_FALSE(picture.pixels.empty()) << "orientation " << o;
      EXPECT_EQ(picture.full.width, 64) << "orientation " << o;
      EXPECT_EQ(picture.full.height, 48) << "orientation " << o;
      const TileRecord record = MakeTileRecord(picture.pixels, picture.full, "/o.jpg", shape);
      EXPECT_LE(MaxDifference(record.thumbnail, expected), 6) << "orientation " << o;
      EXPECT_EQ(record.info.width, 64);
    }
  }
}

// A PNG with an eXIf chunk right after its header chunk.
std::string PngWithOrientation(const cv::Mat& stored, int orientation) {
  std::vector<unsigned char> encoded;
  EXPECT_TRUE(cv::imencode(".png", stored, encoded));
  const std::string png(encoded.begin(), encoded.end());
  const std::string data = "eXIf" + OrientationBlock(orientation, true);
  const auto crc = static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
  auto be32 = [](std::uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16 & 0xFF),
                       static_cast<char>(v >> 8 & 0xFF), static_cast<char>(v & 0xFF)};
  };
  const std::size_t after_header = 8 + 25;  // signature, IHDR chunk
  return png.substr(0, after_header) + be32(static_cast<std::uint32_t>(data.size() - 4)) + data +
         be32(crc) + png.substr(after_header);
}

// An uncompressed RGB TIFF of `stored` carrying orientation tag o.
void WriteTiffWithOrientation(const std::string& path, const cv::Mat& stored, int o) {
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, stored.cols);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, stored.rows);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_ORIENTATION, o);
  cv::Mat rgb;
  cv::cvtColor(stored, rgb, cv::COLOR_BGR2RGB);
  for (int y = 0; y < rgb.rows; ++y) TIFFWriteScanline(tiff, rgb.ptr(y), static_cast<uint32_t>(y), 0);
  TIFFClose(tiff);
}

TEST(PictureReaderTest, PngWebpAndTiffOrientationTagsAreApplied) {
  TempFolder folder;
  const cv::Mat upright = UprightPicture();
  for (int o : {3, 6, 7}) {
    const std::string name = "o" + std::to_string(o);
    WriteBytes(folder / (name + ".png"), PngWithOrientation(StoredFor(upright, o), o));
    EXPECT_EQ(MaxDifference(ReadUprightPicture(folder / (name + ".png")).pixels, upright), 0)
        << "png, orientation " << o;

    ASSERT_TRUE(cv::imwrite(folder / "plain.webp", StoredFor(upright, o),
                            {cv::IMWRITE_WEBP_QUALITY, 101}));
    WriteBytes(folder / "exif.bin", OrientationBlock(o, false));
    const std::string command = "webpmux -set exif '" + (folder / "exif.bin") + "' '" +
                                (folder / "plain.webp") + "' -o '" + (folder / (name + ".webp")) +
                                "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << "webpmux (package webp) is needed";
    EXPECT_EQ(MaxDifference(ReadUprightPicture(folder / (name + ".webp")).pixels, upright), 0)
        << "webp, orientation " << o;
  }
  for (int o = 1; o <= 8; ++o) {
    const std::string path = folder / ("o" + std::to_string(o) + ".tif");
    WriteTiffWithOrientation(path, StoredFor(upright, o), o);
    EXPECT_EQ(MaxDifference(ReadUprightPicture(path).pixels, upright), 0) << "tiff, orientation " << o;
  }
}

// A photograph-like picture with detail at every scale: smooth colour
// fields, edges and grain.
cv::Mat DetailedPicture(int width, int height) {
  cv::RNG rng(12345);
  cv::Mat field(9, 12, CV_8UC3);
  rng.fill(field, cv::RNG::UNIFORM, 0, 256);
  cv::Mat picture;
  cv::resize(field, picture, cv::Size(width, height), 0, 0, cv::INTER_NEAREST);
  cv::Mat grain(picture.size(), CV_8UC3);
  rng.fill(grain, cv::RNG::UNIFORM, 0, 48);
  picture = picture * 0.8 + grain;
  return picture;
}

TEST(PictureReaderTest, ReducedDecodeKeepsThumbnailMeansAndFullSize) {
  TempFolder folder;
  const std::string path = folder / "photo.jpg";
  ASSERT_TRUE(cv::imwrite(path, DetailedPicture(1600, 1200), {cv::IMWRITE_JPEG_QUALITY, 92}));
  TileShape shape = SmallShape();
  shape.tle_width = 64;
  shape.tle_height = 36;
  const DecodedPicture full = ReadUprightPicture(path);
  const DecodedPicture reduced = ReadUprightPicture(path, DecodeSizeFor(shape));
  ASSERT_EQ(full.pixels.cols, 1600);
  EXPECT_EQ(reduced.pixels.size(), cv::Size(200, 150)) << "decoded at 1/8";
  EXPECT_EQ(reduced.full.width, 1600);
  EXPECT_EQ(reduced.full.height, 1200);
  const TileRecord a = MakeTileRecord(full.pixels, "/p.jpg", shape);
  const TileRecord b = MakeTileRecord(reduced.pixels, reduced.full, "/p.jpg", shape);
  EXPECT_LE(MaxDifference(a.thumbnail, b.thumbnail), 4);
  EXPECT_LE(std::abs(a.info.mean_r - b.info.mean_r), 1);
  EXPECT_LE(std::abs(a.info.mean_g - b.info.mean_g), 1);
  EXPECT_LE(std::abs(a.info.mean_b - b.info.mean_b), 1);
  EXPECT_EQ(b.info.width, 1600);
  EXPECT_EQ(b.info.height, 1200);
  // The touched tile's cells span fractions of the reduced pixels, so only
  // its edges may move by a few levels more.
  cv::Mat difference;
  cv::absdiff(MakeTouchedTile(full.pixels, 64, 36), MakeTouchedTile(reduced.pixels, 64, 36),
              difference);
  EXPECT_LE(cv::mean(difference)[0], 2.0);
  EXPECT_LE(cv::norm(difference, cv::NORM_INF), 16);
}

TEST(PictureReaderTest, ReductionNeverGoesBelowTheNeededSize) {
  struct Row {
    PictureSize stored, needed;
    int reduction;
  };
  const Row rows[] = {
      {{4000, 3000}, {0, 0}, 1},     {{4000, 3000}, {500, 375}, 8}, {{4000, 3000}, {501, 10}, 4},
      {{4000, 3000}, {10, 376}, 4},  {{4000, 3000}, {2001, 1}, 1},  {{4001, 3001}, {501, 376}, 8},
      {{64, 48}, {8, 6}, 8},         {{63, 48}, {9, 6}, 4},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(JpegReduction(row.stored, row.needed), row.reduction)
        << row.stored.width << "x" << row.stored.height << " for " << row.needed.width << "x"
        << row.needed.height;
  }
}

// Writes `picture` as `name` in `dir` with the format's usual tool.
void WritePicture(const std::string& dir, const std::string& name, const cv::Mat& picture) {
  const std::string path = dir + "/" + name;
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.find(".hei") != std::string::npos) {
    const std::string png = dir + "/../heif_source.png";  // outside the scanned folder
    ASSERT_TRUE(cv::imwrite(png, picture));
    const std::string command = "heif-enc -q 95 '" + png + "' -o '" + path + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << "heif-enc (libheif-examples) is needed";
    std::filesystem::remove(png);
    return;
  }
  std::vector<int> options;
  if (lower.find(".webp") != std::string::npos) options = {cv::IMWRITE_WEBP_QUALITY, 101};
  const std::string extension = lower.substr(lower.rfind('.'));
  std::vector<unsigned char> bytes;
  ASSERT_TRUE(cv::imencode(extension, picture, bytes, options)) << name;
  WriteBytes(path, std::string(bytes.begin(), bytes.end()));
}

TEST(PictureReaderTest, ModernFormatsEnterTheLibraryWithTheirSizesAndColours) {
  TempFolder folder;
  const std::string dir = folder / "images";
  std::filesystem::create_directories(dir);
  struct Row {
    std::string name;
    cv::Scalar bgr;
  };
  const Row rows[] = {
      {"a.tif", {30, 160, 220}},  {"b.TIFF", {200, 40, 90}},  {"c.webp", {90, 200, 30}},
      {"d.WebP", {10, 20, 240}},  {"e.heic", {220, 120, 60}}, {"f.HEIF", {128, 128, 128}},
  };
  for (const Row& row : rows) WritePicture(dir, row.name, cv::Mat(48, 64, CV_8UC3, row.bgr));
  for (const Row& row : rows) {
    const std::optional<PictureSize> header = ReadPictureSize(dir + "/" + row.name);
    ASSERT_TRUE(header.has_value()) << row.name;
    // A HEIF header may declare the coded size, padded to whole coding
    // blocks before the crop: enough for the memory budget.
    const bool coded = row.name.find(".hei") != std::string::npos ||
                       row.name.find(".HEI") != std::string::npos;
    EXPECT_EQ(header->width, 64) << row.name;
    if (coded) {
      EXPECT_GE(header->height, 48) << row.name;
      EXPECT_LE(header->height, 64) << row.name;
    } else {
      EXPECT_EQ(header->height, 48) << row.name;
    }
  }
  TileLibraryParams config;
  config.sub_width = 8;
  config.sub_height = 6;
  TileLibrary library(config);
  std::ostringstream log;
  std::ostringstream console;
  library.SetLogStreams(&log, &console);
  ASSERT_TRUE(library.LoadSubImages(dir)) << log.str();
  ASSERT_EQ(library.Size(), std::size(rows)) << log.str();
  for (std::size_t i = 0; i < library.Size(); ++i) {
    const SubImageInfo& info = library.Entry(i);
    const auto row = std::find_if(std::begin(rows), std::end(rows),
                                  [&](const Row& r) { return "/" + r.name == info.name; });
    ASSERT_NE(row, std::end(rows)) << info.name;
    EXPECT_EQ(info.width, 64) << info.name;
    EXPECT_EQ(info.height, 48) << info.name;
    // HEIC is lossy even at its best quality and goes through YCbCr.
    EXPECT_NEAR(info.mean_b, row->bgr[0], 4) << info.name;
    EXPECT_NEAR(info.mean_g, row->bgr[1], 4) << info.name;
    EXPECT_NEAR(info.mean_r, row->bgr[2], 4) << info.name;
  }
}

TEST(PictureReaderTest, CmykJpegKeepsItsColours) {
  TempFolder folder;
  const cv::Scalar bgr(40, 150, 210);
  ASSERT_TRUE(cv::imwrite(folder / "rgb.png", cv::Mat(16, 16, CV_8UC3, bgr)));
  const std::string command = "convert '" + (folder / "rgb.png") + "' -colorspace CMYK -quality 98 '" +
                              (folder / "cmyk.jpg") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << "ImageMagick's convert is needed";
  const cv::Mat picture = ReadUprightPicture(folder / "cmyk.jpg").pixels;
  ASSERT_FALSE(picture.empty());
  const cv::Scalar mean = cv::mean(picture);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(mean[c], bgr[c], 6) << "channel " << c;
}

// Where the entropy-coded data of scan `n` (0-based) of `jpeg` begins: just
// past its scan header.
std::size_t ScanDataStart(const std::string& jpeg, int n) {
  std::size_t at = 0;
  for (int i = 0; i <= n; ++i) at = jpeg.find("\xFF\xDA", at + 1);
  if (at == std::string::npos) return jpeg.size();
  const auto length =
      static_cast<unsigned char>(jpeg[at + 2]) << 8 | static_cast<unsigned char>(jpeg[at + 3]);
  return at + 2 + static_cast<std::size_t>(length);
}

// A JPEG whose data ends early keeps the rows its data reaches, as libjpeg
// decodes them; one whose data ends before the first row of blocks is no
// picture, at full size and reduced (where the eighth-scale decoder hands a
// cut file to libjpeg) alike. 4:2:0, so rows of blocks are 16 pixels high.
TEST(PictureReaderTest, AJpegCutShortKeepsTheRowsItsDataReaches) {
  TempFolder folder;
  std::vector<unsigned char> encoded;
  ASSERT_TRUE(cv::imencode(".jpg", UprightPicture(), encoded, {cv::IMWRITE_JPEG_QUALITY, 95}));
  const std::string jpeg(encoded.begin(), encoded.end());
  ASSERT_TRUE(cv::imencode(".jpg", UprightPicture(), encoded, {cv::IMWRITE_JPEG_PROGRESSIVE, 1}));
  const std::string progressive(encoded.begin(), encoded.end());
  const std::size_t data = ScanDataStart(jpeg, 0), end = jpeg.size() - 2;
  struct Row {
    std::string name, bytes;
    PictureFault fault;
  };
  const Row rows[] = {
      {"headers only", jpeg.substr(0, data), PictureFault::kNotAPicture},
      {"a few bytes of data", jpeg.substr(0, data + 8), PictureFault::kNotAPicture},
      {"half its data", jpeg.substr(0, (data + end) / 2), PictureFault::kCutShort},
      {"all data, no end marker", jpeg.substr(0, end), PictureFault::kNone},
      {"whole", jpeg, PictureFault::kNone},
      {"progressive, headers only", progressive.substr(0, ScanDataStart(progressive, 0)),
       PictureFault::kNotAPicture},
      {"progressive, first scan", progressive.substr(0, ScanDataStart(progressive, 1)),
       PictureFault::kCutShort},
  };
  for (const PictureSize needed : {PictureSize{}, PictureSize{8, 6}}) {
    const cv::Mat whole = DecodePicture(jpeg, "", needed).pixels;
    const int block_rows = whole.rows / 6;  // 8 rows at full size, 1 reduced
    for (const Row& row : rows) {
      SCOPED_TRACE(row.name + (needed.width > 0 ? ", reduced" : ", full size"));
      const std::string path = folder / "cut.jpg";
      WriteBytes(path, row.bytes);
      const DecodedPicture picture = ReadUprightPicture(path, needed);
      EXPECT_EQ(picture.fault, row.fault) << picture.detail;
      if (row.fault == PictureFault::kNotAPicture) {
        EXPECT_TRUE(picture.pixels.empty());
        continue;
      }
      ASSERT_EQ(picture.pixels.size(), whole.size());
      EXPECT_EQ(picture.full.width, 64);
      EXPECT_EQ(picture.full.height, 48);
      if (row.name.rfind("progressive", 0) == 0) continue;
      // The top row of blocks as in the whole file; a cut one grey below.
      EXPECT_EQ(
          MaxDifference(picture.pixels.rowRange(0, block_rows), whole.rowRange(0, block_rows)), 0);
      const cv::Range bottom(whole.rows - block_rows, whole.rows);
      const double below = MaxDifference(picture.pixels.rowRange(bottom), whole.rowRange(bottom));
      if (row.fault == PictureFault::kCutShort)
        EXPECT_GT(below, 40);
      else
        EXPECT_EQ(below, 0);
    }
  }
  // A cut picture is named in the log.
  const std::vector<std::string> history = LogHistory();
  EXPECT_NE(std::find(history.begin(), history.end(),
                      "picture cut short : " + (folder / "cut.jpg") +
                          " : 16 of 48 rows decoded, "
                          "the rest is grey\n"),
            history.end());
}

TEST(PictureReaderTest, BrokenFilesGiveNothingAndNeverCrash) {
  TempFolder folder;
  std::vector<unsigned char> jpeg;
  ASSERT_TRUE(cv::imencode(".jpg", UprightPicture(), jpeg));
  std::vector<unsigned char> png;
  ASSERT_TRUE(cv::imencode(".png", UprightPicture(), png));
  const std::string bmp_header =
      std::string("BM") + std::string(8, '\0') + std::string("\x36\0\0\0\x28\0\0\0", 8) +
      std::string("\xFF\xFF\xFF\x7F\xFF\xFF\xFF\x7F\x01\0\x18\0", 12) + std::string(40, '\0');
  const std::string cases[] = {
      "",
      "\xFF\xD8",
      std::string(jpeg.begin(), jpeg.begin() + 40),
      "\x89PNG\r\n\x1a\n",
      std::string(png.begin(), png.begin() + 60),
      bmp_header,  // 2 147 483 647 pixels a side
      std::string("II*\0\x08\0\0\0", 8),
      std::string("MM\0*\0\0\0\x08\0\x01", 10),
      "RIFF\x10\0\0\0WEBPVP8 garbage garbage",
      std::string("\0\0\0\x18" "ftypheic\0\0\0\0mif1heic", 24),
      "GIF89a\x01",
  };
  int i = 0;
  for (const std::string& bytes : cases) {
    const std::string path = folder / ("broken" + std::to_string(i++));
    WriteBytes(path, bytes);
    EXPECT_TRUE(ReadUprightPicture(path).pixels.empty()) << "case " << i - 1;
    EXPECT_TRUE(ReadUprightPicture(path, PictureSize{8, 6}).pixels.empty()) << "case " << i - 1;
  }
  EXPECT_TRUE(ReadUprightPicture(folder / "absent.jpg").pixels.empty());
  // Opening a FIFO for reading waits for a writer; the reader must not.
  ASSERT_EQ(mkfifo((folder / "fifo.jpg").c_str(), 0600), 0);
  EXPECT_TRUE(ReadUprightPicture(folder / "fifo.jpg").pixels.empty());
}

// A little-endian TIFF of 138 bytes whose one strip of 16 bytes is all the
// data of a declared 16000 × 16000 grey picture.
std::string ForgedTiff() {
  std::string tiff("II*\0\x08\0\0\0", 8);
  auto put = [&](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) tiff.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
  };
  const std::uint32_t kData = 8 + 2 + 9 * 12 + 4;
  const std::uint32_t entries[][3] = {
      {256, 4, 16000}, {257, 4, 16000}, {258, 3, 8},     {259, 3, 1},  {262, 3, 1},
      {273, 4, kData}, {277, 3, 1},     {278, 4, 16000}, {279, 4, 16},
  };
  put(9, 2);
  for (const auto& entry : entries) {
    put(entry[0], 2);
    put(entry[1], 2);  // 3 SHORT, 4 LONG
    put(1, 4);
    put(entry[2], 4);
  }
  put(0, 4);
  tiff += std::string(16, '\x80');
  return tiff;
}

TEST(PictureReaderTest, TiffDeclaringMorePixelsThanItsDataIsRefusedBeforeAllocating) {
  TempFolder folder;
  const std::string path = folder / "forged.tif";
  WriteBytes(path, ForgedTiff());
  ASSERT_EQ(ReadBytes(path).size(), 138u);
  // In a child process, whose peak memory starts at what it holds now: a
  // decode that allocated the declared picture would raise it by a gigabyte.
  const pid_t child = fork();
  if (child == 0) {
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const bool refused = ReadUprightPicture(path).pixels.empty();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    const long grown_kib = after.ru_maxrss - before.ru_maxrss;
    _exit(!refused ? 2 : grown_kib > 64 * 1024 ? 3 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "2: decoded, 3: more than 64 MiB allocated";
}

// Messages that reach libtiff's process-wide error handler.
int process_wide_tiff_errors = 0;
void CountTiffError(const char*, const char*, va_list) { ++process_wide_tiff_errors; }

TEST(PictureReaderTest, ABrokenTiffIsQuietWithoutSilencingLibtiffForOthers) {
  TempFolder folder;
  // Its first directory lies past the end of the file.
  WriteBytes(folder / "broken.tif", std::string("II*\0\x40\0\0\0", 8));
  const TIFFErrorHandler before = TIFFSetErrorHandler(CountTiffError);
  process_wide_tiff_errors = 0;
  EXPECT_TRUE(ReadUprightPicture(folder / "broken.tif").pixels.empty());
  EXPECT_EQ(process_wide_tiff_errors, 0) << "our read's errors went to the process";
  // Whoever else uses libtiff still gets its messages.
  EXPECT_EQ(TIFFOpen((folder / "absent.tif").c_str(), "r"), nullptr);
  EXPECT_EQ(process_wide_tiff_errors, 1);
  TIFFSetErrorHandler(before);
}

}  // namespace
}  // namespace tessaline
