#include "view/gl_window.h"

#include <FL/Fl.H>
#include <FL/gl.h>

#include "mosaic/mosaic_config.h"
#include "mosaic/photo_mosaic.h"
#include "settings/ini_store.h"
#include "settings/log_stream.h"
#include "settings/window_settings.h"

namespace tessaline {

qxFlGLWindow::qxFlGLWindow(int x, int y, int w, int h, const char* label, ViewOwner* owner)
    : Fl_Gl_Window(x, y, w, h, label), view_w_(w), view_h_(h), owner_(owner) {
  // The view holds no child widgets: close its group at once so that the
  // main window's later widgets do not land in it.
  end();
  LoadMosaicConfig();
  engine_ = std::make_unique<qxPhotoMosaic>(Config());
  tile_size_index_ = engine_->TileSizeIndex();
  RegisterDisplayKeys();
}

qxFlGLWindow::~qxFlGLWindow() {
  config_.reset();
  engine_.reset();
}

void qxFlGLWindow::LoadMosaicConfig() {
  const std::string file = std::string(kProgramName) + ".cfg";
  config_ = std::make_unique<qxINI>();
  RegisterMosaicKeys(*config_, Config());
  if (config_->Load(file)) return;
  view_log() << "Failed to open the " << file << " file!" << std::endl;
  if (config_->Save(config_.get(), file)) view_log() << "save : " << file << std::endl;
}

void qxFlGLWindow::RegisterDisplayKeys() {
  qxINI* store = WindowSettings();
  if (!store) return;
  store->Register("gl", "draw", &draw_flags_, draw_flags_);
  store->Register("gl", "font", &font_size_, font_size_);
  store->Register("gl", "font_file", &font_file_, font_file_);
  store->Register("mosaic", "alpha", &alpha_, alpha_);
}

void qxFlGLWindow::TileSizeLabels(std::vector<std::string>& labels) const {
  labels.clear();
  for (const TileSize& size : engine_->TileSizes()) labels.push_back(TileSizeLabel(size));
}

void qxFlGLWindow::draw() {
  if (!valid()) {
    view_w_ = pixel_w();
    view_h_ = pixel_h();
    scale_x_ = static_cast<double>(engine_->ImageWidth()) / view_w_;
    scale_y_ = static_cast<double>(engine_->ImageHeight()) / view_h_;
    glViewport(0, 0, view_w_, view_h_);
  }
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
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
    default:
      return Fl_Gl_Window::handle(event);
  }
}

void qxFlGLWindow::UpdateModifier() {
  if (Fl::event_state(FL_SHIFT))
    modifier_ = 2;
  else if (Fl::event_state(FL_CTRL))
    modifier_ = 3;
  else
    modifier_ = 1;
}

void qxFlGLWindow::MouseButton(int, bool, int, int) { UpdateModifier(); }

void qxFlGLWindow::MouseDrag(int, int) { UpdateModifier(); }

void qxFlGLWindow::MouseMove(int x, int y) {
  UpdateModifier();
  mouse_x_ = x;
  mouse_y_ = y;
}

void qxFlGLWindow::KeyDown(int, int, int) { UpdateModifier(); }

void qxFlGLWindow::resize(int x, int y, int w, int h) { Fl_Gl_Window::resize(x, y, w, h); }

}  // namespace tessaline
