#pragma once
// ZoomPilot: the view's motion on a still mosaic. It selects cells, zooms
// into the selected one (51 idle steps from the cell to the whole view,
// each followed by the "Sleep " slider's pause), runs the auto pilot that
// keeps zooming into cells the engine draws at random, and fades the front
// mosaic out and back in. The view owns it and calls Frame once per idle
// step of a still target.
//
// No toolkit and no GL: the scene is plain data, and what needs the engine,
// GL objects or the idle callback goes through ZoomEngine and ZoomHost, so
// that tests drive it with fakes. GUI thread only.

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "render/view_scene.h"

namespace tessaline {

// The engine's grid and sizes, as the zoom needs them.
struct ZoomGrid {
  double sub_w = 32;  // cell size, working-image pixels
  double sub_h = 18;
  int cols = 1;
  int rows = 1;
  int image_w = 0;  // working image, pixels
  int image_h = 0;
  double touched_tile_scale = 7.0;
};

// What a finished zoom composition gives the layers.
struct ZoomTextures {
  unsigned int mosaic = 0;
  unsigned int image = 0;
  std::array<unsigned int, kAroundLayerCount> around{};
  std::vector<std::string> info_lines;
};

// What the zoom asks of the engine.
class ZoomEngine {
 public:
  virtual ~ZoomEngine() = default;
  virtual bool TargetLoaded() const = 0;
  virtual ZoomGrid Grid() const = 0;
  // An interior cell drawn from the engine's seeded source; none when the
  // grid has no interior cell.
  virtual std::optional<std::pair<int, int>> PickRandomCell() = 0;
  // Makes cell (col, row)'s tile the target and composes its mosaic (and,
  // with `around`, the eight surrounding ones); false when the cell has no
  // zoom (a border cell, a failed pass).
  virtual bool ZoomIntoCell(int col, int row, bool around) = 0;
  // The textures and text the last composition made.
  virtual ZoomTextures Textures() const = 0;
};

// What the zoom asks of the view.
class ZoomHost {
 public:
  virtual ~ZoomHost() = default;
  virtual void SetAnimation(int on) = 0;  // 1 on, 0 off, -1 toggle
  // The running animation waits `seconds` before its next idle step.
  virtual void PauseAnimation(double seconds) = 0;
  virtual void LayoutScene() = 0;  // every layer back at rest
  // True, with the reason on the status line, while a load has the engine.
  virtual bool RefuseWhileBusy() = 0;
  virtual void UpdateMenuStates() = 0;
  virtual int DrawFlags() const = 0;
  // The selected cell's tile picture is stale: the next selection loads it.
  virtual void ForgetSelectedTile() = 0;
};

class ZoomPilot {
 public:
  ZoomPilot(ViewScene& scene, ZoomEngine& engine, ZoomHost& host)
      : scene_(scene), engine_(engine), host_(host) {}

  bool Zooming() const { return zooming_; }
  bool AutoPilot() const { return auto_pilot_; }
  int SelectedCol() const { return selected_col_; }
  int SelectedRow() const { return selected_row_; }
  // The "Sleep " slider: the pause after each zoom frame, milliseconds.
  void SetPause(double ms) { pause_ms_ = ms; }
  // The fade's level at rest (the mosaic layers' alpha).
  void SetFadeLevel(double level) { fade_alpha_ = level; }

  // Selects cell (col, row) and puts the highlight around it.
  void SelectCell(int col, int row);
  void ClearSelection();
  // False (and the scene back at rest) when the cell has no zoom.
  bool ZoomInto(int col, int row);
  // The release of a click on the selected cell: its zoom runs.
  void ZoomIntoSelected();
  // One idle step of a still target: the next auto-pilot cell, a zoom frame
  // or a fade step.
  void Frame();
  void ZoomStep();
  void FadeStep();
  void AutoPilotNext();
  void StartAutoPilot();
  void ToggleAutoPilot();
  // The running zoom finishes, then the animation stops.
  void StopAutoPilot();
  void ToggleFade();
  // Zooms, auto pilot and the selection end (a new library or engine), and
  // the animation stops.
  void Reset();

 private:
  ViewScene& scene_;
  ZoomEngine& engine_;
  ZoomHost& host_;
  bool zooming_ = false;
  bool next_zoom_ = false;  // the auto pilot starts its next zoom
  bool auto_pilot_ = false;
  int zoom_frame_ = 0;
  double pause_ms_ = 50.0;
  bool fading_out_ = false;
  double fade_alpha_ = 1.0;
  int selected_col_ = -1;
  int selected_row_ = -1;
};

}  // namespace tessaline
