// qxFlGLWindow: the preference command.

#include <GL/glew.h>

#include "settings/log_stream.h"
#include "view/gl_window.h"

namespace tessaline {

void qxFlGLWindow::EditPreferences() {
  // Replacing the engine under a running load is never allowed.
  if (control_.RefuseWhileBusy()) return;
  view_log() << "the preference dialog is not available" << std::endl;
}

}  // namespace tessaline
