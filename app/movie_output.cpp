// The "Output " switch: recording the view to a movie file.

#include <FL/Fl.H>
#include <FL/Fl_Button.H>

#include <string>
#include <vector>

#include "app/file_chooser.h"
#include "app/main_window.h"
#include "view/event_guard.h"
#include "view/gl_window.h"

namespace tessaline {

void qxFlWindow::ChooseMovieOutput(int on) {
  std::vector<std::string> paths;
  if (ShowFileChooser(paths, "Movie Output", "All Files|*", false, true) == 0) {
    // Cancelled: the recording goes on as it was, and the switch shows it.
    UpdateMenuStates();
    return;
  }
  GuardEvent("movie output", [&] { view_->SetRecording(on, paths.front()); });
}

void qxFlWindow::OnOutput(Fl_Widget* button, void* window) {
  auto* self = static_cast<qxFlWindow*>(window);
  self->ChooseMovieOutput(static_cast<Fl_Button*>(button)->value());
  self->view_->take_focus();  // keys go to the view again, as after the other buttons
}

}  // namespace tessaline
