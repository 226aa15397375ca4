#include "app/main_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Scroll.H>
#include <FL/Fl_Value_Slider.H>
#include <FL/fl_ask.H>
#include <FL/x.H>
#include <X11/Xatom.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <vector>

#include "app/dnd_box.h"
#include "app/window_geometry.h"
#include "library/load_worker.h"
#include "settings/log_stream.h"
#include "settings/paths.h"
#include "settings/window_settings.h"
#include "view/gl_window.h"

namespace tessaline {
namespace {

// A value slider that follows a drag which reaches it as a press and a
// release alone. FLTK on X11 holds pointer motion back until the events
// already queued are handled, so on a busy program the press, the motion
// and the release of a quick drag arrive together, the motion comes after
// the release, and the slider would stay where it was. Here a release away
// from the last drag first drags to its own place; the callback sees that
// step as a drag (no save) and the release after it as the end of the drag.
class qxFlDragSlider : public Fl_Value_Slider {
 public:
  using Fl_Value_Slider::Fl_Value_Slider;

  int handle(int event) override {
    if (event == FL_RELEASE && (Fl::event_x() != drag_x_ || Fl::event_y() != drag_y_)) {
      Fl::e_number = FL_DRAG;
      Fl_Value_Slider::handle(FL_DRAG);
      Fl::e_number = FL_RELEASE;
    }
    if (event == FL_PUSH || event == FL_DRAG) {
      drag_x_ = Fl::event_x();
      drag_y_ = Fl::event_y();
    }
    return Fl_Value_Slider::handle(event);
  }

 private:
  int drag_x_ = 0;  // where the last press or drag was, window pixels
  int drag_y_ = 0;
};

}  // namespace

qxFlWindow::qxFlWindow(int w, int h, const char* title)
    : Fl_Double_Window(w, h, title), width_(w), height_(h) {
  BuildViewArea(w, h);
  LoadWindowSettings(kProgramName);
  BuildMenuBar(w);
  BuildControlPanel(w, h);
  status_box_ = new Fl_Box(0, h - 24, w, 24, "status");
  status_box_->box(FL_EMBOSSED_BOX);
  status_box_->labelfont(FL_HELVETICA_BOLD);
  status_box_->align(FL_ALIGN_INSIDE | FL_ALIGN_RIGHT | FL_ALIGN_WRAP);
  end();

  view_->take_focus();
  resize(pos_x_, pos_y_, width_, height_);
  UpdateMenuStates();
  show();
}

qxFlWindow::~qxFlWindow() {
  // A running tile-library load uses the view's engine: let it end before
  // the children (the view with its engine) are deleted. Its result would
  // not be used: it stops at the next picture.
  CancelLoad();
  WaitForLoad();
  Fl::remove_timeout(RebuildMenu, this);
  SaveWindowSettings(kProgramName);
  // The children (view, buttons, boxes) are deleted by the group.
}

void qxFlWindow::BuildViewArea(int w, int h) {
  auto* view_group = new Fl_Group(5, 25, w - 10, h - 214);
  view_group->box(FL_NO_BOX);
  view_ = new qxFlGLWindow(view_x_, view_y_, w - 14, h - 218, nullptr, this);
  view_->mode(FL_RGB | FL_DOUBLE | FL_ALPHA | FL_DEPTH);
  view_->box(FL_FLAT_BOX);
  view_->align(FL_ALIGN_INSIDE);
  drop_target_ = new qxFlDndBox(5, 25, w - 10, h - 214);
  drop_target_->callback(OnDrop, this);
  view_log() << view_group->w() << ", " << view_group->h() << std::endl;
  view_group->end();
  resizable(view_group);
}

void qxFlWindow::BuildControlPanel(int w, int h) {
  auto* panel = new Fl_Scroll(5, h - 179, w - 10, 150);
  panel->box(FL_FLAT_BOX);

  generate_button_ = new Fl_Button(12, h - 174, 80, 25, "Generate");
  generate_button_->down_box(FL_FLAT_BOX);
  generate_button_->clear_visible_focus();
  generate_button_->callback(OnGenerate, this);
  start_stop_button_ = new Fl_Button(12, h - 144, 80, 25, "Start/Stop");
  start_stop_button_->down_box(FL_FLAT_BOX);
  start_stop_button_->clear_visible_focus();
  start_stop_button_->callback(OnStartStop, this);

  auto* mosaic_group = new Fl_Group(99, h - 174, 220, 144, "Photomosaic");
  mosaic_group->box(FL_DOWN_BOX);
  mosaic_group->labelsize(12);
  mosaic_group->align(FL_ALIGN_TOP | FL_ALIGN_INSIDE);
  // Four sliders 29 pixels apart below the group's label.
  auto* alpha = new qxFlDragSlider(159, h - 149, 145, 25, "Alpha ");
  alpha->type(FL_HOR_SLIDER);
  alpha->bounds(0, 1);
  alpha->step(0.01);
  alpha->value(view_->Alpha());
  alpha->align(FL_ALIGN_LEFT);
  alpha->callback(OnAlphaSlider, this);
  auto* sleep = new qxFlDragSlider(159, h - 120, 145, 25, "Sleep ");
  sleep->type(FL_HOR_SLIDER);
  sleep->bounds(0, 200);
  sleep->step(1);
  sleep->value(50);
  sleep->align(FL_ALIGN_LEFT);
  sleep->callback(OnSleepSlider, this);
  auto* colour = new qxFlDragSlider(159, h - 91, 145, 25, "Colour ");
  colour->type(FL_HOR_SLIDER);
  colour->bounds(0, 1);
  colour->step(0.01);
  colour->value(view_->ColorCorrection());
  colour->align(FL_ALIGN_LEFT);
  // Every move redraws; the release (or a key) also logs the value.
  colour->when(FL_WHEN_CHANGED | FL_WHEN_RELEASE);
  colour->callback(OnColourSlider, this);
  auto* steady = new qxFlDragSlider(159, h - 62, 145, 25, "Steady ");
  steady->type(FL_HOR_SLIDER);
  steady->bounds(0, 1);
  steady->step(0.01);
  steady->value(view_->Steadiness());
  steady->align(FL_ALIGN_LEFT);
  steady->when(FL_WHEN_CHANGED | FL_WHEN_RELEASE);
  steady->callback(OnSteadySlider, this);
  mosaic_group->end();

  auto* output_group = new Fl_Group(324, h - 174, 180, 144, "Output");
  output_group->box(FL_DOWN_BOX);
  output_group->labelsize(12);
  output_group->align(FL_ALIGN_TOP | FL_ALIGN_INSIDE);
  output_button_ = new Fl_Check_Button(394, h - 144, 25, 25, "Output ");
  output_button_->down_box(FL_DOWN_BOX);
  output_button_->align(FL_ALIGN_LEFT);
  output_button_->callback(OnOutput, this);
  output_box_ = new Fl_Box(344, h - 114, 150, 30);
  output_box_->box(FL_FLAT_BOX);
  output_box_->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT | FL_ALIGN_WRAP);
  output_group->end();

  panel->end();
}

void qxFlWindow::LoadWindowSettings(const std::string& base_name) {
  qxINI& store = CreateWindowSettings();
  store.Register("window", "width", &width_, width_);
  store.Register("window", "height", &height_, height_);
  store.Register("window", "pos_x", &pos_x_, pos_x_);
  store.Register("window", "pos_y", &pos_y_, pos_y_);
  // The file is saved at exit with the values in use either way, so the
  // lines that could not be read are the only thing lost.
  switch (store.LoadFile(base_name + ".ini")) {
    case IniLoadResult::kRead:
      break;
    case IniLoadResult::kNotOpened:
      support_log() << "Failed opening the " << base_name << ".ini file!" << std::endl;
      break;
    case IniLoadResult::kMalformed:
      support_log() << base_name
                    << ".ini has lines that could not be read; the values of the others are used"
                << std::endl;
      break;
  }
  // The view's display keys are in this store too: a font or an alpha
  // beyond reason is used at its nearest sane value.
  store.MendValues(view_log());
  KeepWindowOnScreen(base_name);
}

void qxFlWindow::KeepWindowOnScreen(const std::string& base_name) {
  std::vector<WindowRect> work_areas;
  for (int screen = 0; screen < Fl::screen_count(); ++screen) {
    WindowRect area;
    Fl::screen_work_area(area.x, area.y, area.w, area.h, screen);
    work_areas.push_back(area);
  }
  if (WindowRectUsable({pos_x_, pos_y_, width_, height_}, work_areas)) return;
  support_log() << base_name << ".ini window " << width_ << " x " << height_ << " at " << pos_x_ << ", "
            << pos_y_ << " is too small or off the screen; opening at " << kDefaultWindowRect.w
            << " x " << kDefaultWindowRect.h << " at " << kDefaultWindowRect.x << ", "
            << kDefaultWindowRect.y << std::endl;
  pos_x_ = kDefaultWindowRect.x;
  pos_y_ = kDefaultWindowRect.y;
  width_ = kDefaultWindowRect.w;
  height_ = kDefaultWindowRect.h;
}

void qxFlWindow::SaveWindowSettings(const std::string& base_name) {
  qxINI* store = WindowSettings();
  if (!store) return;
  // Full screen is not a size to open at next time: keep the rectangle the
  // window had before it.
  width_ = full_screen_ ? restore_w_ : w();
  height_ = full_screen_ ? restore_h_ : h();
  pos_x_ = full_screen_ ? restore_x_ : x();
  pos_y_ = full_screen_ ? restore_y_ : y();
  if (store->Save(store, base_name + ".ini"))
    support_log() << "save : " << base_name << ".ini" << std::endl;
  DeleteWindowSettings();
}

const char* const kGlAlertTitle = "tessaline : OpenGL";

void qxFlWindow::EndForUnusableGl(const std::string& message) {
  exit_status_ = kUnusableGlStatus;
  gl_failure_ = message;
  // Called while the view draws: a modal dialog opened here would run the
  // event loop from inside the drawing.
  Fl::add_timeout(0.0, ShowGlFailure, this);
}

void qxFlWindow::ShowGlFailure(void* data) {
  auto* window = static_cast<qxFlWindow*>(data);
  fl_message_title(kGlAlertTitle);
  fl_alert("%s", window->gl_failure_.c_str());
  // The last window gone, Fl::run returns and main ends with the status.
  window->hide();
}

void qxFlWindow::Quit() {
  // The process ends below; a load still running must not be cut off while
  // it writes its cache and tile files. Asked to stop, it ends within a
  // picture or so and writes no cache, so the old one stays whole.
  CancelLoad();
  WaitForLoad();
  // Nor may an export's worker be cut off while it writes; asked to stop,
  // it leaves no file behind.
  view_->CancelExport();
  // No destructor runs: a recording is finished here or its file is lost.
  if (view_->Recording()) view_->SetRecording(0, "output.avi");
  SaveWindowSettings(kProgramName);
  // Nor is any GL object freed by a destructor: free them in their context.
  view_->ReleaseGl();
  std::exit(1);
}

void qxFlWindow::SetStatusText(const std::string& text) { status_box_->copy_label(text.c_str()); }

void qxFlWindow::SetCurrentFile(const std::string& path) {
  const std::string file_name = BaseName(path);
  SetStatusText(file_name);
  // Like the view's status texts, this one is also logged so that scripts
  // can follow the program.
  view_log() << "status : " << file_name << std::endl;
}

void qxFlWindow::SetOutputText(const std::string& text) { output_box_->copy_label(text.c_str()); }

namespace {

// True when a window manager that takes full-screen requests runs. Without
// one the toolkit fakes full screen by hiding and showing the window again,
// which re-creates the view's window under its GL context: the view then
// draws nothing. Such screens get a plain resize to the whole screen.
bool WindowManagerTakesFullScreen() {
  fl_open_display();
  const Atom check = XInternAtom(fl_display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  const int status =
      XGetWindowProperty(fl_display, RootWindow(fl_display, fl_screen), check, 0, 1, False,
                         XA_WINDOW, &type, &format, &count, &remaining, &data);
  const bool found = status == Success && data != nullptr && count == 1;
  if (data) XFree(data);
  return found;
}

}  // namespace

void qxFlWindow::ToggleFullScreen() {
  const bool managed = WindowManagerTakesFullScreen();
  if (full_screen_) {
    if (managed)
      fullscreen_off(restore_x_, restore_y_, restore_w_, restore_h_);
    else
      resize(restore_x_, restore_y_, restore_w_, restore_h_);
    full_screen_ = false;
  } else {
    restore_x_ = x();
    restore_y_ = y();
    restore_w_ = w();
    restore_h_ = h();
    if (managed) {
      fullscreen();
    } else {
      int sx = 0, sy = 0, sw = 0, sh = 0;
      Fl::screen_xywh(sx, sy, sw, sh, x(), y(), w(), h());
      resize(sx, sy, sw, sh);
    }
    full_screen_ = true;
  }
}

int qxFlWindow::ForwardToView(int event) {
  // Mouse and key events over the view arrive here, in window coordinates;
  // the view's own handler sees none of them. The view moves when the
  // window is resized and covers it in view full screen, so its offset is
  // read at each event.
  const int x = Fl::event_x() - view_->x();
  const int y = Fl::event_y() - view_->y();
  switch (event) {
    case FL_PUSH:
      view_->MouseButton(Fl::event_key() - FL_Button, true, x, y);
      return 0;
    case FL_RELEASE:
      view_->MouseButton(Fl::event_key() - FL_Button, false, x, y);
      return 0;
    case FL_DRAG:
      view_->MouseDrag(x, y);
      return 0;
    case FL_KEYDOWN:
      view_->KeyDown(Fl::event_key(), x, y);
      UpdateMenuStates();
      return 0;
    case FL_MOVE:
      view_->MouseMove(x, y);
      return 0;
    case FL_PASTE:
      return 1;
    case FL_DND_ENTER:
    case FL_DND_DRAG:
    case FL_DND_LEAVE:
    case FL_DND_RELEASE:
      // Drags go to the window's group, never to the view's mouse handling:
      // the group makes the drop target lying over the view the widget
      // below the mouse, and the toolkit pastes the drop into that widget.
      return 0;
    default:
      return 0;
  }
}

namespace {

bool IsMouseEvent(int event) {
  switch (event) {
    case FL_PUSH:
    case FL_RELEASE:
    case FL_DRAG:
    case FL_MOVE:
    case FL_MOUSEWHEEL:
      return true;
    default:
      return false;
  }
}

}  // namespace

int qxFlWindow::handle(int event) {
  if (ForwardToView(event)) return 1;
  // While the view covers the window, the menu bar and the panel lie hidden
  // under it: the mouse is the view's alone. Keys still reach the menu
  // shortcuts.
  if (view_->ViewFullScreen() && IsMouseEvent(event)) return 1;
  return Fl_Double_Window::handle(event);
}

// The buttons hand the keyboard back to the view, which takes the keys.
void qxFlWindow::OnGenerate(Fl_Widget*, void* window) {
  qxFlGLWindow* view = static_cast<qxFlWindow*>(window)->view_;
  view->Command(ViewCommand::kGenerate);
  view->take_focus();
}
void qxFlWindow::OnStartStop(Fl_Widget*, void* window) {
  qxFlGLWindow* view = static_cast<qxFlWindow*>(window)->view_;
  view->StartStop();
  view->take_focus();
}
// Each slider has its own callback: which one moved is known by identity,
// never by its label.
void qxFlWindow::OnAlphaSlider(Fl_Widget* slider, void* window) {
  static_cast<qxFlWindow*>(window)->view_->SetAlpha(static_cast<Fl_Valuator*>(slider)->value());
}
void qxFlWindow::OnSleepSlider(Fl_Widget* slider, void* window) {
  static_cast<qxFlWindow*>(window)->view_->SetZoomPause(static_cast<Fl_Valuator*>(slider)->value());
}
// A drag calls back at every step; its end (or a key) counts as released.
// A mouse that lets the slider go hands the keys back to the view (the
// arrows walk the tile sizes there); keys on the slider keep it.
void qxFlWindow::OnColourSlider(Fl_Widget* slider, void* window) {
  qxFlGLWindow* view = static_cast<qxFlWindow*>(window)->view_;
  const int event = Fl::event();
  view->SetColorCorrection(static_cast<Fl_Valuator*>(slider)->value(),
                           event != FL_PUSH && event != FL_DRAG);
  if (event == FL_RELEASE) view->take_focus();
}
// The next live frame keeps its tiles by the new share; a still mosaic
// never keeps tiles, so nothing is made again.
void qxFlWindow::OnSteadySlider(Fl_Widget* slider, void* window) {
  qxFlGLWindow* view = static_cast<qxFlWindow*>(window)->view_;
  const int event = Fl::event();
  view->SetSteadiness(static_cast<Fl_Valuator*>(slider)->value(),
                      event != FL_PUSH && event != FL_DRAG);
  if (event == FL_RELEASE) view->take_focus();
}

}  // namespace tessaline
