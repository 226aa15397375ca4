// qxFlWindow: the menu bar, its callbacks and the marks that follow the view.

#include <GL/glew.h>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/fl_ask.H>

#include <cstring>

#include "app/main_menu.h"
#include "app/main_window.h"
#include "view/gl_window.h"

namespace tessaline {
namespace {

// The picked item's path after its top-level prefix ("File/"), or null.
// The path buffer holds 79 characters, as the menu's labels need.
const char* PickedPath(Fl_Widget* menu, const char* prefix, char (&path)[80]) {
  auto* bar = static_cast<Fl_Menu_*>(menu);
  if (bar->item_pathname(path, sizeof(path) - 1) != 0) return nullptr;
  const std::size_t skip = std::strlen(prefix);
  if (std::strlen(path) < skip) return nullptr;
  return path + skip;
}

bool StartsWith(const char* text, const char* word) {
  return std::strncmp(text, word, std::strlen(word)) == 0;
}

}  // namespace

void qxFlWindow::BuildMenuBar(int w) {
  menu_bar_ = new Fl_Menu_Bar(0, 0, w, 20);
  AddMenuItems();
}

void qxFlWindow::AddMenuItems() {
  view_->TileSizeLabels(menu_tile_labels_);
  menu_bar_->clear();
  for (const MenuEntry& entry : MainMenuEntries(menu_tile_labels_)) {
    // The Draw and Photomosaic commands belong to the view, the others to
    // this window.
    Fl_Callback* callback = nullptr;
    void* data = this;
    switch (entry.group) {
      case MenuGroup::kFile:
        callback = OnFileMenu;
        break;
      case MenuGroup::kDraw:
        callback = OnDrawMenu;
        data = view_;
        break;
      case MenuGroup::kPhotomosaic:
        callback = OnPhotomosaicMenu;
        data = view_;
        break;
      case MenuGroup::kOpenGL:
        callback = OnOpenGLMenu;
        break;
      case MenuGroup::kWindow:
        callback = OnWindowMenu;
        break;
      case MenuGroup::kHelp:
        callback = OnHelpMenu;
        break;
    }
    menu_bar_->add(entry.label.c_str(), entry.shortcut, callback, data, entry.flags);
  }
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
  for (const MenuItemMarks& marks : MenuMarks(in, menu_tile_labels_)) {
    auto* item = const_cast<Fl_Menu_Item*>(menu_bar_->find_item(marks.label.c_str()));
    if (item == nullptr) continue;
    if (marks.checked)
      item->set();
    else
      item->clear();
    if (marks.active)
      item->activate();
    else
      item->deactivate();
  }
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

void qxFlWindow::OnFileMenu(Fl_Widget* menu, void* window) {
  char path[80];
  const char* rest = PickedPath(menu, "File/", path);
  if (rest == nullptr) return;
  auto* self = static_cast<qxFlWindow*>(window);
  if (StartsWith(rest, "Import/Image"))
    self->ImportImage();
  else if (StartsWith(rest, "Import/Movie"))
    self->ImportMovie();
  else if (StartsWith(rest, "Export/Image"))
    self->ExportImage();
  else if (StartsWith(rest, "Export/Print"))
    self->ExportPrint();
  else if (StartsWith(rest, "Quit"))
    self->Quit();
}

void qxFlWindow::OnDrawMenu(Fl_Widget* menu, void* view) {
  char path[80];
  if (const char* rest = PickedPath(menu, "Draw/", path))
    static_cast<qxFlGLWindow*>(view)->ToggleDrawFlag(rest);
}

void qxFlWindow::OnPhotomosaicMenu(Fl_Widget* menu, void* view) {
  char path[80];
  if (const char* rest = PickedPath(menu, "Photomosaic/", path))
    static_cast<qxFlGLWindow*>(view)->Command(rest);
}

void qxFlWindow::OnOpenGLMenu(Fl_Widget* menu, void* window) {
  char path[80];
  const char* rest = PickedPath(menu, "OpenGL/", path);
  if (rest == nullptr) return;
  qxFlGLWindow* view = static_cast<qxFlWindow*>(window)->view_;
  if (StartsWith(rest, "Step"))
    view->Step();
  else if (StartsWith(rest, "Animation"))
    view->StartStop();
}

void qxFlWindow::OnWindowMenu(Fl_Widget* menu, void* window) {
  char path[80];
  const char* rest = PickedPath(menu, "Window/", path);
  if (rest == nullptr || !StartsWith(rest, "FullScreen")) return;
  auto* self = static_cast<qxFlWindow*>(window);
  self->ToggleFullScreen();
  self->UpdateMenuStates();
}

void qxFlWindow::OnHelpMenu(Fl_Widget*, void*) { fl_message("%s", kVersionMessage); }

}  // namespace tessaline
