// Files dropped on the view.

#include <FL/Fl.H>

#include <iostream>

#include "app/dnd_box.h"
#include "app/drop_paths.h"
#include "app/main_window.h"
#include "settings/log_stream.h"
#include "view/event_guard.h"
#include "view/gl_window.h"

namespace tessaline {

// Runs from a zero-second timeout after the paste has been taken, on the GUI
// thread. Every dropped path is printed; only the first one is opened.
void qxFlWindow::OnDrop(Fl_Widget* box, void* window) {
  auto* target = static_cast<qxFlDndBox*>(box);
  auto* self = static_cast<qxFlWindow*>(window);
  if (target->Event() != FL_PASTE) return;
  GuardEvent("drop", [&] {
    const std::vector<std::string> paths = DroppedPaths(target->Text());
    for (std::size_t i = 0; i < paths.size(); ++i)
      view_log() << "file" << i << " : " << paths[i] << std::endl;
    if (paths.empty()) return;
    const std::string& first = paths.front();
    switch (DropKindOf(DropExtension(first))) {
      case DropKind::kMovie:
        self->view_->ToggleVideoInput(first);
        break;
      case DropKind::kImage:
        self->view_->OpenImage(first);
        break;
      case DropKind::kNothing:
        break;
    }
    self->SetCurrentFile(first);
  });
}

}  // namespace tessaline
