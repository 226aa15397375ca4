#pragma once
// Every OpenGL texture the program makes: the kinds with their filters,
// wraps and formats, the engine's texture set (target-picture ring, mosaic
// slots, tile atlas, cell table) and the routines that fill them. The
// owning handle, GlTexture, is in gl_object.h.
//
// All textures are GL_TEXTURE_2D with unsigned bytes per sample. Pictures
// come as cv::Mat, 8 bits per channel, top row first, blue first for colour;
// uploads and read-backs set the pixel alignment to 1 and the row length
// from the Mat's step, so any width and any Mat (continuous or a region)
// works, and restore the caller's pixel-store state.
//
// Creation and upload routines leave texture 0 bound to GL_TEXTURE_2D of the
// active unit. Everything here needs a current GL context with GLEW
// initialised, on the GUI thread.

#include <GL/glew.h>

#include <array>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "library/sub_image.h"
#include "render/gl_object.h"

namespace tessaline {

// What a texture is for; fixes its filters, wrap mode and mipmapping.
enum class TextureKind {
  kTileAtlas,         // nearest/nearest, default wrap, no mipmaps
  kCellTable,         // nearest/nearest, clamp to edge, no mipmaps
  kTargetImage,       // linear/linear, GL_CLAMP, mipmaps by SetPictureMipmaps
  kOffscreenColour,   // linear-mipmap-linear/nearest, clamp to edge, mipmaps
  kSingleTile,        // linear/linear, GL_CLAMP, mipmaps by SetPictureMipmaps
  kInterfacePicture,  // linear-mipmap-linear/linear, GL_CLAMP, levels 0 ... 6
};

// Sets the kind's parameters on the texture bound to GL_TEXTURE_2D.
void SetTextureParameters(TextureKind kind);

// Trilinear sampling of a picture texture (target image or single tile), the
// "Mipmapping" toggle: on, the mipmaps are made from level 0 now and the
// min filter becomes GL_LINEAR_MIPMAP_LINEAR; off, the min filter goes back
// to GL_LINEAR (levels above 0 are then unused). Whoever changes level 0
// later calls it again. Nothing for texture 0; binds 0 afterwards.
void SetPictureMipmaps(GLuint texture, bool on);

// Internal and pixel format for a channel count. `blue_first` is true for
// OpenCV images (blue, green, red); false where bytes are red first.
//   1: GL_LUMINANCE / GL_LUMINANCE
//   3: GL_RGB / GL_BGR (blue first) or GL_RGB
//   other: GL_RGBA / GL_BGRA (blue first) or GL_RGBA
struct TextureFormat {
  GLint internal_format;
  GLenum pixel_format;
};
TextureFormat FormatForChannels(int channels, bool blue_first);

// How the tiles lie in the atlas. Tile t occupies atlas row t div
// tiles_per_row, texels (t mod tiles_per_row) * tile_w * tile_h onward; the
// texel at offset sy * tile_w + sx within that block is tile pixel (sx, sy).
// One tile per row unless the library has more tiles than the GL maximum
// texture size allows rows.
struct AtlasLayout {
  int tile_w = 0;
  int tile_h = 0;
  int tiles = 0;  // SubN
  int tiles_per_row = 1;
  int rows = 0;
  int width() const { return tile_w * tile_h * tiles_per_row; }
};

// The layout for `tiles` tiles of tile_w x tile_h under a texture size limit
// of max_size texels per side: tiles_per_row = ceil(tiles / max_size).
// False when even that does not fit (the atlas would be too wide).
bool PlanAtlas(int tile_w, int tile_h, int tiles, int max_size, AtlasLayout& layout);

// The engine's textures. The ring and slot indices always form a
// permutation of {0, 1, 2} and {0, 1}.
struct MosaicTextureSet {
  // Colour textures of the mosaic offscreen targets (owned by the targets):
  // the two mosaic slots and the eight neighbour mosaics. 0 = no mosaic.
  std::array<GLuint, 2> mosaic_slots{};
  std::array<GLuint, 8> around_textures{};
  int current_mosaic = 0;
  int previous_mosaic = 1;

  // Target-picture ring: current, previous (kept for cross-fading) and the
  // spare that the next picture goes into.
  std::array<GlTexture, 3> image_slots;
  int current_image = 0;
  int previous_image = 1;
  int spare_image = 2;

  GlTexture atlas;  // SubTex
  AtlasLayout atlas_layout;
  // The same tiles averaged 2 x 2, for passes at half the working size;
  // empty when a tile side is odd or they do not fit.
  GlTexture half_atlas;
  AtlasLayout half_layout;
  GlTexture table;  // TblTex, table_w x table_h = DivX x DivY texels
  int table_w = 0;
  int table_h = 0;

  // The spare slot becomes current, current becomes previous, previous
  // becomes the spare.
  void RotateImageRing();
  // Current and previous mosaic change places.
  void SwapMosaicSlots();

  GLuint CurrentImageTexture() const { return image_slots[current_image].name(); }
  GLuint PreviousImageTexture() const { return image_slots[previous_image].name(); }
  GLuint CurrentMosaicTexture() const { return mosaic_slots[current_mosaic]; }
  GLuint PreviousMosaicTexture() const { return mosaic_slots[previous_mosaic]; }
};

// Uploads `image` into `texture` as a target-image texture: a new texture
// (generated when `texture` is empty, or when its level 0 has another size
// or channel count) is defined with glTexImage2D, an existing one of the
// same size is overwritten with glTexSubImage2D; then SetPictureMipmaps
// with `mipmapped`. False with one log line for an empty image or one that
// is not 8 bits per channel.
bool UploadImageTexture(const cv::Mat& image, GlTexture& texture, bool mipmapped = false);

// Builds the atlas from the tile library's composite (CV_8UC3, tile_w *
// tile_h pixels wide, one tile per row), logs "iplThumb : (w x h x c)" with
// the composite's size, and replaces set.atlas. max_size 0 asks GL for
// GL_MAX_TEXTURE_SIZE. A library too large for any layout, or a composite of
// the wrong shape, gives false with one log line and leaves no atlas.
// The half-size atlas (set.half_atlas) is made beside it.
bool CreateAtlasTexture(const cv::Mat& composite, int tile_w, int tile_h, MosaicTextureSet& set,
                        int max_size = 0);

// The composite's tiles (tile_w * tile_h pixels a row, CV_8UC3) averaged
// 2 x 2, rounded: one tile of tile_w / 2 x tile_h / 2 a row, as the first
// mipmap level of a mosaic of the whole tiles holds them. Empty when a tile
// side is odd.
cv::Mat HalfTileComposite(const cv::Mat& composite, int tile_w, int tile_h);

// Makes (or keeps) the table texture and defines it as div_x x div_y RGBA
// texels without data.
void CreateCellTable(int div_x, int div_y, MosaicTextureSet& set);

// Re-defines the table from the staging bytes (div_x * div_y * 4, see
// mosaic/mosaic_gpu.h). Nothing happens while there is no table; a buffer
// of the wrong size is refused with one log line.
void UploadCellTable(const std::vector<unsigned char>& bytes, MosaicTextureSet& set);

// Defines `texture` (already generated) as the cells' mean colours: one RGB
// texel per pixel of `means` (CV_8UC3, blue first), read like the cell
// table (nearest, clamped). False for an empty or non-CV_8UC3 picture.
bool UploadCellMeansTexture(const cv::Mat& means, const GlTexture& texture);

// A single-tile texture of the picture assigned to cell (column, row):
// images_path + library[t].name, where its touched-tile file is preferred
// as long as it decodes; mipmapped as SetPictureMipmaps says.
// Logs the path read. An empty handle for a cell outside the grid, a tile
// index outside the library or a picture that does not decode.
GlTexture LoadTileTexture(int column, int row, int div_x, int div_y,
                          const std::vector<int>& assignment,
                          const std::vector<SubImageInfo>& library, const std::string& images_path,
                          bool mipmapped = false);

// Reads a PNG into an interface-picture texture (mipmapped). On failure
// false, and `texture` is left as it was.
bool LoadPngTexture(const std::string& path, GlTexture& texture);

// Level 0 of `texture` (width x height) as CV_8UC3 blue-first, texture row 0
// first. An empty Mat when the texture is 0 or has another size.
cv::Mat ReadTextureBgr(GLuint texture, int width, int height);

// The current mosaic as width * height * 3 bytes, blue first, into
// `buffer`. Without a mosaic logs "no mosaic images" and gives false.
bool ReadMosaicPixels(const MosaicTextureSet& set, int width, int height,
                      std::vector<unsigned char>& buffer);

// The cell under working-image pixel (x, y): column = x div sub_w, row = y
// div sub_h; (-1, -1) when either lies outside the grid.
struct CellPosition {
  int column = -1;
  int row = -1;
};
CellPosition CellAt(int x, int y, int sub_w, int sub_h, int div_x, int div_y);

}  // namespace tessaline
