#pragma once
// qxFlWindow: the program's only top-level window. It holds the menu bar,
// the OpenGL view with the drop target over it, the control panel and the
// status line; forwards mouse and key events to the view with view-relative
// coordinates; remembers its geometry in tessaline.ini. GUI thread only.

#include <FL/Fl_Double_Window.H>

#include <string>
#include <vector>

#include "app/main_menu.h"
#include "view/view_owner.h"

class Fl_Box;
class Fl_Button;
class Fl_Check_Button;
class Fl_Group;
class Fl_Menu_Bar;
class Fl_Value_Slider;

namespace tessaline {

class qxFlDndBox;
class qxFlGLWindow;

// How the program ends when its OpenGL cannot run it (File/Quit ends with 1).
constexpr int kUnusableGlStatus = 3;
extern const char* const kGlAlertTitle;

class qxFlWindow : public Fl_Double_Window, public ViewOwner {
 public:
  qxFlWindow(int w, int h, const char* title);
  ~qxFlWindow() override;

  int handle(int event) override;

  void SetStatusText(const std::string& text) override;
  void SetOutputText(const std::string& text) override;
  void UpdateMenuStates() override;
  void ToggleFullScreen() override;
  bool IsFullScreen() const override { return full_screen_; }

  void LoadWindowSettings(const std::string& base_name);
  void SaveWindowSettings(const std::string& base_name);
  // Falls back to the default rectangle, with one console line, when the
  // loaded one is too small, too large or off every screen.
  void KeepWindowOnScreen(const std::string& base_name);

  // File/Quit: saves the window settings and ends the process with status 1
  // without running the destructor, so the settings are saved exactly once.
  [[noreturn]] void Quit();

  // The view's GL context cannot run the program: the message goes to
  // standard error at once and, from the event loop, into an alert titled
  // kGlAlertTitle; then the window closes, Fl::run returns and main gives
  // ExitStatus(), kUnusableGlStatus.
  void EndForUnusableGl(const std::string& message) override;
  int ExitStatus() const { return exit_status_; }

  // The file commands (File menu; app/file_commands.cpp): each asks for a
  // path with a file chooser and does nothing when none is chosen.
  void ImportImage();
  void ImportMovie();
  void ExportImage();
  // File/Export/Print or deep zoom: a choice of size (or a deep-zoom
  // folder), then the file; the view writes it on a worker.
  void ExportPrint();
  // The "Output " switch (app/movie_output.cpp): asks for the movie file and
  // switches the view's recording to `on`.
  void ChooseMovieOutput(int on);

  // Shows the name of the last opened, dropped or exported file (the part
  // after the last "\" or "/") on the status line.
  void SetCurrentFile(const std::string& path);

  qxFlGLWindow* View() const { return view_; }

 private:
  void BuildViewArea(int w, int h);
  void BuildMenuBar(int w);
  // (Re)fills the menu bar; the Tile size entries follow the view's list.
  void AddMenuItems();
  static void RebuildMenu(void* window);
  static void ShowGlFailure(void* window);
  void ApplyMenuMarks();
  void BuildControlPanel(int w, int h);
  int ForwardToView(int event);

  // Every menu item's callback: the menu bar's user data is this window,
  // the item's is its entry.
  static void OnMenu(Fl_Widget* menu, void* entry);
  void RunMenuCommand(const MenuEntry& entry);
  static void OnGenerate(Fl_Widget* button, void* window);
  static void OnStartStop(Fl_Widget* button, void* window);
  static void OnAlphaSlider(Fl_Widget* slider, void* window);
  static void OnSleepSlider(Fl_Widget* slider, void* window);
  static void OnColourSlider(Fl_Widget* slider, void* window);
  static void OnSteadySlider(Fl_Widget* slider, void* window);
  static void OnOutput(Fl_Widget* button, void* window);
  // The drop target's callback (app/drop.cpp): opens the first dropped
  // file by its extension.
  static void OnDrop(Fl_Widget* box, void* window);

  // Geometry bound to the [window] section of tessaline.ini.
  int width_;
  int height_;
  int pos_x_ = 100;
  int pos_y_ = 100;

  Fl_Menu_Bar* menu_bar_ = nullptr;
  qxFlDndBox* drop_target_ = nullptr;
  qxFlGLWindow* view_ = nullptr;
  Fl_Button* start_stop_button_ = nullptr;
  Fl_Button* generate_button_ = nullptr;
  Fl_Check_Button* output_button_ = nullptr;
  Fl_Box* output_box_ = nullptr;
  Fl_Box* status_box_ = nullptr;

  // Where the view is built inside this window. Events are made relative
  // to where it is now (it moves with resizes and view full screen).
  const int view_x_ = 7;
  const int view_y_ = 27;

  // The tile size labels the menu was built with, and its entries: the
  // items point into menu_entries_ until the menu is filled again.
  std::vector<std::string> menu_tile_labels_;
  std::vector<MenuEntry> menu_entries_;

  bool full_screen_ = false;
  int exit_status_ = 0;
  std::string gl_failure_;
  int restore_x_ = 0, restore_y_ = 0, restore_w_ = 0, restore_h_ = 0;
};

}  // namespace tessaline
