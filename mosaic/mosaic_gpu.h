#pragma once
// The engine's GPU side, seen from the engine: the cell table texture and the
// offscreen targets the mosaics are rendered into. The view gives the engine
// a GL implementation once its context exists; without one (the batch
// command, tests) the engine composes on the CPU and these steps are skipped.
// Every call needs the view's GL context current (GUI thread).

namespace tessaline {

class MosaicGpu {
 public:
  virtual ~MosaicGpu() = default;

  // A cell table texture of div_x x div_y cells (re)made at every grid change.
  virtual void CreateCellTable(int div_x, int div_y) = 0;

  // The two mosaic and eight neighbour targets at the working size and one
  // at the matching size; a target that already has its size is kept.
  virtual void CreateOffscreenTargets(int image_w, int image_h, int matching_w, int matching_h) = 0;
};

}  // namespace tessaline
