// qxFlWindow: the menu bar, its callbacks and the marks that follow the view.

#include <GL/glew.h>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/fl_ask.H>

#include "app/main_menu.h"
#include "app/main_window.h"
#include "view/gl_window.h"

namespace tessaline {

void qxFlWindow::BuildMenuBar(int w) {
  menu_bar_ = new Fl_Menu_Bar(0, 0, w, 20);
  menu_bar_->user_data(this);
  AddMenuItems();
}

void qxFlWindow::AddMenuItems() {
  view_->TileSizeLabels(menu_tile_labels_);
  menu_entries_ = MainMenuEntries(menu_tile_labels_);
  AddMenuEntries(*menu_bar_, menu_entries_, OnMenu);
}

// Runs from a zero timeout: the menu's items cannot be replaced while the
// menu is still handling the pick that changed the tile size list.
void qxFlWindow::RebuildMenu(void* window) {
  auto* self = static_cast<qxFlWindow*>(window);
  self->AddMenuItems();
  self->ApplyMenuMarks();
}

void qxFlWindow::UpdateMenuStates() {
  std::vector<std::string> labels;
  view_->TileSizeLabels(labels);
  if (labels != menu_tile_labels_) {
    Fl::remove_timeout(RebuildMenu, this);
    Fl::add_timeout(0.0, RebuildMenu, this);
  }
  ApplyMenuMarks();
}

void qxFlWindow::ApplyMenuMarks() {
  MenuInputs in;
  in.draw_flags = view_->DrawFlags();
  in.ready = view_->Ready();
  in.auto_pilot = view_->AutoPilot();
  in.input_mode = view_->InputMode();
  in.tile_size_index = view_->TileSizeIndex();
  in.full_screen = full_screen_;
  in.recording = view_->Recording();
  tessaline::ApplyMenuMarks(*menu_bar_, menu_entries_, in);
  const PanelMarks panel = PanelMarksFor(in);
  if (panel.start_stop_active)
    start_stop_button_->activate();
  else
    start_stop_button_->deactivate();
  if (panel.output_active)
    output_button_->activate();
  else
    output_button_->deactivate();
  output_button_->value(panel.output_checked ? 1 : 0);
  menu_bar_->redraw();
}

void qxFlWindow::OnMenu(Fl_Widget* menu, void* entry) {
  auto* self = static_cast<qxFlWindow*>(menu->user_data());
  self->RunMenuCommand(*static_cast<const MenuEntry*>(entry));
}

void qxFlWindow::RunMenuCommand(const MenuEntry& entry) {
  switch (entry.command) {
    case MenuCommand::kImportImage:
      return ImportImage();
    case MenuCommand::kImportMovie:
      return ImportMovie();
    case MenuCommand::kExportImage:
      return ExportImage();
    case MenuCommand::kExportPrint:
      return ExportPrint();
    case MenuCommand::kQuit:
      return Quit();
    case MenuCommand::kDrawToggle:
      return view_->ToggleDrawFlag(entry.index);
    case MenuCommand::kGenerate:
      return view_->Command(ViewCommand::kGenerate);
    case MenuCommand::kRandom:
      return view_->Command(ViewCommand::kRandom);
    case MenuCommand::kCameraInput:
      return view_->Command(ViewCommand::kCameraInput);
    case MenuCommand::kAutoPilot:
      return view_->Command(ViewCommand::kAutoPilot);
    case MenuCommand::kTileSize:
      return view_->Command(ViewCommand::kTileSize, entry.index);
    case MenuCommand::kChooseImagesDir:
      return view_->Command(ViewCommand::kChooseImagesDir);
    case MenuCommand::kUpdateImages:
      return view_->Command(ViewCommand::kUpdateImages);
    case MenuCommand::kPreference:
      return view_->Command(ViewCommand::kPreference);
    case MenuCommand::kStep:
      return view_->Step();
    case MenuCommand::kAnimation:
      return view_->StartStop();
    case MenuCommand::kFullScreen:
      ToggleFullScreen();
      return UpdateMenuStates();
    case MenuCommand::kVersion:
      fl_message("%s", kVersionMessage);
      return;
  }
}

}  // namespace tessaline
