#pragma once
// qxFlGLWindow: the OpenGL view inside the main window. It owns the mosaic
// configuration store and the engine, turns commands into engine calls and
// draws. Everything here runs on the GUI thread.

#include <FL/Fl_Gl_Window.H>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "view/view_owner.h"

namespace tessaline {

class qxINI;
class qxPhotoMosaic;

class qxFlGLWindow : public Fl_Gl_Window {
 public:
  // Reads tessaline.cfg (writing it with the defaults when it cannot be
  // read), creates the engine and registers the display keys in the window
  // settings store.
  qxFlGLWindow(int x, int y, int w, int h, const char* label, ViewOwner* owner);
  ~qxFlGLWindow() override;

  void draw() override;
  int handle(int event) override;
  void resize(int x, int y, int w, int h) override;

  // Mouse and key input, forwarded by the main window with coordinates
  // relative to the view's top left corner (pixels, y down).
  void MouseButton(int button, bool pressed, int x, int y);
  void MouseDrag(int x, int y);
  void MouseMove(int x, int y);
  void KeyDown(int key, int x, int y);

  // One label per offered tile size, "32 x 18".
  void TileSizeLabels(std::vector<std::string>& labels) const;

  double Alpha() const { return alpha_; }
  int DrawFlags() const { return draw_flags_; }
  int TileSizeIndex() const { return tile_size_index_; }
  qxPhotoMosaic& Engine() { return *engine_; }

 private:
  void LoadMosaicConfig();
  void RegisterDisplayKeys();
  void UpdateModifier();

  int view_w_;
  int view_h_;
  double scale_x_ = 1.0;
  double scale_y_ = 1.0;
  ViewOwner* owner_;
  std::uint32_t font_size_ = 14;
  std::string font_file_ = "Inconsolata.ttf";
  std::unique_ptr<qxINI> config_;
  std::unique_ptr<qxPhotoMosaic> engine_;
  double alpha_ = 1.0;
  int tile_size_index_ = 0;
  int draw_flags_ = 65;  // "Icon" and "Tile elevating"
  int modifier_ = 1;     // 2 with Shift, 3 with Ctrl, else 1
  int mouse_x_ = 0;      // position of the last move
  int mouse_y_ = 0;
};

}  // namespace tessaline
