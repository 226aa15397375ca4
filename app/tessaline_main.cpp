// tessaline: photomosaics made from a folder of photographs, explored live.

#include <GL/glew.h>

#include <FL/Fl.H>
#include <FL/Fl_Shared_Image.H>
#include <GL/freeglut.h>

#include <csignal>

#include "app/main_window.h"

int main(int argc, char** argv) {
  // A write past the file size limit fails with an error that the writer
  // reports, instead of ending the program with a half-written file.
  std::signal(SIGXFSZ, SIG_IGN);
  glutInit(&argc, argv);
  // No GL context exists yet; the view checks GLEW and OpenGL 2.0 on its
  // first draw, so the result is not examined here.
  (void)glewInit();
  Fl::visual(FL_DOUBLE);
  Fl::get_system_colors();
  fl_register_images();
  Fl::scheme("gtk+");
  tessaline::qxFlWindow window(640, 480, "tessaline");
  const int status = Fl::run();
  return window.ExitStatus() != 0 ? window.ExitStatus() : status;
}
