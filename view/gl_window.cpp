// qxFlGLWindow: construction, GL start-up, icons and drawing.

#include <GL/glew.h>

#include "view/gl_window.h"

#include <FL/Fl.H>
#include <FL/gl.h>

#include <filesystem>
#include <iostream>

#include "library/load_worker.h"
#include "mosaic/mosaic_config.h"
#include "mosaic/photo_mosaic.h"
#include "render/gl_capabilities.h"
#include "render/gl_mosaic_gpu.h"
#include "settings/ini_store.h"
#include "settings/log_stream.h"
#include "settings/window_settings.h"
#include "view/event_guard.h"

namespace tessaline {
namespace {

bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

}  // namespace

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
  LoadMosaicConfig();
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
  config_.reset();
  icons_.clear();
  ReleaseGl();
  engine_.reset();
}

void qxFlGLWindow::LoadMosaicConfig() {
  const std::string file = std::string(kProgramName) + ".cfg";
  config_ = std::make_unique<qxINI>();
  RegisterMosaicKeys(*config_, Config());
  const IniLoadResult loaded = config_->LoadFile(file);
  // A size beyond reason is used at its nearest sane value; the file keeps
  // what the user wrote.
  if (loaded != IniLoadResult::kNotOpened) config_->MendValues(view_log());
  if (loaded == IniLoadResult::kRead) return;
  // Only a missing file is replaced by the defaults: the user's own file,
  // even with a line the store cannot read, is never overwritten.
  if (loaded == IniLoadResult::kMalformed) {
    view_log() << file << " has lines that could not be read; it is left as it is" << std::endl;
    return;
  }
  view_log() << "Failed to open the " << file << " file!" << std::endl;
  if (config_->Save(config_.get(), file)) view_log() << "save : " << file << std::endl;
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

// Frees every GL object the view and the engine made. After FLTK re-created
// the context these names may be dead (deleting an unknown name does
// nothing) or still alive in a shared context; either way this runs before
// anything new is made, so no fresh name can be hit.
void qxFlGLWindow::ReleaseGlResources() {
  icons_.clear();
  gl_.Reset();
  scene_.selected_tile = 0;
  if (engine_) engine_->SetGpu(nullptr);
}

void qxFlGLWindow::ReleaseGl() {
  icons_.clear();
  scene_.selected_tile = 0;
  ReleaseInOwnContext(hooks_, gl_, [this] {
    if (engine_) engine_->SetGpu(nullptr);
  });
}

bool qxFlGLWindow::InitializeGL() {
  const GLubyte* version = glGetString(GL_VERSION);
  view_log() << "OpenGL Ver. " << (version ? reinterpret_cast<const char*>(version) : "")
             << std::endl;
  const GLenum glew = glewInit();
  if (glew != GLEW_OK)
    view_log() << "GLEW Error : " << reinterpret_cast<const char*>(glewGetErrorString(glew))
               << std::endl;
  else
    view_log() << "GLEW OK : Glew Ver. "
               << reinterpret_cast<const char*>(glewGetString(GLEW_VERSION)) << std::endl;
  // Checked before any entry point beyond OpenGL 1.1 is called: a missing
  // one would crash the program instead of telling the user.
  if (glew != GLEW_OK || !glewIsSupported("GL_VERSION_2_0"))
    view_log() << "ERROR: Support for necessary OpenGL extensions missing." << std::endl;
  const std::string missing = CheckCurrentGl(glew);
  if (!missing.empty()) {
    gl_unusable_ = true;
    view_log() << missing << std::endl;
    owner_->EndForUnusableGl(missing);
    return false;
  }
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  // A load running now uses the engine, whose GPU side is replaced below; a
  // re-created context is rare enough to wait for it.
  WaitForLoad();
  ReleaseGlResources();
  LoadPngTexture("texture/logo.png", gl_.logo);
  LoadPngTexture("texture/cursor.png", gl_.cursor);
  OpenFont(font_file_);
  RegisterIcons();
  StartEngineGpu();
  Layout(engine_->Geometry().ImageWidth(), engine_->Geometry().ImageHeight());
  return true;
}

int qxFlGLWindow::OpenFont(const std::string& path) {
  return font_.OpenFont(path, static_cast<int>(font_size_));
}

void qxFlGLWindow::RegisterIcons() {
  // A second start-up begins with an empty list (ReleaseGlResources), so
  // every icon is listed once and the cell names stay above the icon names.
  first_cell_name_ = 5;
  input_.ClearHover();
  fade_icon_ = -1;
  AddIcon(
      "texture/fullscreen.png", "texture/fullscreen2.png", [this] { ToggleViewFullScreen(false); },
      [this] { return owner_->IsFullScreen(); }, true);
  AddIcon(
      "texture/icon_video.png", "texture/icon_photos.png", [this] { ToggleVideoInput(""); },
      [this] { return live_.Live(); }, true);
  AddIcon(
      "texture/random.png", "", [this] { ToggleAutoPilot(); }, {}, true);
  fade_icon_ = AddIcon(
      "texture/icon_grad.png", "", [this] { ToggleFade(); }, {}, true);
}

int qxFlGLWindow::AddIcon(const std::string& picture, const std::string& alternate,
                          std::function<void()> action, std::function<bool()> state, bool shown) {
  if (!FileExists(picture)) return -1;
  GlTexture normal;
  GlTexture other;
  LoadPngTexture(picture, normal);
  if (!alternate.empty()) LoadPngTexture(alternate, other);
  ViewIcon icon;
  icon.texture = normal.name();
  icon.alternate_texture = other.name();
  icon.index = IconCount();
  icon.action = std::move(action);
  icon.state = std::move(state);
  icon.shown = shown;
  icons_.push_back(std::move(icon));
  gl_.icons.push_back(std::move(normal));
  gl_.icons.push_back(std::move(other));
  first_cell_name_ = IconCount() + 1;
  return IconCount() - 1;
}

// The engine's GPU side lives in this context: programs, offscreen targets
// and the cell table are (re)made here.
void qxFlGLWindow::StartEngineGpu() {
  engine_->SetGpu(std::make_unique<GlMosaicGpu>());
  engine_->Gpu()->SetPictureMipmaps((draw_flags_ & kDrawMipmapping) != 0);
  engine_->Gpu()->BuildPrograms();
  engine_->SetImageSize(engine_->Geometry().ImageWidth(), engine_->Geometry().ImageHeight());
  if (Ready() && !engine_->Target().path.empty()) {
    // The mosaic textures went with the old GPU side: make them again.
    engine_->SetTarget(engine_->Target().path);
    engine_->GenerateMosaic();
  }
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
  in.icons = &icons_;
  in.hover_name = input_.HoverName();
  in.logo_texture = gl_.logo.name();
  in.cursor_texture = gl_.cursor.name();
  in.font = &font_;
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
  in.first_cell_name = first_cell_name_;
  return in;
}

void qxFlGLWindow::draw() {
  GuardEvent("drawing the view", [this] {
    if (gl_unusable_) return;
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
