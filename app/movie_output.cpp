// The "Output " switch: recording the view to a movie file.

#include <FL/Fl.H>

#include "app/main_window.h"

namespace tessaline {

void qxFlWindow::ChooseMovieOutput(int) {}

void qxFlWindow::OnOutput(Fl_Widget*, void*) {}

}  // namespace tessaline
