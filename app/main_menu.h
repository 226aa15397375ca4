#pragma once
// The main window's menu as data: every item in the order it is added, with
// its label, shortcut, flags and the command it stands for, and the check,
// radio and active marks that follow the view's state. An item carries its
// entry as user data, so a pick is dispatched by what the item is, never by
// its label text. GUI thread only.

#include <string>
#include <vector>

class Fl_Menu_;
class Fl_Widget;

namespace tessaline {

enum class MenuCommand {
  kImportImage,
  kImportMovie,
  kExportImage,
  kExportPrint,
  kQuit,
  kDrawToggle,  // index: the toggle's bit
  kGenerate,
  kRandom,
  kCameraInput,
  kAutoPilot,
  kTileSize,  // index: the size's place in the view's list
  kChooseImagesDir,
  kUpdateImages,
  kPreference,
  kStep,
  kAnimation,
  kFullScreen,
  kVersion,
};

struct MenuEntry {
  std::string label;  // full path, trailing spaces included ("File/Quit")
  int shortcut = 0;   // toolkit key code, 0 for none
  int flags = 0;      // FL_MENU_* flags
  MenuCommand command = MenuCommand::kQuit;
  int index = 0;
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
  bool checked = false;  // FL_MENU_VALUE
  bool active = true;    // not FL_MENU_INACTIVE
};

// The marks of one entry: toggles and radios checked by the view's state,
// the commands that need a mosaic greyed until there is one.
MenuItemMarks MarksFor(const MenuEntry& entry, const MenuInputs& in);

// Replaces the menu's items by `entries`. Every item calls `callback` with
// its entry as user data: `entries` must stay unchanged while the menu
// holds them.
void AddMenuEntries(Fl_Menu_& menu, const std::vector<MenuEntry>& entries,
                    void (*callback)(Fl_Widget*, void*));

// Sets the marks of every item added from `entries`.
void ApplyMenuMarks(Fl_Menu_& menu, const std::vector<MenuEntry>& entries, const MenuInputs& in);

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
