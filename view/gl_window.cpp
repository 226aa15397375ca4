// qxFlGLWindow: construction and drawing.

#include <GL/glew.h>

#include "view/gl_window.h"

#include <FL/Fl.H>
#include <FL/gl.h>

#include <iostream>

#include "library/load_worker.h"
#include "mosaic/mosaic_config.h"
#include "mosaic/photo_mosaic.h"
#include "settings/ini_store.h"
#include "settings/log_stream.h"
#include "settings/window_settings.h"
#include "view/event_guard.h"

namespace tessaline {

qxFlGLWindow::qxFlGLWindow(int x, int y, int w, int h, const char* label, ViewOwner* owner)
    : Fl_Gl_Window(x, y, w, h, label),
      view_w_(w),
      view_h_(h),
      owner_(owner),
      control_(engine_access_, hooks_),
      frame_rate_({}, [owner](const std::string& text) { owner->SetStatusText(text); }) {
  // The view holds no child widgets: close its group at once so that the
  // main window's later widgets do not land in it.
  end();
  preferences_.LoadConfig();
  engine_ = std::make_unique<qxPhotoMosaic>(Config());
  AttachLiveSources(*engine_);
  engine_access_.Reset(engine_.get());
  motion_access_.Reset(engine_.get());
  tile_size_index_ = engine_->Geometry().TileSizeIndex();
  RegisterDisplayKeys();
}

qxFlGLWindow::~qxFlGLWindow() {
  // An export works on its own copies, but its worker must not outlive us.
  CancelExport();
  // A recording still running is finished so its file stays playable.
  live_.FinishRecordingFile();
  animation_.Set(0);
  hooks_.StopCameraPoll();
  // A load still running uses the engine: it must end before the engine goes.
  WaitForLoad();
  ReleaseGl();
  engine_.reset();
}

void qxFlGLWindow::RegisterDisplayKeys() {
  qxINI* store = WindowSettings();
  if (!store) return;
  store->Register("gl", "draw", &draw_flags_, draw_flags_);
  store->Register("gl", "font", &font_size_, font_size_);
  store->Register("gl", "font_file", &font_file_, font_file_);
  store->Register("mosaic", "alpha", &scene_.alpha, scene_.alpha);
  // The "Colour " slider's share is kept with the window's state, bound to
  // the same variable as tessaline.cfg's key: the file read last wins, so
  // the last session's slider (tessaline.ini, read after tessaline.cfg)
  // beats the configured default, which holds until a session has ended.
  // tessaline.cfg takes the share only when the preferences are saved.
  store->Register("mosaic", "color_correction", &Config().color_correction,
                  Config().color_correction);
  zoom_.SetFadeLevel(scene_.alpha);
}

void qxFlGLWindow::TileSizeLabels(std::vector<std::string>& labels) const {
  labels.clear();
  for (const TileSize& size : engine_->Geometry().TileSizes())
    labels.push_back(TileSizeLabel(size));
}

void qxFlGLWindow::Layout(int w, int h) {
  LayerSources sources;
  if (MosaicGpu* gpu = engine_->Gpu()) {
    sources.image_texture = gpu->ImageTexture(0);
    sources.mosaic_texture = gpu->MosaicTexture(kCurrentMosaic);
  }
  for (int i = 0; i < kAroundLayerCount; ++i)
    sources.around_textures[static_cast<std::size_t>(i)] = engine_->AroundTexture(i);
  sources.info_lines = TargetInfoLines(*engine_);
  tessaline::Layout(scene_, w, h, sources);
}

void qxFlGLWindow::UpdateViewSize() {
  view_w_ = pixel_w();
  view_h_ = pixel_h();
  glViewport(0, 0, view_w_, view_h_);
}

FrameInputs qxFlGLWindow::MakeFrameInputs() const {
  FrameInputs in;
  in.window_width = view_w_;
  in.window_height = view_h_;
  in.draw_flags = draw_flags_;
  in.ready = Ready();
  in.zooming = zoom_.Zooming();
  in.auto_pilot = zoom_.AutoPilot();
  in.icons = &resources_.Icons();
  in.hover_name = input_.HoverName();
  in.logo_texture = resources_.Objects().logo.name();
  in.cursor_texture = resources_.Objects().cursor.name();
  in.font = &resources_.Font();
  in.mouse_x = input_.MouseX();
  in.mouse_y = input_.MouseY();
  if (draw_flags_ & kDrawLogConsole) in.log_lines = LogHistory();
  const MosaicConfig& config = Config();
  in.icon_layout = IconLayout{config.icon_width, config.icon_height, config.icon_left_margin,
                              config.icon_top_margin};
  in.touched_tile_scale = config.touched_tile_scale;
  in.div_x = engine_->Geometry().Grid().div_x;
  in.div_y = engine_->Geometry().Grid().div_y;
  in.sub_w = engine_->Geometry().SubWidth();
  in.sub_h = engine_->Geometry().SubHeight();
  in.first_cell_name = resources_.FirstCellName();
  return in;
}

void qxFlGLWindow::draw() {
  GuardEvent("drawing the view", [this] {
    if (resources_.Unusable()) return;
    if (!context_valid() && !InitializeGL()) return;
    if (!valid()) UpdateViewSize();
    DrawFrame(scene_, MakeFrameInputs());
  });
}

int qxFlGLWindow::handle(int event) {
  switch (event) {
    // Accept drags so that a drop reaches the drop target lying over us.
    case FL_PASTE:
    case FL_DND_ENTER:
    case FL_DND_DRAG:
    case FL_DND_LEAVE:
    case FL_DND_RELEASE:
      return 1;
    // Take the keyboard focus the main window gives us: keys then travel
    // from here up to the main window, which forwards them to KeyDown.
    // Without it the focus lands on a panel widget, and a slider there
    // would swallow the arrow keys.
    case FL_FOCUS:
    case FL_UNFOCUS:
      return 1;
    case FL_KEYBOARD:
      // The arrow keys are ours: passed on, the main window's group would
      // also move the keyboard focus with them, onto a slider.
      if (Fl::event_key() == FL_Left || Fl::event_key() == FL_Right) {
        KeyDown(Fl::event_key(), Fl::event_x(), Fl::event_y());
        owner_->UpdateMenuStates();
        return 1;
      }
      return Fl_Gl_Window::handle(event);
    default:
      return Fl_Gl_Window::handle(event);
  }
}

void qxFlGLWindow::resize(int x, int y, int w, int h) {
  // While the view covers its window, the window's own layout (which keeps
  // laying out its children as they were) does not shrink it again.
  Fl_Window* top = top_window();
  if (view_full_screen_ && top && top != this) {
    x = y = 0;
    w = top->w();
    h = top->h();
  }
  Fl_Gl_Window::resize(x, y, w, h);
}

void qxFlGLWindow::ShowStatus(const std::string& text) {
  status_held_ = false;
  owner_->SetStatusText(text);
  // The status line is a widget; its texts are also logged, once per change,
  // so that scripts can follow the program.
  if (text == last_status_) return;
  last_status_ = text;
  view_log() << "status : " << text << std::endl;
}

}  // namespace tessaline
