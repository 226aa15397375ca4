// qxFlGLWindow: recording the view to a movie file.

#include <GL/glew.h>

#include "view/gl_window.h"

namespace tessaline {

void qxFlGLWindow::SetRecording(int, const std::string&) {}

bool qxFlGLWindow::WriteRecordingFrame() { return false; }

}  // namespace tessaline
