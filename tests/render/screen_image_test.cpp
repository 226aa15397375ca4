#include "render/screen_image.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "render/gl_test_context.h"
#include "render/image_file.h"
#include "settings/log_stream.h"

#include "common/temp_folder.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

// A GL context and a fresh directory per test.
class ScreenImageTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(gl_.ok()) << gl_.error(); }
  std::string Path(const std::string& name) const { return dir_ / name; }

  GlTestContext gl_;
  TempFolder dir_;
};

Bytes FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// An RGB colour per pixel, top row first, different in every pixel and
// channel, so flips and red/blue swaps show.
Bytes Colours(int width, int height) {
  // Sized once and written by index: growing it pixel by pixel makes GCC's
  // optimizer report a false buffer overflow.
  Bytes rgb(static_cast<std::size_t>(width) * height * 3);
  std::size_t i = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      rgb[i++] = static_cast<unsigned char>(20 + 30 * x);
      rgb[i++] = static_cast<unsigned char>(15 + 40 * y);
      rgb[i++] = static_cast<unsigned char>(250 - 9 * x - y);
    }
  }
  return rgb;
}

// Paints the colours into the framebuffer, picture row 0 at the top of the
// width x height region at the origin (GL's row height - 1).
void PaintPixels(const Bytes& rgb, int width, int height) {
  glEnable(GL_SCISSOR_TEST);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const unsigned char* c = &rgb[(y * width + x) * 3];
      glScissor(x, height - 1 - y, 1, 1);
      glClearColor(c[0] / 255.0f, c[1] / 255.0f, c[2] / 255.0f, 1.0f);
      glClear(GL_COLOR_BUFFER_BIT);
    }
  }
  glDisable(GL_SCISSOR_TEST);
  glFinish();
}

bool LogHasLine(const std::string& line) {
  const std::vector<std::string> history = LogHistory();
  return std::any_of(history.begin(), history.end(), [&](const std::string& entry) {
    return entry.find(line) != std::string::npos;
  });
}

TEST_F(ScreenImageTest, PngCaptureIsTopRowFirstRgba) {
  const Bytes rgb = Colours(7, 5);
  PaintPixels(rgb, 7, 5);
  const std::string path = Path("capture.PNG");
  ASSERT_TRUE(SaveScreenImage(path, 7, 5));
  EXPECT_TRUE(LogHasLine("saved the screen image to " + path));
  const std::optional<PixelImage> image = ReadPngFile(path);
  ASSERT_TRUE(image.has_value());
  ASSERT_EQ(image->channels, 4);
  ASSERT_EQ(image->width, 7);
  ASSERT_EQ(image->height, 5);
  for (int i = 0; i < 7 * 5; ++i) {
    const Bytes expected = {rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2], 255};
    EXPECT_EQ(Bytes(&image->pixels[i * 4], &image->pixels[i * 4 + 4]), expected)
        << "pixel " << i % 7 << ", " << i / 7;
  }
}

TEST_F(ScreenImageTest, BmpCaptureOfTwoByTwoViewIsBottomRowFirstBgr) {
  const Bytes rgb = {200, 10,  20, 30, 40, 250,  // top row: reddish, bluish
                     5,   180, 90, 60, 70, 80};  // bottom row
  PaintPixels(rgb, 2, 2);
  const std::string path = Path("capture.Bmp");
  ASSERT_TRUE(SaveScreenImage(path, 2, 2));
  const Bytes file = FileBytes(path);
  ASSERT_EQ(file.size(), 54u + 16u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(file[28], 32);  // bits per pixel
  const Bytes pixel_block(file.begin() + 54, file.end());
  const Bytes expected = {90, 180, 5,   0, 80,  70, 60, 0,   // bottom row, blue first
                          20, 10,  200, 0, 250, 40, 30, 0};  // top row
  EXPECT_EQ(pixel_block, expected);
}

TEST_F(ScreenImageTest, OtherExtensionsWriteAndLogNothing) {
  PaintPixels(Colours(2, 2), 2, 2);
  for (const std::string name : {"capture.jpg", "capture", "capture.png.txt", "capturepng"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(SaveScreenImage(Path(name), 2, 2));
    EXPECT_FALSE(fs::exists(Path(name)));
    EXPECT_FALSE(LogHasLine(Path(name)));
  }
}

TEST_F(ScreenImageTest, CaptureRestoresPackState) {
  PaintPixels(Colours(3, 3), 3, 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 8);
  glPixelStorei(GL_PACK_ROW_LENGTH, 17);
  ASSERT_TRUE(SaveScreenImage(Path("state.png"), 3, 3));
  GLint alignment = 0, row_length = 0;
  glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
  glGetIntegerv(GL_PACK_ROW_LENGTH, &row_length);
  EXPECT_EQ(alignment, 8);
  EXPECT_EQ(row_length, 17);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
}

// Owns one GL texture for a test.
class Texture {
 public:
  Texture(const Bytes& texels, int width, int height, GLenum format) {
    glGenTextures(1, &name_);
    glBindTexture(GL_TEXTURE_2D, name_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, format == GL_RGB ? GL_RGB8 : GL_RGBA8, width, height, 0, format,
                 GL_UNSIGNED_BYTE, texels.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
  }
  ~Texture() { glDeleteTextures(1, &name_); }
  GLuint name() const { return name_; }

 private:
  GLuint name_ = 0;
};

// A 7 x 5 RGB texture has rows of 21 bytes: without tight packing the read
// would shift every row and overrun the buffer.
TEST_F(ScreenImageTest, TextureOfOddWidthSavesUnflippedRgb) {
  const Bytes rgb = Colours(7, 5);
  Texture texture(rgb, 7, 5, GL_RGB);
  ASSERT_TRUE(SaveTextureImage(texture.name(), 7, 5, 3, Path("texture.png")));
  const std::optional<PixelImage> image = ReadPngFile(Path("texture.png"));
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->width, 7);
  EXPECT_EQ(image->height, 5);
  EXPECT_EQ(image->channels, 3);
  EXPECT_EQ(image->pixels, rgb);  // texture row 0 is the file's top row
}

TEST_F(ScreenImageTest, RgbaTextureSavesWithoutAlphaInAnyOpenCvFormat) {
  const int width = 5, height = 3;
  const Bytes rgb = Colours(width, height);
  Bytes rgba;
  for (std::size_t i = 0; i < rgb.size(); i += 3) {
    rgba.insert(rgba.end(), {rgb[i], rgb[i + 1], rgb[i + 2], static_cast<unsigned char>(i)});
  }
  Texture texture(rgba, width, height, GL_RGBA);
  ASSERT_TRUE(SaveTextureImage(texture.name(), width, height, 4, Path("texture.BMP")));
  const cv::Mat image = cv::imread(Path("texture.BMP"), cv::IMREAD_UNCHANGED);
  ASSERT_EQ(image.type(), CV_8UC3);
  ASSERT_EQ(image.cols, width);
  ASSERT_EQ(image.rows, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const unsigned char* c = &rgb[(y * width + x) * 3];
      EXPECT_EQ(image.at<cv::Vec3b>(y, x), cv::Vec3b(c[2], c[1], c[0])) << x << ", " << y;
    }
  }
}

TEST_F(ScreenImageTest, TextureSaverRefusesWrongSizeAndKeepsBinding) {
  Texture texture(Colours(7, 5), 7, 5, GL_RGB);
  Texture bound(Colours(1, 1), 1, 1, GL_RGB);
  glBindTexture(GL_TEXTURE_2D, bound.name());
  EXPECT_FALSE(SaveTextureImage(texture.name(), 8, 5, 3, Path("wrong.png")));
  EXPECT_TRUE(LogHasLine("texture image error"));
  EXPECT_FALSE(SaveTextureImage(texture.name() + 1000, 7, 5, 3, Path("none.png")));
  EXPECT_FALSE(fs::exists(Path("wrong.png")));
  EXPECT_FALSE(fs::exists(Path("none.png")));
  ASSERT_TRUE(SaveTextureImage(texture.name(), 7, 5, 3, Path("right.png")));
  GLint binding = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &binding);
  EXPECT_EQ(static_cast<GLuint>(binding), bound.name());
  glBindTexture(GL_TEXTURE_2D, 0);
}

}  // namespace
}  // namespace tessaline
