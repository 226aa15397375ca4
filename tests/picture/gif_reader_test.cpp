#include "picture/gif_reader.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/temp_folder.h"

namespace tessaline {
namespace {

// Colours as GIF tables store them (red, green, blue), named by one letter
// so that expected pictures read as rows of letters.
constexpr GifColorType kRed{255, 0, 0};
constexpr GifColorType kGreen{0, 255, 0};
constexpr GifColorType kBlue{0, 0, 255};
constexpr GifColorType kWhite{255, 255, 255};
constexpr GifColorType kYellow{255, 255, 0};

cv::Vec3b LetterColour(char letter) {
  switch (letter) {
    case 'r':
      return cv::Vec3b(0, 0, 255);  // blue-green-red order
    case 'g':
      return cv::Vec3b(0, 255, 0);
    case 'b':
      return cv::Vec3b(255, 0, 0);
    case 'w':
      return cv::Vec3b(255, 255, 255);
    case 'y':
      return cv::Vec3b(0, 255, 255);
    default:
      return cv::Vec3b(0, 0, 0);  // 'k'
  }
}

cv::Mat Picture(const std::vector<std::string>& rows) {
  cv::Mat picture(static_cast<int>(rows.size()), static_cast<int>(rows[0].size()), CV_8UC3);
  for (int y = 0; y < picture.rows; ++y) {
    for (int x = 0; x < picture.cols; ++x) {
      picture.at<cv::Vec3b>(y, x) = LetterColour(rows[static_cast<std::size_t>(y)][x]);
    }
  }
  return picture;
}

struct Screen {
  int width;
  int height;
  std::vector<GifColorType> table;  // empty: no screen colour table
  int background = 0;
};

struct Frame {
  int left;
  int top;
  std::vector<std::string> rows;         // colour indices as digits, in file order
  std::vector<GifColorType> table = {};  // empty: the screen's table
  bool interlaced = false;
  int transparent = -1;  // -1: no graphic control extension
};

int AppendToString(GifFileType* gif, const GifByteType* bytes, int count) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(bytes), count);
  return count;
}

struct MapFree {
  void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};
using ColourMap = std::unique_ptr<ColorMapObject, MapFree>;

// A giflib colour map of the colours, padded with black to a power of two.
ColourMap MakeMap(std::vector<GifColorType> colours) {
  if (colours.empty()) return nullptr;
  std::size_t size = 2;
  while (size < colours.size()) size *= 2;
  colours.resize(size, GifColorType{0, 0, 0});
  return ColourMap(GifMakeMapObject(static_cast<int>(size), colours.data()));
}

void PutFrame(GifFileType* gif, const Frame& frame) {
  if (frame.transparent >= 0) {
    GraphicsControlBlock control{};
    control.TransparentColor = frame.transparent;
    GifByteType extension[4];
    const std::size_t length = EGifGCBToExtension(&control, extension);
    ASSERT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension),
              GIF_OK);
  }
  const int width = static_cast<int>(frame.rows[0].size());
  const int height = static_cast<int>(frame.rows.size());
  const ColourMap map = MakeMap(frame.table);
  ASSERT_EQ(
      EGifPutImageDesc(gif, frame.left, frame.top, width, height, frame.interlaced, map.get()),
      GIF_OK);
  for (const std::string& row : frame.rows) {
    std::vector<GifPixelType> line;
    for (char digit : row) line.push_back(static_cast<GifPixelType>(digit - '0'));
    ASSERT_EQ(EGifPutLine(gif, line.data(), width), GIF_OK);
  }
}

// A GIF89a file written by giflib's encoder.
std::string EncodeGif(const Screen& screen, const std::vector<Frame>& frames) {
  std::string bytes;
  int error = 0;
  GifFileType* gif = EGifOpen(&bytes, AppendToString, &error);
  if (gif == nullptr) {
    ADD_FAILURE() << "giflib cannot start a file: " << GifErrorString(error);
    return bytes;
  }
  EGifSetGifVersion(gif, true);
  const ColourMap map = MakeMap(screen.table);
  EXPECT_EQ(EGifPutScreenDesc(gif, screen.width, screen.height, 8, screen.background, map.get()),
            GIF_OK);
  for (const Frame& frame : frames) PutFrame(gif, frame);
  EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
  return bytes;
}

cv::Mat Decode(const std::string& bytes) {
  return DecodeGifFirstFrame(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

bool SamePixels(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

const std::vector<GifColorType> kRbgw = {kRed, kBlue, kGreen, kWhite};

// Each case is checked by its own call rather than from a table of
// aggregates holding vectors: GCC 12 at -O3 reports false uses of
// uninitialized or freed memory in such tables.
void ExpectDecodes(const char* name, const Screen& screen, const std::vector<Frame>& frames,
                   const std::vector<std::string>& expected) {  // letters, top row first
  const cv::Mat picture = Decode(EncodeGif(screen, frames));
  ASSERT_EQ(picture.type(), CV_8UC3) << name;
  EXPECT_TRUE(SamePixels(picture, Picture(expected))) << name << "\n" << picture;
}

TEST(GifReader, DecodesTheFirstImageOntoTheScreen) {
  ExpectDecodes("screen table", {3, 2, kRbgw}, {{0, 0, {"012", "030"}}}, {"rbg", "rwr"});
  ExpectDecodes("local table wins over the screen's", {2, 3, {kRed, kBlue}},
                {{0, 0, {"01", "10", "00"}, {kGreen, kWhite}}}, {"gw", "wg", "gg"});
  // Rows stored by pass: 0 8 | 4 | 2 6 | 1 3 5 7 9.
  ExpectDecodes("interlaced rows come out in display order", {2, 10, kRbgw},
                {{0, 0, {"00", "20", "10", "02", "12", "01", "03", "11", "13", "21"}, {}, true}},
                {"rr", "rb", "rg", "rw", "br", "bb", "bg", "bw", "gr", "gb"});
  ExpectDecodes("transparent pixels show the background", {3, 2, kRbgw, 2},
                {{0, 0, {"011", "310"}, {}, false, 1}}, {"rgg", "wgr"});
  ExpectDecodes("smaller image at an offset over the background", {5, 4, kRbgw, 3},
                {{2, 1, {"01", "20"}}}, {"wwwww", "wwrbw", "wwgrw", "wwwww"});
  ExpectDecodes("black around the image without a screen table", {4, 3, {}},
                {{1, 1, {"01"}, {kRed, kBlue}}}, {"kkkk", "krbk", "kkkk"});
  ExpectDecodes("background index beyond the screen table is black", {2, 1, {kRed, kBlue}, 5},
                {{0, 0, {"1"}}}, {"bk"});
  // Only the first image counts, and a later control block does not make its
  // colours transparent.
  ExpectDecodes("later frames are ignored", {2, 2, kRbgw, 3},
                {{0, 0, {"01", "10"}}, {0, 0, {"22", "22"}, {}, false, 0}}, {"rb", "br"});
}

TEST(GifReader, ImagesReachingOutsideTheScreenGiveNothing) {
  struct Row {
    int left, top, width, height;
  };
  const Row rows[] = {{3, 0, 2, 1}, {0, 2, 1, 2}, {0, 0, 5, 3},
                      {0, 0, 4, 4}, {4, 0, 1, 1}, {0, 3, 1, 1}};
  // The same image inside the screen decodes, so the bounds are the reason.
  EXPECT_FALSE(Decode(EncodeGif({4, 3, kRbgw}, {{3, 2, {"1"}}})).empty());
  for (const Row& row : rows) {
    const std::vector<std::string> pixels(static_cast<std::size_t>(row.height),
                                          std::string(static_cast<std::size_t>(row.width), '1'));
    const std::string bytes = EncodeGif({4, 3, kRbgw}, {{row.left, row.top, pixels}});
    EXPECT_TRUE(Decode(bytes).empty())
        << row.left << "," << row.top << " " << row.width << "x" << row.height;
  }
}

// Written with four colours, then the table cut to its first two: the data
// keeps indices 2 and 3.
TEST(GifReader, IndicesBeyondTheColourTableAreBlack) {
  std::string bytes = EncodeGif({4, 1, {}}, {{0, 0, {"0123"}, {kYellow, kBlue, kGreen, kWhite}}});
  constexpr std::size_t kPacked = 22;  // see WithoutAnyColourTable
  ASSERT_EQ(bytes[13], ',');
  ASSERT_EQ(bytes[kPacked] & 0x87, 0x81);
  bytes[kPacked] = static_cast<char>(bytes[kPacked] & ~0x07);
  bytes.erase(kPacked + 1 + 6, 6);
  EXPECT_TRUE(SamePixels(Decode(bytes), Picture({"ybkk"})));
}

// Every cut before the image's last data block fails; only the trailer may
// be missing, since nothing after the first image is read.
TEST(GifReader, TruncatedFilesGiveNothing) {
  const std::string bytes =
      EncodeGif({3, 9, kRbgw}, {{0,
                                 0,
                                 {"012", "123", "230", "301", "012", "123", "230", "301", "000"},
                                 {kYellow, kWhite, kRed, kBlue},
                                 true,
                                 2}});
  ASSERT_EQ(bytes.back(), ';');
  for (std::size_t size = 0; size + 1 < bytes.size(); ++size) {
    EXPECT_TRUE(Decode(bytes.substr(0, size)).empty()) << size << " of " << bytes.size();
  }
  EXPECT_TRUE(SamePixels(Decode(bytes.substr(0, bytes.size() - 1)), Decode(bytes)));
  EXPECT_FALSE(Decode(bytes).empty());
}

// The image descriptor of a file with no screen table and no extension
// starts at byte 13; its packed byte is the descriptor's last.
std::string WithoutAnyColourTable(std::string bytes) {
  constexpr std::size_t kDescriptor = 13, kPacked = kDescriptor + 9;
  EXPECT_EQ(bytes[kDescriptor], ',');
  const std::size_t table = std::size_t{3} << ((bytes[kPacked] & 7) + 1);
  bytes[kPacked] = static_cast<char>(bytes[kPacked] & ~0x87);
  return bytes.erase(kPacked + 1, table);
}

TEST(GifReader, FilesItCannotShowGiveNothing) {
  const std::string good = EncodeGif({2, 1, {}}, {{0, 0, {"01"}, {kRed, kBlue}}});
  ASSERT_TRUE(SamePixels(Decode(good), Picture({"rb"})));
  std::string gif88 = good;
  gif88[4] = '8';
  std::string gif87 = good;
  gif87[4] = '7';
  EXPECT_TRUE(SamePixels(Decode(gif87), Picture({"rb"})));
  const struct {
    const char* name;
    std::string bytes;
  } rows[] = {
      {"empty", ""},
      {"signature only", "GIF89a"},
      {"unknown version", gif88},
      {"not a GIF", "\x89PNG\r\n\x1a\n and more bytes to read"},
      {"no image at all", EncodeGif({2, 2, kRbgw}, {})},
      {"no colour table", WithoutAnyColourTable(good)},
      {"screen of 65535 x 65535", EncodeGif({65535, 65535, kRbgw}, {{0, 0, {"1"}}})},
      {"screen just over the limit", EncodeGif({8193, 8192, kRbgw}, {{0, 0, {"1"}}})},
  };
  for (const auto& row : rows) EXPECT_TRUE(Decode(row.bytes).empty()) << row.name;
}

TEST(GifReader, ReadsFilesLikeMemory) {
  TempFolder folder;
  const std::string bytes =
      EncodeGif({5, 4, kRbgw, 3}, {{2, 1, {"01", "20"}, {}, true, -1}, {0, 0, {"3"}}});
  WriteBytes(folder / "a.gif", bytes);
  WriteBytes(folder / "cut.gif", bytes.substr(0, bytes.size() / 2));
  WriteBytes(folder / "a.png", "\x89PNG\r\n\x1a\n");
  const cv::Mat from_file = ReadGifFirstFrame(folder / "a.gif");
  ASSERT_FALSE(from_file.empty());
  EXPECT_TRUE(SamePixels(from_file, Decode(bytes)));
  for (const char* name : {"cut.gif", "a.png", "missing.gif"}) {
    EXPECT_TRUE(ReadGifFirstFrame(folder / name).empty()) << name;
  }
}

TEST(GifReader, RecognisesOnlyTheTwoSignatures) {
  const struct {
    std::string bytes;
    bool gif;
  } rows[] = {{"GIF87a", true},  {"GIF89a...", true}, {"GIF89", false},  {"GIF88a", false},
              {"gif89a", false}, {"", false},         {"xGIF89a", false}};
  for (const auto& row : rows) {
    EXPECT_EQ(
        HasGifSignature(reinterpret_cast<const unsigned char*>(row.bytes.data()), row.bytes.size()),
        row.gif)
        << row.bytes;
  }
}

}  // namespace
}  // namespace tessaline
