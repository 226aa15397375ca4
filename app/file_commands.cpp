// The File menu's commands: open a picture or a movie, export the mosaic.

#include "app/main_window.h"

namespace tessaline {

void qxFlWindow::ImportImage() {}
void qxFlWindow::ImportMovie() {}
void qxFlWindow::ExportImage() {}

}  // namespace tessaline
