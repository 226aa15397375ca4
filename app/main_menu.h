#pragma once
// The main window's menu as data: every item in the order it is added, with
// its label, shortcut, flags and the top-level callback that dispatches it,
// and the check, radio and active marks that follow the view's state. No
// widgets here: the main window builds its menu bar from these and tests
// read them directly.

#include <string>
#include <vector>

namespace tessaline {

// The callback that dispatches an item: the item's top-level menu.
enum class MenuGroup { kFile, kDraw, kPhotomosaic, kOpenGL, kWindow, kHelp };

struct MenuEntry {
  std::string label;  // full path, trailing spaces included ("File/Quit")
  int shortcut = 0;   // toolkit key code, 0 for none
  int flags = 0;      // FL_MENU_* flags
  MenuGroup group = MenuGroup::kFile;
};

// The whole menu, with one radio entry per offered tile size.
std::vector<MenuEntry> MainMenuEntries(const std::vector<std::string>& tile_size_labels);

// The label of tile size `label` in the Photomosaic menu.
std::string TileSizeMenuLabel(const std::string& label);

// What the marks depend on.
struct MenuInputs {
  int draw_flags = 0;
  bool ready = false;  // a tile library is loaded and a mosaic made
  bool auto_pilot = false;
  int input_mode = 0;  // 2 while a movie or camera drives the mosaic
  int tile_size_index = 0;
  bool full_screen = false;  // the main window's
  bool recording = false;
};

struct MenuItemMarks {
  std::string label;
  bool checked = false;  // FL_MENU_VALUE
  bool active = true;    // not FL_MENU_INACTIVE
};

// The marks of every toggle, radio and greyed item, by full label.
std::vector<MenuItemMarks> MenuMarks(const MenuInputs& in,
                                     const std::vector<std::string>& tile_size_labels);

// The panel's "Start/Stop" button and "Output " switch.
struct PanelMarks {
  bool start_stop_active = false;
  bool output_active = false;
  bool output_checked = false;  // only meaningful while active
};
PanelMarks PanelMarksFor(const MenuInputs& in);

// The Help/Version message.
extern const char* const kVersionMessage;

}  // namespace tessaline
