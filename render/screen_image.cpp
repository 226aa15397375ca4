#include "render/screen_image.h"

#include <GL/glew.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <opencv2/core.hpp>
#include <ostream>
#include <vector>

#include "picture/image_write.h"
#include "render/image_file.h"
#include "settings/log_stream.h"

namespace tessaline {
namespace {

// Sets the pixel-pack state so that read-backs come as tightly packed rows
// whatever the width, and restores the caller's state when it goes.
class TightPacking {
 public:
  TightPacking() {
    for (std::size_t i = 0; i < kNames.size(); ++i) glGetIntegerv(kNames[i], &saved_[i]);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
  }
  ~TightPacking() {
    for (std::size_t i = 0; i < kNames.size(); ++i) glPixelStorei(kNames[i], saved_[i]);
  }
  TightPacking(const TightPacking&) = delete;
  TightPacking& operator=(const TightPacking&) = delete;

 private:
  static constexpr std::array<GLenum, 4> kNames = {GL_PACK_ALIGNMENT, GL_PACK_ROW_LENGTH,
                                                   GL_PACK_SKIP_ROWS, GL_PACK_SKIP_PIXELS};
  std::array<GLint, 4> saved_{};
};

// Swaps row k with row height - 1 - k: GL's bottom-up rows become top row
// first.
void FlipRows(std::vector<unsigned char>& pixels, std::size_t stride, int height) {
  for (int k = 0; k < height / 2; ++k) {
    auto top = pixels.begin() + k * stride;
    std::swap_ranges(top, top + stride, pixels.begin() + (height - 1 - k) * stride);
  }
}

// Level 0 of the texture bound to GL_TEXTURE_2D, or an empty vector when its
// size is not width x height (reading it would overrun the buffer).
std::vector<unsigned char> ReadBoundTexture(int width, int height, int channels) {
  GLint level_width = 0;
  GLint level_height = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &level_width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &level_height);
  if (level_width != width || level_height != height) return {};
  std::vector<unsigned char> texels(static_cast<std::size_t>(width) * height * channels);
  TightPacking packing;
  glGetTexImage(GL_TEXTURE_2D, 0, channels == 3 ? GL_RGB : GL_RGBA, GL_UNSIGNED_BYTE,
                texels.data());
  return texels;
}

// Red-green-blue(-alpha) texels into an OpenCV blue-green-red image, rows
// unchanged.
cv::Mat TexelsToMat(const std::vector<unsigned char>& texels, int width, int height, int channels) {
  cv::Mat image(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y) {
    const unsigned char* in = texels.data() + static_cast<std::size_t>(y) * width * channels;
    unsigned char* out = image.ptr<unsigned char>(y);
    for (int x = 0; x < width; ++x, in += channels, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
  }
  return image;
}

bool WriteMat(const std::string& path, const cv::Mat& image) {
  const ImageWriteResult result = WriteImageFile(path, image);
  if (result) return true;
  if (result.error == ImageWriteError::kEncodeFailed)
    support_log() << "texture image error : " << path << " : " << result.message << std::endl;
  else
    support_log() << "texture image error : cannot write " << path << std::endl;
  return false;
}

}  // namespace

bool SaveScreenImage(const std::string& path, int width, int height) {
  const std::string extension = LowerCaseExtension(path);
  if (extension != "png" && extension != "bmp") return false;
  if (width <= 0 || height <= 0) return false;
  const std::size_t stride = static_cast<std::size_t>(width) * 4;
  std::vector<unsigned char> pixels(stride * height);
  {
    TightPacking packing;
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  }
  FlipRows(pixels, stride, height);
  const bool written = extension == "bmp" ? WriteBmpFile(path, pixels.data(), width, height, 4)
                                          : WritePngFile(path, pixels.data(), width, height, 4);
  if (written) support_log() << "saved the screen image to " << path << std::endl;
  return written;
}

bool SaveTextureImage(unsigned int texture, int width, int height, int channels,
                      const std::string& path) {
  if (width <= 0 || height <= 0 || glIsTexture(texture) != GL_TRUE) {
    support_log() << "texture image error : no " << width << " x " << height << " texture "
                  << texture << " for " << path << std::endl;
    return false;
  }
  const int read_channels = channels == 3 ? 3 : 4;
  GLint previous = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
  glBindTexture(GL_TEXTURE_2D, texture);
  const std::vector<unsigned char> texels = ReadBoundTexture(width, height, read_channels);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
  if (texels.empty()) {
    support_log() << "texture image error : texture " << texture << " is not " << width << " x "
                  << height << " for " << path << std::endl;
    return false;
  }
  return WriteMat(path, TexelsToMat(texels, width, height, read_channels));
}

}  // namespace tessaline
