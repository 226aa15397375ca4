#include "render/texture.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "common/temp_folder.h"
#include "library/tile_library.h"
#include "match/assignment.h"
#include "picture/picture_header.h"
#include "render/gl_test_context.h"
#include "render/image_file.h"
#include "settings/log_stream.h"

namespace tessaline {
namespace {

std::string LastLogLine() {
  const std::vector<std::string> history = LogHistory();
  return history.size() < 2 ? "" : history[history.size() - 2];
}

TEST(CellTableTexel, PacksTheIndexIntoRedGreenBlue) {
  struct Row {
    int tile;
    unsigned char r, g, b;
  };
  // 300 = 1 * 256 + 44; 70000 = 1 * 65536 + 17 * 256 + 112.
  const std::vector<Row> rows = {{0, 0, 0, 0},        {255, 255, 0, 0},         {256, 0, 1, 0},
                                 {300, 44, 1, 0},     {65535, 255, 255, 0},     {65536, 0, 0, 1},
                                 {70000, 112, 17, 1}, {16777215, 255, 255, 255}};
  for (const Row& row : rows) {
    unsigned char texel[4] = {9, 9, 9, 9};
    PackTileIndex(row.tile, texel);
    EXPECT_EQ(texel[0], row.r) << row.tile;
    EXPECT_EQ(texel[1], row.g) << row.tile;
    EXPECT_EQ(texel[2], row.b) << row.tile;
    EXPECT_EQ(texel[3], 255) << row.tile;
    EXPECT_EQ(UnpackTileIndex(texel), row.tile);
  }
}

TEST(CellAt, GivesTheCellOrMinusOne) {
  struct Row {
    int x, y, column, row;
  };
  // 3840 x 2160 with 64 x 32 tiles: 60 x 67 cells, rows 2144 ... 2159 outside.
  const std::vector<Row> rows = {{0, 0, 0, 0},         {63, 31, 0, 0},    {64, 32, 1, 1},
                                 {3839, 2143, 59, 66}, {3840, 0, -1, -1}, {0, 2144, -1, -1},
                                 {-1, 5, -1, -1},      {5, -1, -1, -1}};
  for (const Row& row : rows) {
    const CellPosition cell = CellAt(row.x, row.y, 64, 32, 60, 67);
    EXPECT_EQ(cell.column, row.column) << row.x << ", " << row.y;
    EXPECT_EQ(cell.row, row.row) << row.x << ", " << row.y;
  }
}

TEST(PlanAtlas, SplitsOnlyLibrariesTallerThanATexture) {
  struct Row {
    int tile_w, tile_h, tiles, max_size;
    bool fits;
    int per_row, rows;
  };
  const std::vector<Row> rows = {
      {32, 18, 1000, 16384, true, 1, 1000},
      {4, 3, 16384, 16384, true, 1, 16384},
      {4, 3, 16385, 16384, true, 2, 8193},
      {4, 3, 50000, 16384, true, 4, 12500},
      {2, 1, 13, 6, true, 3, 5},
      {128, 128, 10, 16384, true, 1, 10},
      {128, 128, 16385, 16384, false, 0, 0},
      {2, 1, 40, 6, false, 0, 0},
      {4, 3, 0, 16384, false, 0, 0},
  };
  for (const Row& row : rows) {
    AtlasLayout layout;
    ASSERT_EQ(PlanAtlas(row.tile_w, row.tile_h, row.tiles, row.max_size, layout), row.fits)
        << row.tiles << " tiles";
    if (!row.fits) continue;
    EXPECT_EQ(layout.tiles_per_row, row.per_row) << row.tiles;
    EXPECT_EQ(layout.rows, row.rows) << row.tiles;
    EXPECT_LE(layout.width(), row.max_size);
  }
}

TEST(MosaicTextureSet, RingKeepsThePreviousPictureAndReusesTheOldest) {
  MosaicTextureSet set;
  std::vector<int> currents;
  for (int i = 0; i < 4; ++i) {
    const int before = set.current_image;
    set.RotateImageRing();
    EXPECT_EQ(set.previous_image, before);
    EXPECT_NE(set.current_image, before);
    EXPECT_NE(set.spare_image, set.current_image);
    EXPECT_NE(set.spare_image, set.previous_image);
    currents.push_back(set.current_image);
  }
  EXPECT_EQ(currents, (std::vector<int>{2, 1, 0, 2}));
  set.SwapMosaicSlots();
  EXPECT_EQ(set.current_mosaic, 1);
  EXPECT_EQ(set.previous_mosaic, 0);
}

// An asymmetric picture: every pixel and channel differs.
cv::Mat Picture(int width, int height, int channels) {
  cv::Mat image(height, width, CV_8UC(channels));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < channels; ++c)
        image.ptr(y)[x * channels + c] = static_cast<unsigned char>(30 * x + 70 * y + 11 * c + 1);
  return image;
}

// Level 0 of a texture in the given format, tightly packed.
std::vector<unsigned char> Level0(GLuint texture, GLenum format, std::size_t size) {
  std::vector<unsigned char> texels(size);
  glBindTexture(GL_TEXTURE_2D, texture);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, texels.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glBindTexture(GL_TEXTURE_2D, 0);
  return texels;
}

std::vector<unsigned char> Bytes(const cv::Mat& image) {
  const cv::Mat copy = image.clone();
  return std::vector<unsigned char>(copy.datastart, copy.dataend);
}

class TextureTest : public ::testing::Test {
 protected:
  // One context for the whole suite: a loaded X server may refuse rapid
  // reconnections.
  static void SetUpTestSuite() { gl_ = std::make_unique<GlTestContext>(); }
  static void TearDownTestSuite() { gl_.reset(); }

  void SetUp() override { ASSERT_TRUE(gl_->ok()) << gl_->error(); }

  static inline std::unique_ptr<GlTestContext> gl_;
  TempFolder dir_;
};

TEST_F(TextureTest, UploadsOddWidthsOfEveryChannelCount) {
  struct Row {
    int width, height, channels;
    GLenum read_format;
  };
  const std::vector<Row> rows = {{5, 3, 3, GL_BGR}, {7, 3, 1, GL_LUMINANCE}, {3, 2, 4, GL_BGRA}};
  for (const Row& row : rows) {
    const cv::Mat image = Picture(row.width, row.height, row.channels);
    GlTexture texture;
    ASSERT_TRUE(UploadImageTexture(image, texture)) << row.channels;
    EXPECT_EQ(Level0(texture.name(), row.read_format, image.total() * row.channels), Bytes(image))
        << row.channels << " channels";
  }
}

TEST_F(TextureTest, UploadOfARegionAndRestoredUnpackState) {
  const cv::Mat whole = Picture(9, 6, 3);
  const cv::Mat region = whole(cv::Rect(2, 1, 5, 4));  // rows 27 bytes apart
  glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
  GlTexture texture;
  ASSERT_TRUE(UploadImageTexture(region, texture));
  GLint alignment = 0;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  EXPECT_EQ(alignment, 8);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);  // the context serves the next tests
  EXPECT_EQ(Bytes(ReadTextureBgr(texture.name(), 5, 4)), Bytes(region));
  EXPECT_TRUE(ReadTextureBgr(texture.name(), 4, 4).empty()) << "a wrong size is not read";
}

TEST_F(TextureTest, SameSizeOverwritesOtherSizeRedefines) {
  GlTexture texture;
  ASSERT_TRUE(UploadImageTexture(Picture(5, 3, 3), texture));
  const GLuint name = texture.name();
  const cv::Mat second = Picture(5, 3, 3) + cv::Scalar(1, 2, 3);
  ASSERT_TRUE(UploadImageTexture(second, texture));
  EXPECT_EQ(texture.name(), name);
  EXPECT_EQ(Bytes(ReadTextureBgr(name, 5, 3)), Bytes(second));
  const cv::Mat larger = Picture(6, 4, 3);
  ASSERT_TRUE(UploadImageTexture(larger, texture));
  EXPECT_EQ(Bytes(ReadTextureBgr(texture.name(), 6, 4)), Bytes(larger));
}

TEST_F(TextureTest, UnusablePicturesAreRefused) {
  GlTexture texture;
  EXPECT_FALSE(UploadImageTexture(cv::Mat(), texture));
  EXPECT_FALSE(UploadImageTexture(cv::Mat(3, 3, CV_16UC3, cv::Scalar::all(7)), texture));
  EXPECT_FALSE(UploadImageTexture(cv::Mat(3, 3, CV_8UC2, cv::Scalar::all(7)), texture));
  EXPECT_EQ(texture.name(), 0u);
}

TEST_F(TextureTest, AtlasRowsHoldTheTilesAndTheLogLine) {
  // 3 tiles of 3 x 2: rows of 18 bytes, not a multiple of 4.
  cv::Mat composite = Picture(6, 3, 3);
  MosaicTextureSet set;
  ASSERT_TRUE(CreateAtlasTexture(composite, 3, 2, set));
  EXPECT_EQ(LastLogLine(), "iplThumb : (6 x 3 x 3)\n");
  EXPECT_EQ(set.atlas_layout.tiles, 3);
  EXPECT_EQ(Bytes(ReadTextureBgr(set.atlas.name(), 6, 3)), Bytes(composite));

  EXPECT_FALSE(CreateAtlasTexture(composite, 2, 2, set)) << "6 texels are not 2 x 2 tiles";
  EXPECT_EQ(set.atlas.name(), 0u);
}

TEST_F(TextureTest, SplitAtlasPutsTilesSideBySide) {
  // 5 tiles of 2 x 1 under a limit of 4 texels: 2 per row, 3 rows.
  const cv::Mat composite = Picture(2, 5, 3);
  MosaicTextureSet set;
  ASSERT_TRUE(CreateAtlasTexture(composite, 2, 1, set, 4));
  EXPECT_EQ(set.atlas_layout.tiles_per_row, 2);
  const cv::Mat atlas = ReadTextureBgr(set.atlas.name(), 4, 3);
  ASSERT_FALSE(atlas.empty());
  for (int t = 0; t < 5; ++t)
    EXPECT_EQ(Bytes(atlas(cv::Rect(2 * (t % 2), t / 2, 2, 1))), Bytes(composite.row(t))) << t;
  EXPECT_EQ(Bytes(atlas(cv::Rect(2, 2, 2, 1))), std::vector<unsigned char>(6, 0));
}

TEST_F(TextureTest, CellTableTakesOnlyBytesOfItsSize) {
  MosaicTextureSet set;
  UploadCellTable(std::vector<unsigned char>(8, 1), set);  // no table yet: nothing happens
  EXPECT_EQ(set.table.name(), 0u);
  CreateCellTable(3, 2, set);
  const GLuint name = set.table.name();
  ASSERT_NE(name, 0u);
  std::vector<unsigned char> bytes(3 * 2 * 4);
  for (std::size_t c = 0; c < 6; ++c) PackTileIndex(static_cast<int>(c * 300), &bytes[c * 4]);
  UploadCellTable(bytes, set);
  EXPECT_EQ(Level0(name, GL_RGBA, bytes.size()), bytes);
  UploadCellTable(std::vector<unsigned char>(5), set);
  EXPECT_EQ(LastLogLine(), "cell table : 5 bytes for 3 x 2 cells\n");
  EXPECT_EQ(Level0(name, GL_RGBA, bytes.size()), bytes) << "the table is unchanged";
  CreateCellTable(4, 4, set);
  EXPECT_EQ(set.table.name(), name) << "the name is kept";
}

TEST_F(TextureTest, TileTexturePrefersTheTouchedTileFile) {
  const cv::Mat photo = Picture(3, 2, 3);  // blue first, as OpenCV gives it
  const std::string picture = dir_ / "a.png";
  ASSERT_TRUE(cv::imwrite(picture, photo));
  SubImageInfo info;
  info.name = "a.png";
  const std::vector<SubImageInfo> library(2, info);
  const std::vector<int> assignment = {1, 0, 0, 0};
  const std::string images_path = dir_.Path() + "/";

  // Without a touched-tile file the picture itself shows, colours right.
  GlTexture texture = LoadTileTexture(0, 0, 2, 2, assignment, library, images_path);
  ASSERT_NE(texture.name(), 0u);
  EXPECT_EQ(Level0(texture.name(), GL_BGR, 18), Bytes(photo));

  // The touched-tile file is an ordinary PNG with the photo's true colours,
  // as the tile library writes it, and it is the one that shows.
  const cv::Mat enlarged = Picture(6, 4, 3);
  ASSERT_TRUE(cv::imwrite(TouchedTilePath(picture) + ".png", enlarged));
  std::filesystem::rename(TouchedTilePath(picture) + ".png", TouchedTilePath(picture));
  texture = LoadTileTexture(1, 1, 2, 2, assignment, library, images_path);
  ASSERT_NE(texture.name(), 0u);
  EXPECT_EQ(Level0(texture.name(), GL_BGR, 72), Bytes(enlarged));

  // A touched-tile file cut short falls back to the photo.
  std::filesystem::resize_file(TouchedTilePath(picture), 40);
  texture = LoadTileTexture(1, 1, 2, 2, assignment, library, images_path);
  ASSERT_NE(texture.name(), 0u);
  EXPECT_EQ(Level0(texture.name(), GL_BGR, 18), Bytes(photo));

  EXPECT_EQ(LoadTileTexture(2, 0, 2, 2, assignment, library, images_path).name(), 0u);
  EXPECT_EQ(LoadTileTexture(0, -1, 2, 2, assignment, library, images_path).name(), 0u);
  const std::vector<int> beyond = {5, 0, 0, 0};
  EXPECT_EQ(LoadTileTexture(0, 0, 2, 2, beyond, library, images_path).name(), 0u);
}

TEST_F(TextureTest, DamagedTouchedTileFileShowsThePhotoAndIsMadeAgain) {
  const cv::Mat photo = Picture(6, 4, 3);
  const std::string picture = dir_ / "a.png";
  ASSERT_TRUE(cv::imwrite(picture, photo));
  TileLibraryParams config;
  config.sub_width = 3;
  config.sub_height = 2;
  config.touched_tile_scale = 2.0;
  TileLibrary library(config);
  std::ostringstream log;
  library.SetLogStreams(&log, &log);
  ASSERT_TRUE(library.LoadSubImages(dir_.Path()));
  const std::string touched = TouchedTilePath(picture);
  const std::string made = ReadBytes(touched);

  // A byte flipped in the middle of the pixel data: the head and the end,
  // all that a load looks at, stay whole.
  std::string damaged = made;
  const std::size_t idat = damaged.find("IDAT");
  ASSERT_NE(idat, std::string::npos);
  const std::size_t length = (static_cast<unsigned char>(damaged[idat - 2]) << 8) |
                             static_cast<unsigned char>(damaged[idat - 1]);
  damaged[idat + 4 + length / 2] ^= 0x5A;
  WriteBytes(touched, damaged);
  ASSERT_TRUE(IsWholePngFile(touched));

  const GlTexture texture =
      LoadTileTexture(0, 0, 1, 1, {0}, library.Entries(), library.ImagesPath());
  ASSERT_NE(texture.name(), 0u);
  EXPECT_EQ(Level0(texture.name(), GL_BGR, 72), Bytes(photo));
  ASSERT_TRUE(library.LoadSubImages(dir_.Path()));
  EXPECT_TRUE(ReadBytes(touched) == made) << "the damaged file was not made again";
}

TEST_F(TextureTest, PngTextureAndItsFailure) {
  GlTexture texture = GlTexture::Generate();
  const GLuint name = texture.name();
  EXPECT_FALSE(LoadPngTexture(dir_ / "missing.png", texture));
  EXPECT_EQ(texture.name(), name);

  const std::vector<unsigned char> rgb = {10, 20, 30, 40, 50, 60, 70, 80, 90, 1,  2,  3,
                                          4,  5,  6,  7,  8,  9,  11, 12, 13, 14, 15, 16};
  const std::string path = dir_ / "icon.png";
  ASSERT_TRUE(WritePngFile(path, rgb.data(), 4, 2, 3));
  GlTexture icon;
  ASSERT_TRUE(LoadPngTexture(path, icon));
  EXPECT_EQ(Level0(icon.name(), GL_RGB, rgb.size()), rgb);
}

}  // namespace
}  // namespace tessaline
