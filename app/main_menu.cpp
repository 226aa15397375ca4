#include "app/main_menu.h"

#include <FL/Enumerations.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Menu_Item.H>

#include "view/draw_toggles.h"
#include "view/input_mode.h"

namespace tessaline {

const char* const kVersionMessage = "OpenGL Application by FLTK\n  version 1.0";

std::string TileSizeMenuLabel(const std::string& label) {
  return "Photomosaic/Tile size/" + label + "  ";
}

std::vector<MenuEntry> MainMenuEntries(const std::vector<std::string>& tile_size_labels) {
  using G = MenuGroup;
  std::vector<MenuEntry> menu = {
      {"File/Import/Image  ", FL_CTRL + 'f', 0, G::kFile},
      {"File/Import/Movie  ", FL_CTRL + 'm', 0, G::kFile},
      {"File/Export/Image  ", FL_CTRL + 's', 0, G::kFile},
      {"File/Export/Print or deep zoom  ", FL_CTRL + 'e', FL_MENU_DIVIDER, G::kFile},
      {"File/Quit", FL_Escape, 0, G::kFile},
  };
  for (const DrawToggle& toggle : kDrawToggles)
    menu.push_back({std::string("Draw/") + toggle.label + "  ",
                    static_cast<int>(fl_old_shortcut(toggle.shortcut)), FL_MENU_TOGGLE, G::kDraw});
  menu.push_back({"Photomosaic/Generate  ", 'm', FL_MENU_DIVIDER, G::kPhotomosaic});
  menu.push_back({"Photomosaic/Random  ", 'r', 0, G::kPhotomosaic});
  // An upper-case letter as a shortcut needs Shift.
  menu.push_back({"Photomosaic/Camera Input  ", 'A', FL_MENU_TOGGLE, G::kPhotomosaic});
  menu.push_back(
      {"Photomosaic/Auto Pilot  ", 'a', FL_MENU_TOGGLE | FL_MENU_DIVIDER, G::kPhotomosaic});
  for (const std::string& label : tile_size_labels)
    menu.push_back({TileSizeMenuLabel(label), 0, FL_MENU_RADIO, G::kPhotomosaic});
  menu.push_back({"Photomosaic/Choose images dir  ", 'd', 0, G::kPhotomosaic});
  menu.push_back({"Photomosaic/Update images  ", 'u', FL_MENU_DIVIDER, G::kPhotomosaic});
  menu.push_back({"Photomosaic/Preference  ", 'p', 0, G::kPhotomosaic});
  menu.push_back({"OpenGL/Step", ' ', 0, G::kOpenGL});
  menu.push_back({"OpenGL/Animation  ", 's', 0, G::kOpenGL});
  menu.push_back({"Window/FullScreen  ", FL_ALT + FL_Enter, FL_MENU_TOGGLE, G::kWindow});
  menu.push_back({"Help/Version", 0, 0, G::kHelp});
  return menu;
}

std::vector<MenuItemMarks> MenuMarks(const MenuInputs& in,
                                     const std::vector<std::string>& tile_size_labels) {
  std::vector<MenuItemMarks> marks;
  for (std::size_t i = 0; i < kDrawToggles.size(); ++i)
    marks.push_back(
        {std::string("Draw/") + kDrawToggles[i].label + "  ", (in.draw_flags >> i & 1) != 0, true});
  marks.push_back({"Photomosaic/Random  ", false, in.ready});
  marks.push_back({"Photomosaic/Auto Pilot  ", in.auto_pilot, in.ready});
  marks.push_back({"Photomosaic/Camera Input  ", in.input_mode == kLiveInput, in.ready});
  for (std::size_t i = 0; i < tile_size_labels.size(); ++i)
    marks.push_back(
        {TileSizeMenuLabel(tile_size_labels[i]), static_cast<int>(i) == in.tile_size_index, true});
  marks.push_back({"Window/FullScreen  ", in.full_screen, true});
  return marks;
}

PanelMarks PanelMarksFor(const MenuInputs& in) {
  PanelMarks marks;
  marks.start_stop_active = in.ready;
  marks.output_active = in.input_mode == kLiveInput;
  marks.output_checked = marks.output_active && in.recording;
  return marks;
}

}  // namespace tessaline
