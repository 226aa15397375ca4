#include "render/texture.h"

#include <GL/glu.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <optional>
#include <ostream>
#include <utility>

#include "library/decode_pool.h"
#include "library/tile_library.h"
#include "render/image_file.h"
#include "settings/log_stream.h"

namespace tessaline {
namespace {

// Sets tight rows (alignment 1) of `row_length` pixels for uploads (unpack)
// or read-backs (pack), and gives the caller its pixel-store state back when
// it goes.
class PixelStore {
 public:
  PixelStore(bool pack, GLint row_length)
      : names_(pack ? std::array<GLenum, 4>{GL_PACK_ALIGNMENT, GL_PACK_ROW_LENGTH,
                                            GL_PACK_SKIP_ROWS, GL_PACK_SKIP_PIXELS}
                    : std::array<GLenum, 4>{GL_UNPACK_ALIGNMENT, GL_UNPACK_ROW_LENGTH,
                                            GL_UNPACK_SKIP_ROWS, GL_UNPACK_SKIP_PIXELS}) {
    for (std::size_t i = 0; i < names_.size(); ++i) glGetIntegerv(names_[i], &saved_[i]);
    const std::array<GLint, 4> tight = {1, row_length, 0, 0};
    for (std::size_t i = 0; i < names_.size(); ++i) glPixelStorei(names_[i], tight[i]);
  }
  ~PixelStore() {
    for (std::size_t i = 0; i < names_.size(); ++i) glPixelStorei(names_[i], saved_[i]);
  }
  PixelStore(const PixelStore&) = delete;
  PixelStore& operator=(const PixelStore&) = delete;

 private:
  std::array<GLenum, 4> names_;
  std::array<GLint, 4> saved_{};
};

// Pixels per row of a Mat as GL counts them (a region's rows are longer
// than its width).
GLint RowLength(const cv::Mat& image) {
  return static_cast<GLint>(image.step[0] / image.elemSize());
}

bool Uploadable(const cv::Mat& image) {
  const int channels = image.channels();
  return !image.empty() && image.dims == 2 && image.depth() == CV_8U && channels != 2 &&
         channels <= 4;
}

void LevelSize(GLint& width, GLint& height) {
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
}

// Defines level 0 of `texture` (generated when empty) from `image` with the
// kind's parameters; binds 0 afterwards.
void DefineTexture(const cv::Mat& image, TextureKind kind, bool blue_first, GlTexture& texture) {
  if (!texture) texture = GlTexture::Generate();
  const TextureFormat format = FormatForChannels(image.channels(), blue_first);
  PixelStore store(false, RowLength(image));
  glBindTexture(GL_TEXTURE_2D, texture.name());
  SetTextureParameters(kind);
  glTexImage2D(GL_TEXTURE_2D, 0, format.internal_format, image.cols, image.rows, 0,
               format.pixel_format, GL_UNSIGNED_BYTE, image.data);
  glBindTexture(GL_TEXTURE_2D, 0);
}

// The composite's tiles laid out as `layout` says; unused blocks of the
// last row stay black.
cv::Mat PackAtlas(const cv::Mat& composite, const AtlasLayout& layout) {
  if (layout.tiles_per_row == 1) return composite;
  cv::Mat packed = cv::Mat::zeros(layout.rows, layout.width(), CV_8UC3);
  const std::size_t tile_bytes = static_cast<std::size_t>(layout.tile_w) * layout.tile_h * 3;
  for (int t = 0; t < layout.tiles; ++t) {
    unsigned char* block = packed.ptr(t / layout.tiles_per_row) +
                           static_cast<std::size_t>(t % layout.tiles_per_row) * tile_bytes;
    std::memcpy(block, composite.ptr(t), tile_bytes);
  }
  return packed;
}

// A tile picture as the GL upload wants it: 8 bits per channel, 1, 3 or 4
// channels. An empty Mat when it cannot be brought there.
cv::Mat EightBitPicture(const cv::Mat& picture) {
  if (picture.empty() || picture.channels() == 2 || picture.channels() > 4) return cv::Mat();
  if (picture.depth() == CV_8U) return picture;
  cv::Mat converted;
  const double scale = picture.depth() == CV_16U ? 1.0 / 257.0 : 1.0;
  picture.convertTo(converted, CV_8U, scale);
  return converted;
}

cv::Mat ReadPicture(const std::string& path) {
  try {
    return EightBitPicture(DecodeTilePicture(path));
  } catch (const cv::Exception& error) {
    support_log() << "cannot read a tile picture : " << path << " : " << error.what() << std::endl;
    return cv::Mat();
  }
}

}  // namespace

void SetTextureParameters(TextureKind kind) {
  GLint min_filter = GL_LINEAR;
  GLint mag_filter = GL_LINEAR;
  GLint wrap = GL_CLAMP;
  switch (kind) {
    case TextureKind::kTileAtlas:
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
      return;  // wrap left at the default: the shader never leaves [0, 1]
    case TextureKind::kCellTable:
      min_filter = mag_filter = GL_NEAREST;
      wrap = GL_CLAMP_TO_EDGE;
      break;
    case TextureKind::kOffscreenColour:
      min_filter = GL_LINEAR_MIPMAP_LINEAR;
      mag_filter = GL_NEAREST;
      wrap = GL_CLAMP_TO_EDGE;
      glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
      break;
    case TextureKind::kInterfacePicture:
      min_filter = GL_LINEAR_MIPMAP_LINEAR;
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 6);
      break;
    case TextureKind::kTargetImage:
    case TextureKind::kSingleTile:
      break;
  }
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min_filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag_filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
}

void SetPictureMipmaps(GLuint texture, bool on) {
  if (texture == 0) return;
  glBindTexture(GL_TEXTURE_2D, texture);
  if (on) glGenerateMipmapEXT(GL_TEXTURE_2D);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, on ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
  glBindTexture(GL_TEXTURE_2D, 0);
}

TextureFormat FormatForChannels(int channels, bool blue_first) {
  switch (channels) {
    case 1:
      return {GL_LUMINANCE, GL_LUMINANCE};
    case 2:  // grey + alpha (PNG): read as RGBA it would overrun the pixels
      return {GL_LUMINANCE_ALPHA, GL_LUMINANCE_ALPHA};
    case 3:
      return {GL_RGB, static_cast<GLenum>(blue_first ? GL_BGR : GL_RGB)};
    default:
      return {GL_RGBA, static_cast<GLenum>(blue_first ? GL_BGRA : GL_RGBA)};
  }
}

bool PlanAtlas(int tile_w, int tile_h, int tiles, int max_size, AtlasLayout& layout) {
  if (tile_w < 1 || tile_h < 1 || tiles < 1 || max_size < 1) return false;
  const int per_row = (tiles - 1) / max_size + 1;
  const long long width = static_cast<long long>(tile_w) * tile_h * per_row;
  if (width > max_size) return false;
  layout = {tile_w, tile_h, tiles, per_row, (tiles - 1) / per_row + 1};
  return true;
}

void MosaicTextureSet::RotateImageRing() {
  const int old_current = current_image;
  current_image = spare_image;
  spare_image = previous_image;
  previous_image = old_current;
}

void MosaicTextureSet::SwapMosaicSlots() { std::swap(current_mosaic, previous_mosaic); }

bool UploadImageTexture(const cv::Mat& image, GlTexture& texture, bool mipmapped) {
  if (!Uploadable(image)) {
    engine_log() << "cannot upload an image of " << image.cols << " x " << image.rows << " x "
                 << image.channels() << " (8-bit, 1, 3 or 4 channels needed)" << std::endl;
    return false;
  }
  GLint width = 0;
  GLint height = 0;
  if (texture) {
    glBindTexture(GL_TEXTURE_2D, texture.name());
    LevelSize(width, height);
  }
  if (width != image.cols || height != image.rows) {
    DefineTexture(image, TextureKind::kTargetImage, true, texture);
  } else {
    // Same size: overwrite in place, nothing is allocated.
    const TextureFormat format = FormatForChannels(image.channels(), true);
    PixelStore store(false, RowLength(image));
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, image.cols, image.rows, format.pixel_format,
                    GL_UNSIGNED_BYTE, image.data);
    glBindTexture(GL_TEXTURE_2D, 0);
  }
  SetPictureMipmaps(texture.name(), mipmapped);
  return true;
}

cv::Mat HalfTileComposite(const cv::Mat& composite, int tile_w, int tile_h) {
  if (composite.type() != CV_8UC3 || tile_w < 2 || tile_h < 2 || tile_w % 2 || tile_h % 2 ||
      composite.cols != tile_w * tile_h)
    return cv::Mat();
  const int half_w = tile_w / 2;
  cv::Mat half(composite.rows, half_w * (tile_h / 2), CV_8UC3);
  for (int t = 0; t < composite.rows; ++t) {
    const cv::Vec3b* tile = composite.ptr<cv::Vec3b>(t);
    cv::Vec3b* out = half.ptr<cv::Vec3b>(t);
    for (int y = 0; y < tile_h; y += 2) {
      for (int x = 0; x < tile_w; x += 2, ++out) {
        const cv::Vec3b* top = tile + y * tile_w + x;
        const cv::Vec3b* bottom = top + tile_w;
        for (int c = 0; c < 3; ++c)
          (*out)[c] =
              static_cast<uchar>((top[0][c] + top[1][c] + bottom[0][c] + bottom[1][c] + 2) / 4);
      }
    }
  }
  return half;
}

namespace {

// set.half_atlas from the composite, when its tiles halve and fit.
void CreateHalfAtlas(const cv::Mat& composite, int tile_w, int tile_h, MosaicTextureSet& set,
                     int max_size) {
  const cv::Mat half = HalfTileComposite(composite, tile_w, tile_h);
  AtlasLayout layout;
  if (half.empty() || !PlanAtlas(tile_w / 2, tile_h / 2, half.rows, max_size, layout)) return;
  DefineTexture(PackAtlas(half, layout), TextureKind::kTileAtlas, true, set.half_atlas);
  set.half_layout = layout;
}

}  // namespace

bool CreateAtlasTexture(const cv::Mat& composite, int tile_w, int tile_h, MosaicTextureSet& set,
                        int max_size) {
  set.atlas.Reset();
  set.atlas_layout = AtlasLayout{};
  set.half_atlas.Reset();
  set.half_layout = AtlasLayout{};
  if (composite.type() != CV_8UC3 || tile_w < 1 || tile_h < 1 ||
      composite.cols != tile_w * tile_h) {
    engine_log() << "tile atlas : the thumbnails (" << composite.cols << " x " << composite.rows
                 << ") are not " << tile_w << " x " << tile_h << " tiles" << std::endl;
    return false;
  }
  engine_log() << "iplThumb : (" << composite.cols << " x " << composite.rows << " x "
               << composite.channels() << ")" << std::endl;
  if (max_size <= 0) glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_size);
  AtlasLayout layout;
  if (!PlanAtlas(tile_w, tile_h, composite.rows, max_size, layout)) {
    engine_log() << "tile atlas : " << composite.rows << " tiles of " << tile_w << " x " << tile_h
                 << " do not fit in a texture of " << max_size << " x " << max_size << std::endl;
    return false;
  }
  if (layout.tiles_per_row > 1) {
    engine_log() << "tile atlas : " << layout.tiles_per_row << " tiles per row, " << layout.rows
                 << " rows" << std::endl;
  }
  DefineTexture(PackAtlas(composite, layout), TextureKind::kTileAtlas, true, set.atlas);
  set.atlas_layout = layout;
  CreateHalfAtlas(composite, tile_w, tile_h, set, max_size);
  return true;
}

void CreateCellTable(int div_x, int div_y, MosaicTextureSet& set) {
  if (!set.table) set.table = GlTexture::Generate();
  set.table_w = std::max(div_x, 0);
  set.table_h = std::max(div_y, 0);
  glBindTexture(GL_TEXTURE_2D, set.table.name());
  SetTextureParameters(TextureKind::kCellTable);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, set.table_w, set.table_h, 0, GL_RGBA, GL_UNSIGNED_BYTE,
               nullptr);
  glBindTexture(GL_TEXTURE_2D, 0);
}

void UploadCellTable(const std::vector<unsigned char>& bytes, MosaicTextureSet& set) {
  if (!set.table) return;
  const std::size_t expected = static_cast<std::size_t>(set.table_w) * set.table_h * 4;
  if (bytes.size() != expected) {
    engine_log() << "cell table : " << bytes.size() << " bytes for " << set.table_w << " x "
                 << set.table_h << " cells" << std::endl;
    return;
  }
  PixelStore store(false, 0);
  glBindTexture(GL_TEXTURE_2D, set.table.name());
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, set.table_w, set.table_h, 0, GL_RGBA, GL_UNSIGNED_BYTE,
               bytes.empty() ? nullptr : bytes.data());
  glBindTexture(GL_TEXTURE_2D, 0);
}

bool UploadCellMeansTexture(const cv::Mat& means, const GlTexture& texture) {
  if (means.empty() || means.type() != CV_8UC3 || !texture) return false;
  PixelStore store(false, RowLength(means));
  glBindTexture(GL_TEXTURE_2D, texture.name());
  SetTextureParameters(TextureKind::kCellTable);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, means.cols, means.rows, 0, GL_BGR, GL_UNSIGNED_BYTE,
               means.data);
  glBindTexture(GL_TEXTURE_2D, 0);
  return true;
}

GlTexture LoadTileTexture(int column, int row, int div_x, int div_y,
                          const std::vector<int>& assignment,
                          const std::vector<SubImageInfo>& library, const std::string& images_path,
                          bool mipmapped) {
  if (column < 0 || row < 0 || column >= div_x || row >= div_y) return GlTexture();
  const std::size_t cell = static_cast<std::size_t>(column) + static_cast<std::size_t>(row) * div_x;
  if (cell >= assignment.size()) return GlTexture();
  const int tile = assignment[cell];
  if (tile < 0 || static_cast<std::size_t>(tile) >= library.size()) return GlTexture();
  const std::string path = images_path + library[tile].name;
  support_log() << path << std::endl;
  // The touched-tile file is an ordinary PNG of the photo (the tile library
  // writes it with its true colours), so both it and the picture decode
  // blue first like every OpenCV image.
  // A touched-tile file cut short or damaged shows the photo instead; the
  // next load makes the file again.
  cv::Mat picture = ReadTouchedTile(TouchedTilePath(path), support_log());
  if (picture.empty()) picture = ReadPicture(path);
  if (picture.empty()) {
    support_log() << "cannot read a tile picture : " << path << std::endl;
    return GlTexture();
  }
  GlTexture texture;
  DefineTexture(picture, TextureKind::kSingleTile, true, texture);
  SetPictureMipmaps(texture.name(), mipmapped);
  return texture;
}

bool LoadPngTexture(const std::string& path, GlTexture& texture) {
  const std::optional<PixelImage> image = ReadPngFile(path);
  if (!image) return false;
  if (!texture) texture = GlTexture::Generate();
  const TextureFormat format = FormatForChannels(image->channels, false);
  PixelStore store(false, 0);
  glBindTexture(GL_TEXTURE_2D, texture.name());
  SetTextureParameters(TextureKind::kInterfacePicture);
  gluBuild2DMipmaps(GL_TEXTURE_2D, format.internal_format, image->width, image->height,
                    format.pixel_format, GL_UNSIGNED_BYTE, image->pixels.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  return true;
}

cv::Mat ReadTextureBgr(GLuint texture, int width, int height) {
  if (texture == 0 || width < 1 || height < 1) return cv::Mat();
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  glBindTexture(GL_TEXTURE_2D, texture);
  GLint level_width = 0;
  GLint level_height = 0;
  LevelSize(level_width, level_height);
  cv::Mat image;
  if (level_width == width && level_height == height) {
    image.create(height, width, CV_8UC3);
    PixelStore store(true, 0);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_BGR, GL_UNSIGNED_BYTE, image.data);
  }
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
  return image;
}

bool ReadMosaicPixels(const MosaicTextureSet& set, int width, int height,
                      std::vector<unsigned char>& buffer) {
  const cv::Mat image = ReadTextureBgr(set.CurrentMosaicTexture(), width, height);
  if (image.empty()) {
    engine_log() << "no mosaic images" << std::endl;
    return false;
  }
  buffer.assign(image.datastart, image.dataend);
  return true;
}

CellPosition CellAt(int x, int y, int sub_w, int sub_h, int div_x, int div_y) {
  if (x < 0 || y < 0 || sub_w < 1 || sub_h < 1) return {};
  const int column = x / sub_w;
  const int row = y / sub_h;
  if (column >= div_x || row >= div_y) return {};
  return {column, row};
}

}  // namespace tessaline
