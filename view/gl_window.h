#pragma once
// qxFlGLWindow: the OpenGL view inside the main window. It owns the mosaic
// configuration store, the engine, its interface textures and the drawing
// scene; turns commands, mouse and keys into engine calls and animations;
// and draws. Everything here runs on the GUI thread; only the tile-library
// load runs on a worker (see MosaicControl), and while it runs the view
// leaves the engine alone.
//
// The code is split by job: gl_window.cpp (construction, drawing),
// view_commands.cpp (commands, the idle step), view_input.cpp (the cell
// under a point, full screen), view_hooks.cpp and view_service_hooks.cpp
// (what the controllers ask of the window). The load is a MosaicControl,
// the zoom, auto pilot and fade a ZoomPilot, live input and its recording a
// LiveControl, the mouse and keys an InputControl, the idle callback an
// IdleAnimation, the preference command and tessaline.cfg a
// PreferenceCommand, the exports an ExportControl, the GL start-up and the
// view's GL objects ViewResources: parts the view owns, which reach it back
// through small host interfaces (ViewHooks, ViewServiceHooks).

#include <GL/glew.h>

#include <FL/Fl_Gl_Window.H>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "render/overlay.h"
#include "render/texture.h"
#include "render/view_scene.h"
#include "view/command_text.h"
#include "view/export_control.h"
#include "view/idle_animation.h"
#include "view/input_control.h"
#include "view/input_mode.h"
#include "view/live_control.h"
#include "view/mosaic_control.h"
#include "view/motion_access.h"
#include "view/preference_command.h"
#include "view/view_gl_objects.h"
#include "view/view_owner.h"
#include "view/view_resources.h"
#include "view/zoom_pilot.h"

namespace tessaline {

class qxPhotoMosaic;

class qxFlGLWindow;

// Gives `engine` the movie and camera sources of the video library.
void AttachLiveSources(qxPhotoMosaic& engine);

// The view's side of its controllers' host interfaces (view_hooks.cpp): what
// the load, the zoom, live input and the mouse and keys ask of the window,
// its GL context, its engine and its owner.
class ViewHooks final : public MosaicControlHost,
                        public GlContextHolder,
                        public ZoomHost,
                        public LiveHost,
                        public InputHost {
 public:
  explicit ViewHooks(qxFlGLWindow& view) : view_(view) {}

  // Shared by several hosts.
  void SetAnimation(int on) override;
  void LayoutScene() override;
  void ShowStatus(const std::string& text) override;
  void UpdateMenuStates() override;
  void MakeGlContextCurrent() override;
  bool RefuseWhileBusy() override;
  bool Ready() const override;
  void Redraw() override;

  // MosaicControlHost and GlContextHolder
  void OnMosaicTakenUp() override;
  bool HasGlContext() const override;

  // ZoomHost
  void PauseAnimation(double seconds) override;
  int DrawFlags() const override;
  void ForgetSelectedTile() override;

  // LiveHost
  void ShowFailure(const std::string& text) override;
  void SetOutputText(const std::string& text) override;
  void Generate() override;
  void IdleStep() override;
  void StartCameraPoll() override;
  void StopCameraPoll() override;
  std::optional<int> ChooseCamera(const std::vector<std::string>& names, int preselected) override;

  // InputHost
  bool Busy() const override;
  bool OutsideView(int x, int y) const override;
  void TakeFocus() override;
  int Pick(int x, int y) override;
  int IconCount() const override;
  int FirstCellName() const override;
  int FadeIcon() const override;
  void RunIconActions(int icon) override;
  int PressStyle() override;
  void SelectCellAt(int x, int y) override;
  void ToggleViewFullScreen(bool from_key) override;
  int TileSizeIndex() const override;
  int TileSizeCount() const override;
  void ChangeTileSize(int index) override;

 private:
  static void CameraPollCallback(void* hooks);

  qxFlGLWindow& view_;
};

// The view's side of the preference command's, the GL start-up's and the
// exports' host interfaces (view_service_hooks.cpp): the preference dialog,
// a new engine, the start-up's icons and the engine's mosaic.
class ViewServiceHooks final : public PreferenceHost, public ViewResourcesHost, public ExportHost {
 public:
  explicit ViewServiceHooks(qxFlGLWindow& view) : view_(view) {}

  // Shared by several hosts.
  void ShowStatus(const std::string& text) override;

  // PreferenceHost
  bool RefuseWhileBusy() override;
  std::optional<PreferenceChoice> ChoosePreferences(const MosaicSettings& before) override;
  int MaxTextureSide() const override;
  void ReplaceEngine() override;
  void SetTileSizes(const std::string& list) override;
  bool StillMosaicShown() const override;
  void Generate() override;

  // ViewResourcesHost
  qxPhotoMosaic* Engine() override;
  int DrawFlags() const override;
  bool Ready() const override;
  void EndForUnusableGl(const std::string& message) override;
  void LayoutScene() override;
  std::vector<StartIcon> StartIcons() override;
  void ForgetHover() override;

  // ExportHost
  bool Busy() const override;
  bool MosaicValid() const override;
  PrintJob MakePrintJob(int tile_px) override;
  bool SaveMosaicImage(const std::string& path) override;

 private:
  qxFlGLWindow& view_;
};

class qxFlGLWindow : public Fl_Gl_Window {
 public:
  // Reads tessaline.cfg (writing it with the defaults only when it cannot be
  // opened; a file with unreadable lines is used and left as it is), creates
  // the engine and registers the display keys in the window settings store.
  qxFlGLWindow(int x, int y, int w, int h, const char* label, ViewOwner* owner);
  ~qxFlGLWindow() override;

  void draw() override;
  int handle(int event) override;
  void resize(int x, int y, int w, int h) override;

  // Frees the view's GL objects and the engine's GPU side with the view's
  // context current (before the process ends with std::exit, which runs no
  // destructor); without a context only forgets them.
  void ReleaseGl() { resources_.Release(); }

  // GL start-up (ViewResources), run by draw() whenever the GL context is
  // new. False, with the owner told, when the context lacks what the
  // program needs; nothing is drawn from then on.
  bool InitializeGL() { return resources_.Initialize(font_file_, static_cast<int>(font_size_)); }
  // 0 when the font opened, 1 otherwise.
  int OpenFont(const std::string& path) {
    return resources_.OpenFont(path, static_cast<int>(font_size_));
  }
  // Registers an icon button; the alternate picture is shown while `state`
  // answers true. Returns the icon's index.
  int AddIcon(const std::string& picture, const std::string& alternate,
              std::function<void()> action, std::function<bool()> state, bool shown) {
    return resources_.AddIcon(picture, alternate, std::move(action), std::move(state), shown);
  }
  // Rest pose of the scene for an image of w x h with the engine's textures.
  void Layout(int w, int h);

  // Commands (the button, the menu; see view_commands.cpp). `index` is the
  // tile size's place in the list for kTileSize.
  void Command(ViewCommand command, int index = -1);
  void Generate();
  void IdleStep();
  void SetAnimation(int on);  // 1 on, 0 off, -1 toggle
  void StartStop();           // the "Start/Stop" button
  void Step();                // one idle step (OpenGL/Step)
  // Flips Draw toggle `index` (its bit in the draw flags).
  void ToggleDrawFlag(int index);
  // The zoom, auto pilot and fade (ZoomPilot). ZoomInto is false (and the
  // scene back at rest) when the cell has no zoom: a border cell, or no
  // library.
  bool ZoomInto(int col, int row) { return zoom_.ZoomInto(col, row); }
  void ZoomStep() { zoom_.ZoomStep(); }
  void AutoPilotNext() { zoom_.AutoPilotNext(); }
  void StartAutoPilot() { zoom_.StartAutoPilot(); }
  void ToggleAutoPilot() { zoom_.ToggleAutoPilot(); }
  void ToggleFade() { zoom_.ToggleFade(); }
  void ChangeTileSize(int index);
  void OpenImage(const std::string& path);
  // Live input and its recording (LiveControl). A movie (`path`) or, with an
  // empty path, a camera chosen in a dialog becomes the source; while live
  // input runs, ends it. A camera is opened without waiting for it: the
  // status line says so until it answers or is given up (after the engine's
  // time limit, by this command again, or by a click on the view).
  void ToggleVideoInput(const std::string& path) { live_.ToggleVideoInput(path); }
  // One frame of live input: pulls it and shows its mosaic.
  LiveControl::Step LiveStep();
  // Recording of the view while live input runs: on = 1 opens `file` and
  // records, on = 0 finishes the file.
  void SetRecording(int on, const std::string& file) { live_.SetRecording(on, file); }
  // Appends the current mosaic blended with the source frame; false when no
  // file is open.
  bool WriteRecordingFrame() { return live_.WriteRecordingFrame(); }
  // The preference dialog (PreferenceCommand).
  void EditPreferences() { preferences_.Edit(); }
  // The panel's sliders, each with a callback of its own in the main window.
  // "Alpha ": the mosaic layers' opacity, 0 to 1.
  void SetAlpha(double alpha);
  // "Sleep ": the pause after each zoom frame, milliseconds.
  void SetZoomPause(double ms) { zoom_.SetPause(ms); }
  // "Colour ": recomposes the mosaics on show at share `c` without a new
  // assignment; `released` (the end of a drag, or a key) logs the share.
  // The share is saved with the window's state in tessaline.ini, never by
  // itself in tessaline.cfg.
  void SetColorCorrection(double c, bool released);
  double ColorCorrection() const;
  // "Steady ": the share by which a fresh tile must come nearer than a live
  // cell's tile of the frame before to replace it (0 to 1), read by the
  // next live frame; `released` logs it. Saved with tessaline.cfg only when
  // the preference dialog saves the defaults.
  void SetSteadiness(double s, bool released);
  double Steadiness() const;
  // File/Export/Print (ExportControl): writes the current mosaic from the
  // original photos at `tile_px` pixels per tile, as the picture `path` or,
  // with `deep_zoom`, as the deep-zoom folder `path`, on a worker; the
  // status line follows it and one log line tells how it ended.
  void ExportPrint(const std::string& path, int tile_px, bool deep_zoom) {
    exports_.ExportPrint(path, tile_px, deep_zoom);
  }
  // Stops a running export and waits for its worker (the program ends).
  void CancelExport() { exports_.Cancel(); }
  // Writes the current mosaic to `path` (File/Export/Image).
  bool ExportMosaic(const std::string& path) { return exports_.ExportMosaic(path); }

  // Mouse and key input (InputControl), forwarded by the main window with
  // coordinates relative to the view's top left corner (pixels, y down).
  void MouseButton(int button, bool pressed, int x, int y) {
    input_.MouseButton(button, pressed, x, y);
  }
  void MouseDrag(int x, int y) { input_.MouseDrag(x, y); }
  void MouseMove(int x, int y) { input_.MouseMove(x, y); }
  void KeyDown(int key, int /*x*/, int /*y*/) { input_.KeyDown(key); }
  void SelectCellAt(int x, int y);
  void ToggleViewFullScreen(bool from_key);

  // One label per offered tile size, "32 x 18".
  void TileSizeLabels(std::vector<std::string>& labels) const;

  // State for the menus and the panel.
  double Alpha() const { return scene_.alpha; }
  int DrawFlags() const { return draw_flags_; }
  int TileSizeIndex() const { return tile_size_index_; }
  bool Ready() const { return control_.Ready(); }
  bool Busy() const { return control_.Busy(); }
  bool AutoPilot() const { return zoom_.AutoPilot(); }
  bool Recording() const { return live_.Recording(); }
  int InputMode() const { return live_.InputMode(); }
  bool ViewFullScreen() const { return view_full_screen_; }

 private:
  friend class ViewHooks;
  friend class ViewServiceHooks;

  // Construction and drawing.
  void RegisterDisplayKeys();
  void UpdateViewSize();
  FrameInputs MakeFrameInputs() const;
  void ShowStatus(const std::string& text);

  // Commands and animation.
  // The animation's step: IdleStep, which ends the animation if it throws.
  void AnimationStep();
  // A step of live input or of the zoom; false when the view has nothing
  // new to draw.
  bool NormalFrame();
  void ChooseImagesDir();
  void EndCommand();

  // Full screen (view_input.cpp).
  void EnterViewFullScreen();
  void LeaveViewFullScreen();

  int view_w_;
  int view_h_;
  IdleAnimation animation_{[this] { AnimationStep(); }};
  ViewOwner* owner_;
  std::uint32_t font_size_ = 14;
  std::string font_file_ = "Inconsolata.ttf";
  ViewHooks hooks_{*this};
  ViewServiceHooks services_{*this};
  // Holds tessaline.cfg's store, read before the engine is made.
  PreferenceCommand preferences_{services_};
  std::unique_ptr<qxPhotoMosaic> engine_;
  PhotoMosaicAccess engine_access_{nullptr};
  PhotoMosaicMotion motion_access_{nullptr};
  MosaicControl control_;

  // Drawing: the scene (layers, camera, selection, alpha) and the view's GL
  // resources (icons, font, interface pictures, the selected tile), all in
  // this view's GL context.
  ViewScene scene_;
  ViewResources resources_{scene_, hooks_, services_};
  FrameRateMeter frame_rate_;
  std::string last_status_;
  // A failure on the status line that the frame rate must not overwrite;
  // the next status text takes its place.
  bool status_held_ = false;

  int tile_size_index_ = 0;
  int draw_flags_ = kDrawIcons | kDrawTileElevating;
  bool view_full_screen_ = false;
  // The view's own rectangle (inside the main window) before it went full
  // screen.
  int restore_x_ = 0, restore_y_ = 0, restore_w_ = 0, restore_h_ = 0;
  ExportControl exports_{services_};  // File/Export/Image and Print
  ZoomPilot zoom_{scene_, motion_access_, hooks_};
  LiveControl live_{scene_, motion_access_, hooks_};
  InputControl input_{scene_, zoom_, live_, hooks_};
};

}  // namespace tessaline
