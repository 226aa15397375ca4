#include "app/main_menu.h"

#include <FL/Enumerations.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Menu_.H>
#include <FL/Fl_Menu_Item.H>

#include <algorithm>

#include "view/draw_toggles.h"
#include "view/input_mode.h"

namespace tessaline {

const char* const kVersionMessage = "OpenGL Application by FLTK\n  version 1.0";

std::string TileSizeMenuLabel(const std::string& label) {
  return "Photomosaic/Tile size/" + label + "  ";
}

std::vector<MenuEntry> MainMenuEntries(const std::vector<std::string>& tile_size_labels) {
  using C = MenuCommand;
  std::vector<MenuEntry> menu = {
      {"File/Import/Image  ", FL_CTRL + 'f', 0, C::kImportImage},
      {"File/Import/Movie  ", FL_CTRL + 'm', 0, C::kImportMovie},
      {"File/Export/Image  ", FL_CTRL + 's', 0, C::kExportImage},
      {"File/Export/Print or deep zoom  ", FL_CTRL + 'e', FL_MENU_DIVIDER, C::kExportPrint},
      {"File/Quit", FL_Escape, 0, C::kQuit},
  };
  for (std::size_t i = 0; i < kDrawToggles.size(); ++i)
    menu.push_back({std::string("Draw/") + kDrawToggles[i].label + "  ",
                    static_cast<int>(fl_old_shortcut(kDrawToggles[i].shortcut)), FL_MENU_TOGGLE,
                    C::kDrawToggle, static_cast<int>(i)});
  menu.push_back({"Photomosaic/Generate  ", 'm', FL_MENU_DIVIDER, C::kGenerate});
  menu.push_back({"Photomosaic/Random  ", 'r', 0, C::kRandom});
  // An upper-case letter as a shortcut needs Shift.
  menu.push_back({"Photomosaic/Camera Input  ", 'A', FL_MENU_TOGGLE, C::kCameraInput});
  menu.push_back(
      {"Photomosaic/Auto Pilot  ", 'a', FL_MENU_TOGGLE | FL_MENU_DIVIDER, C::kAutoPilot});
  for (std::size_t i = 0; i < tile_size_labels.size(); ++i)
    menu.push_back({TileSizeMenuLabel(tile_size_labels[i]), 0, FL_MENU_RADIO, C::kTileSize,
                    static_cast<int>(i)});
  menu.push_back({"Photomosaic/Choose images dir  ", 'd', 0, C::kChooseImagesDir});
  menu.push_back({"Photomosaic/Update images  ", 'u', FL_MENU_DIVIDER, C::kUpdateImages});
  menu.push_back({"Photomosaic/Preference  ", 'p', 0, C::kPreference});
  menu.push_back({"OpenGL/Step", ' ', 0, C::kStep});
  menu.push_back({"OpenGL/Animation  ", 's', 0, C::kAnimation});
  menu.push_back({"Window/FullScreen  ", FL_ALT + FL_Enter, FL_MENU_TOGGLE, C::kFullScreen});
  menu.push_back({"Help/Version", 0, 0, C::kVersion});
  return menu;
}

MenuItemMarks MarksFor(const MenuEntry& entry, const MenuInputs& in) {
  switch (entry.command) {
    case MenuCommand::kDrawToggle:
      return {(in.draw_flags >> entry.index & 1) != 0, true};
    case MenuCommand::kRandom:
      return {false, in.ready};
    case MenuCommand::kAutoPilot:
      return {in.auto_pilot, in.ready};
    case MenuCommand::kCameraInput:
      return {in.input_mode == kLiveInput, in.ready};
    case MenuCommand::kTileSize:
      return {entry.index == in.tile_size_index, true};
    case MenuCommand::kFullScreen:
      return {in.full_screen, true};
    default:
      return {false, true};
  }
}

void AddMenuEntries(Fl_Menu_& menu, const std::vector<MenuEntry>& entries,
                    void (*callback)(Fl_Widget*, void*)) {
  menu.clear();
  for (const MenuEntry& entry : entries)
    menu.add(entry.label.c_str(), entry.shortcut, callback, const_cast<MenuEntry*>(&entry),
             entry.flags);
}

void ApplyMenuMarks(Fl_Menu_& menu, const std::vector<MenuEntry>& entries, const MenuInputs& in) {
  for (int i = 0; i < menu.size(); ++i) {
    auto* item = const_cast<Fl_Menu_Item*>(&menu.menu()[i]);
    const void* data = item->label() ? item->user_data() : nullptr;
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [data](const MenuEntry& entry) { return &entry == data; });
    if (found == entries.end()) continue;
    const MenuEntry* entry = &*found;
    const MenuItemMarks marks = MarksFor(*entry, in);
    if (entry->flags & (FL_MENU_TOGGLE | FL_MENU_RADIO)) {
      if (marks.checked)
        item->set();
      else
        item->clear();
    }
    if (marks.active)
      item->activate();
    else
      item->deactivate();
  }
}

PanelMarks PanelMarksFor(const MenuInputs& in) {
  PanelMarks marks;
  marks.start_stop_active = in.ready;
  marks.output_active = in.input_mode == kLiveInput;
  marks.output_checked = marks.output_active && in.recording;
  return marks;
}

}  // namespace tessaline
