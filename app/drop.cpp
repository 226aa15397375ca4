// Files dropped on the view.

#include <FL/Fl.H>

#include "app/dnd_box.h"
#include "app/main_window.h"

namespace tessaline {

void qxFlWindow::OnDrop(Fl_Widget*, void*) {}

}  // namespace tessaline
