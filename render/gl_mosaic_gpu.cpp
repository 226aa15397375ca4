#include "render/gl_mosaic_gpu.h"

#include <algorithm>
#include <ostream>

#include "settings/log_stream.h"

namespace tessaline {

void GlMosaicGpu::CreateCellTable(int div_x, int div_y) {
  tessaline::CreateCellTable(div_x, div_y, textures_);
  means_match_table_ = false;
}

void GlMosaicGpu::CreateOffscreenTargets(int image_w, int image_h, int matching_w, int matching_h) {
  image_w_ = image_w;
  image_h_ = image_h;
  for (int i = 0; i < kMosaicTargetCount; ++i) {
    OffscreenTarget& target = targets_[i];
    const GLuint before = target.texture.name();
    // The neighbours are seen at most about a window's size, while the zoom
    // grows them out of their cells: half the working size each way holds
    // that, in a quarter of the drawing.
    if (i < kFirstAroundMosaic)
      CreateOffscreenTarget(target, image_w, image_h, false);
    else
      CreateOffscreenTarget(target, std::max(1, image_w / 2), std::max(1, image_h / 2), false);
    if (target.texture.name() == before) continue;
    // A re-made target holds no mosaic yet.
    if (i < 2) {
      textures_.mosaic_slots[i] = 0;
    } else {
      textures_.around_textures[i - kFirstAroundMosaic] = 0;
    }
  }
  CreateOffscreenTarget(matching_target_, matching_w, matching_h, false);
}

int GlMosaicGpu::MaxTextureSide() const {
  GLint side = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &side);
  return side > 0 ? side : kMaxTextureSide;
}

void GlMosaicGpu::BuildPrograms() { programs_ = BuildMosaicPrograms(); }

unsigned int GlMosaicGpu::UploadWorkingImage(const cv::Mat& image) {
  const int current = textures_.current_image;
  const int previous = textures_.previous_image;
  const int spare = textures_.spare_image;
  textures_.RotateImageRing();
  if (!UploadImageTexture(image, textures_.image_slots[textures_.current_image],
                          picture_mipmaps_)) {
    // The ring stays where it was: the current picture is still current.
    textures_.current_image = current;
    textures_.previous_image = previous;
    textures_.spare_image = spare;
    return 0;
  }
  return textures_.CurrentImageTexture();
}

void GlMosaicGpu::SetPictureMipmaps(bool on) {
  picture_mipmaps_ = on;
  for (const GlTexture& slot : textures_.image_slots) tessaline::SetPictureMipmaps(slot.name(), on);
}

bool GlMosaicGpu::UploadAtlas(const cv::Mat& composite, int tile_w, int tile_h) {
  return CreateAtlasTexture(composite, tile_w, tile_h, textures_, atlas_size_limit_);
}

void GlMosaicGpu::UploadCellTable(const std::vector<unsigned char>& bytes) {
  tessaline::UploadCellTable(bytes, textures_);
}

void GlMosaicGpu::UploadCellMeans(const std::vector<cv::Vec3b>& means) {
  means_match_table_ = false;
  const std::size_t cells = static_cast<std::size_t>(textures_.table_w) * textures_.table_h;
  if (means.empty()) return;  // no correction wanted
  if (means.size() != cells) {
    engine_log() << "cell means : " << means.size() << " colours for " << textures_.table_w << " x "
                 << textures_.table_h << " cells" << std::endl;
    return;
  }
  if (!means_) means_ = GlTexture::Generate();
  const cv::Mat texels(textures_.table_h, textures_.table_w, CV_8UC3,
                       const_cast<cv::Vec3b*>(means.data()));
  means_match_table_ = UploadCellMeansTexture(texels, means_);
}

void GlMosaicGpu::SwapMosaicSlots() { textures_.SwapMosaicSlots(); }

int GlMosaicGpu::PhysicalTarget(int index) const {
  if (index == kCurrentMosaic) return textures_.current_mosaic;
  if (index == kPreviousMosaic) return textures_.previous_mosaic;
  if (index >= kFirstAroundMosaic && index < kMosaicTargetCount) return index;
  return -1;
}

const OffscreenTarget* GlMosaicGpu::Target(int index) const {
  const int physical = PhysicalTarget(index);
  return physical < 0 ? nullptr : &targets_[physical];
}

bool GlMosaicGpu::CanRender() const {
  const AtlasLayout& layout = textures_.atlas_layout;
  if (!textures_.atlas || !textures_.table) {
    engine_log() << "no tile atlas or cell table for the mosaic" << std::endl;
    return false;
  }
  if (image_w_ / layout.tile_w != textures_.table_w ||
      image_h_ / layout.tile_h != textures_.table_h) {
    // Tiles of another size than the grid's: every cell would be wrong.
    engine_log() << "mosaic : tiles of " << layout.tile_w << " x " << layout.tile_h
                 << " do not make the " << textures_.table_w << " x " << textures_.table_h
                 << " cells of " << image_w_ << " x " << image_h_ << std::endl;
    return false;
  }
  return true;
}

bool GlMosaicGpu::RenderMosaicForView(int index) {
  const OffscreenTarget* target = Target(index);
  const AtlasLayout& half = textures_.half_layout;
  const bool half_serves = target != nullptr && textures_.half_atlas && view_w_ > 0 &&
                           view_h_ > 0 && target->width == image_w_ && target->height == image_h_ &&
                           image_w_ % 2 == 0 && image_h_ % 2 == 0 && 2 * view_w_ <= target->width &&
                           2 * view_h_ <= target->height &&
                           2 * half.tile_w == textures_.atlas_layout.tile_w &&
                           2 * half.tile_h == textures_.atlas_layout.tile_h;
  return RenderLevel(index, half_serves ? 1 : 0);
}

bool GlMosaicGpu::HalfOnly(int index) const {
  const int physical = PhysicalTarget(index);
  return physical >= 0 && half_only_[static_cast<std::size_t>(physical)];
}

bool GlMosaicGpu::RenderLevel(int index, int level) {
  const int physical = PhysicalTarget(index);
  if (physical >= 0) {
    // What the target held before is not this mosaic: after a failed pass
    // it shows, and reads back, nothing rather than an older picture.
    RecordMosaic(index, physical, 0);
  }
  if (physical < 0 || targets_[physical].framebuffer.name() == 0) {
    engine_log() << "no offscreen target for the mosaic" << std::endl;
    return false;
  }
  const OffscreenTarget& target = targets_[physical];
  if (!CanRender()) return false;
  SynthesisInput input;
  input.program = programs_.synthesis.program.name();
  input.atlas = level > 0 ? textures_.half_atlas.name() : textures_.atlas.name();
  input.table = textures_.table.name();
  input.means = means_match_table_ ? means_.name() : 0;
  input.color_weight = color_weight_;
  input.layout = level > 0 ? textures_.half_layout : textures_.atlas_layout;
  input.div_x = textures_.table_w;
  input.div_y = textures_.table_h;
  // The cells lie in the working size, or in half of it for a pass into
  // level 1 from the halved tiles.
  input.image_w = image_w_ >> level;
  input.image_h = image_h_ >> level;
  if (!RenderMosaicOffscreen(target, level, input)) return false;
  half_only_[static_cast<std::size_t>(physical)] = level > 0;
  RecordMosaic(index, physical, target.texture.name());
  return true;
}

void GlMosaicGpu::RecordMosaic(int index, int physical, GLuint texture) {
  if (index < kFirstAroundMosaic) {
    textures_.mosaic_slots[physical] = texture;
  } else {
    textures_.around_textures[index - kFirstAroundMosaic] = texture;
  }
}

unsigned int GlMosaicGpu::MosaicTexture(int index) const {
  if (index == kCurrentMosaic) return textures_.CurrentMosaicTexture();
  if (index == kPreviousMosaic) return textures_.PreviousMosaicTexture();
  if (index >= kFirstAroundMosaic && index < kMosaicTargetCount)
    return textures_.around_textures[index - kFirstAroundMosaic];
  return 0;
}

unsigned int GlMosaicGpu::ImageTexture(int which) const {
  if (which == 0) return textures_.CurrentImageTexture();
  if (which == 1) return textures_.PreviousImageTexture();
  return 0;
}

cv::Mat GlMosaicGpu::ReadMosaic(int index) const {
  const OffscreenTarget* target = Target(index);
  const GLuint texture = MosaicTexture(index);
  cv::Mat image;
  if (target != nullptr && texture != 0 && !HalfOnly(index))
    image = ReadTextureBgr(texture, target->width, target->height);
  if (image.empty()) engine_log() << "no mosaic images" << std::endl;
  return image;
}

}  // namespace tessaline
