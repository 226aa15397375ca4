#pragma once
// The arithmetic of the view's animations and mouse mapping on the scene's
// data: the poses of a zoom into a cell, one zoom frame, the fade step, and
// window positions to working-image pixels. No GL: the layers are only
// given poses and alphas here; the frame draws them.
//
// Scene units are working-image pixels, y down, the working image centred
// on (0, 0) after Layout.

#include "render/view_scene.h"

namespace tessaline {

// A zoom lasts kZoomFrames + 1 idle steps: progress t = frame / kZoomFrames.
constexpr int kZoomFrames = 50;

// Where a zoom starts.
struct ZoomStart {
  double cell_x = 0;  // centre of the selected cell (the highlight), scene units
  double cell_y = 0;
  double cell_w = 0;  // cell size, scene units
  double cell_h = 0;
  int cols = 1;  // the engine's grid
  int rows = 1;
  int image_w = 0;  // working image, scene units
  int image_h = 0;
  int draw_flags = 0;
  double touched_tile_scale = 7.0;
};

// Makes the back pair the front pair (flips scene.front) and gives every
// layer its start and end pose and starting alpha: the new front pair grows
// from the cell to the whole image, the surrounding layers from the
// neighbouring cells to the neighbouring image places, and (unless the zoom
// starts from the selected tile) the old pair grows so that the cell fills
// the image.
void StartZoomPoses(ViewScene& scene, const ZoomStart& start);

// One frame at progress t (0 ... 1): poses at t and alpha sqrt(t) limited
// to 0 ... alpha.
void ZoomFramePoses(ViewScene& scene, double t, double alpha, int draw_flags);

// The end of a zoom: the front pair at its end pose, the back pair back at
// its start pose with the mosaic alpha, the surrounding layers hidden.
void FinishZoomPoses(ViewScene& scene, double alpha, int draw_flags);

// One fade step of 0.01: fading out towards 0, otherwise back up to alpha.
// `done` once the level has reached alpha while not fading out (on the step
// that reaches it).
struct FadeLevel {
  double level = 1.0;
  bool done = false;
};
FadeLevel StepFade(double level, bool fading_out, double alpha);

// The working-image pixel under window position (x, y) (pixels, y down) of a
// window view_w x view_h showing `visible`, relative to the camera's top left
// corner. Every step is truncated to an integer.
struct ImagePixel {
  int x = 0;
  int y = 0;
};
ImagePixel ViewToImagePixel(int x, int y, int view_w, int view_h, const ViewRect& visible,
                            const qxRect& camera);

}  // namespace tessaline
