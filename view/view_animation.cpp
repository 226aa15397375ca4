#include "view/view_animation.h"

#include <algorithm>
#include <cmath>

namespace tessaline {
namespace {

// Offsets of the eight surrounding layers, in cells.
constexpr int kAroundOffsets[kAroundLayerCount][2] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, -1},
                                                      {0, 1},   {1, -1}, {1, 0},  {1, 1}};

void SetPose(qxRectPolygon& layer, const Vec3d& translation, const Vec3d& scale) {
  layer.translation = translation;
  layer.scale = scale;
  layer.start_translation = translation;
  layer.start_scale = scale;
  layer.end_translation = Vec3d{0, 0, 0};
  layer.end_scale = Vec3d{1, 1, 1};
}

void StartAroundPoses(ViewScene& scene, const ZoomStart& z, const Vec3d& scale) {
  for (int i = 0; i < kAroundLayerCount; ++i) {
    qxRectPolygon& layer = scene.AroundLayer(i);
    layer.alpha = 0.0;
    if (!(z.draw_flags & kDrawAround)) continue;
    const int dx = kAroundOffsets[i][0];
    const int dy = kAroundOffsets[i][1];
    SetPose(layer, Vec3d{z.cell_x + dx * z.cell_w, z.cell_y + dy * z.cell_h, 0}, scale);
    layer.end_translation =
        Vec3d{static_cast<double>(dx) * z.image_w, static_cast<double>(dy) * z.image_h, 0};
  }
}

}  // namespace

void StartZoomPoses(ViewScene& scene, const ZoomStart& z) {
  scene.front = 1 - scene.front;
  const bool with_selected = z.draw_flags & kDrawZoomWithSelected;
  Vec3d s{1.0 / z.cols, 1.0 / z.rows, 1.0};
  if (with_selected && (z.draw_flags & kDrawZoomFromLiftedTile))
    s = Vec3d{s.x * z.touched_tile_scale, s.y * z.touched_tile_scale, s.z * z.touched_tile_scale};
  const Vec3d cell{z.cell_x, z.cell_y, 0};
  SetPose(scene.MosaicLayer(scene.front), cell, s);
  SetPose(scene.ImageLayer(scene.front), cell, s);
  scene.MosaicLayer(scene.front).alpha = 0.0;
  scene.ImageLayer(scene.front).alpha = with_selected ? 1.0 : 0.0;
  StartAroundPoses(scene, z, s);
  if (with_selected) return;
  // The old pair grows so that the selected cell ends up filling the image.
  const int back = 1 - scene.front;
  for (qxRectPolygon* layer : {&scene.MosaicLayer(back), &scene.ImageLayer(back)}) {
    layer->start_translation = Vec3d{0, 0, 0};
    layer->start_scale = Vec3d{1, 1, 1};
    layer->end_scale = Vec3d{1.0 / s.x, 1.0 / s.y, 1.0 / s.z};
    layer->end_translation = Vec3d{-z.cell_x / s.x, -z.cell_y / s.y, 0};
  }
}

void ZoomFramePoses(ViewScene& scene, double t, double alpha, int draw_flags) {
  const bool with_selected = draw_flags & kDrawZoomWithSelected;
  const double a = std::clamp(std::sqrt(std::max(t, 0.0)), 0.0, std::max(alpha, 0.0));
  const int front = scene.front;
  scene.MosaicLayer(front).Interpolate(t);
  scene.ImageLayer(front).Interpolate(t);
  scene.MosaicLayer(front).alpha = a;
  if (!with_selected) scene.ImageLayer(front).alpha = a;
  if (draw_flags & kDrawAround) {
    for (int i = 0; i < kAroundLayerCount; ++i) {
      scene.AroundLayer(i).Interpolate(t);
      scene.AroundLayer(i).alpha = a;
    }
  }
  if (!with_selected) {
    scene.MosaicLayer(1 - front).Interpolate(t);
    scene.ImageLayer(1 - front).Interpolate(t);
  }
}

void FinishZoomPoses(ViewScene& scene, double alpha, int draw_flags) {
  const int front = scene.front;
  scene.MosaicLayer(front).Interpolate(1.0);
  scene.ImageLayer(front).Interpolate(1.0);
  if (!(draw_flags & kDrawZoomWithSelected)) {
    scene.MosaicLayer(1 - front).Interpolate(0.0);
    scene.ImageLayer(1 - front).Interpolate(0.0);
    scene.MosaicLayer(1 - front).alpha = alpha;
  }
  for (int i = 0; i < kAroundLayerCount; ++i) {
    scene.AroundLayer(i).Interpolate(1.0);
    scene.AroundLayer(i).alpha = 0.0;
  }
}

FadeLevel StepFade(double level, bool fading_out, double alpha) {
  constexpr double kStep = 0.01;
  if (fading_out) return FadeLevel{std::max(level - kStep, 0.0), false};
  if (level >= alpha) return FadeLevel{level, true};
  const double next = std::min(level + kStep, alpha);
  return FadeLevel{next, next >= alpha};
}

ImagePixel ViewToImagePixel(int x, int y, int view_w, int view_h, const ViewRect& visible,
                            const qxRect& camera) {
  const int px = static_cast<int>(visible.left +
                                  static_cast<double>(x) / view_w * (visible.right - visible.left));
  const int py = static_cast<int>(visible.top +
                                  static_cast<double>(y) / view_h * (visible.bottom - visible.top));
  const int ox = static_cast<int>(camera.x - camera.w);
  const int oy = static_cast<int>(camera.y - camera.h);
  return ImagePixel{px - ox, py - oy};
}

}  // namespace tessaline
