#pragma once
// GlMosaicGpu: the engine's GPU side on OpenGL. It owns the engine's
// textures (MosaicTextureSet), the ten mosaic targets (two mosaic slots and
// eight neighbours) and the one at the matching size, and the synthesis and
// resize programs.
//
// The view makes it once its GL context is current and hands it to the
// engine; every call, the destructor included, needs that context current
// (GUI thread).

#include <array>

#include "mosaic/mosaic_gpu.h"
#include "render/offscreen.h"
#include "render/shader.h"
#include "render/texture.h"

namespace tessaline {

class GlMosaicGpu : public MosaicGpu {
 public:
  GlMosaicGpu() = default;
  ~GlMosaicGpu() override = default;
  GlMosaicGpu(const GlMosaicGpu&) = delete;
  GlMosaicGpu& operator=(const GlMosaicGpu&) = delete;

  void CreateCellTable(int div_x, int div_y) override;
  void CreateOffscreenTargets(int image_w, int image_h, int matching_w, int matching_h) override;
  int MaxTextureSide() const override;
  void BuildPrograms() override;
  unsigned int UploadWorkingImage(const cv::Mat& image) override;
  void SetPictureMipmaps(bool on) override;
  bool UploadAtlas(const cv::Mat& composite, int tile_w, int tile_h) override;
  void UploadCellTable(const std::vector<unsigned char>& bytes) override;
  void UploadCellMeans(const std::vector<cv::Vec3b>& means) override;
  void SetColorWeight(int weight) override { color_weight_ = weight; }
  void SwapMosaicSlots() override;
  bool RenderMosaic(int index) override { return RenderLevel(index, 0); }
  void SetViewSize(int w, int h) override {
    view_w_ = w;
    view_h_ = h;
  }
  bool RenderMosaicForView(int index) override;
  bool HalfOnly(int index) const override;
  unsigned int MosaicTexture(int index) const override;
  unsigned int ImageTexture(int which) const override;
  cv::Mat ReadMosaic(int index) const override;

  const MosaicTextureSet& Textures() const { return textures_; }
  const MosaicPrograms& Programs() const { return programs_; }
  // Mosaic target by the interface's index (0 current, 1 previous, 2 ... 9
  // neighbours); nullptr for any other index.
  const OffscreenTarget* Target(int index) const;
  const OffscreenTarget& MatchingTarget() const { return matching_target_; }
  // Test hook: the largest texture side the atlas may use (0 = GL's limit).
  void SetAtlasSizeLimit(int max_size) { atlas_size_limit_ = max_size; }

 private:
  // The physical target behind an interface index, or -1.
  int PhysicalTarget(int index) const;
  // Records `texture` (of physical target `physical`) as the mosaic texture
  // of interface index `index`.
  void RecordMosaic(int index, int physical, GLuint texture);
  bool CanRender() const;
  // The pass into mipmap level 0 (the whole target) or 1 (half of it).
  bool RenderLevel(int index, int level);

  MosaicTextureSet textures_;
  std::array<OffscreenTarget, kMosaicTargetCount> targets_;
  OffscreenTarget matching_target_;
  MosaicPrograms programs_;
  int atlas_size_limit_ = 0;
  // MeanTex: one texel per cell, valid only while it matches the table.
  GlTexture means_;
  bool means_match_table_ = false;
  int color_weight_ = 0;
  bool picture_mipmaps_ = false;
  int view_w_ = 0;
  int view_h_ = 0;
  // Per physical target: it holds its mosaic only from level 1 down.
  std::array<bool, kMosaicTargetCount> half_only_{};
  // The working size the mosaics' cells lie in.
  int image_w_ = 0;
  int image_h_ = 0;
};

}  // namespace tessaline
