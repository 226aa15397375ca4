#pragma once
// An OpenGL context for tests: opens the X display named by DISPLAY, creates
// a GLX context on a small offscreen pbuffer, makes it current on the calling
// thread and initialises GLEW. The destructor releases and destroys the
// context and pbuffer; the X connection stays open for the next context.
//
// Tests need an X server with GLX (CI runs Xvfb). Without one the object is
// not ok() and error() says why; tests should
//     GlTestContext gl;
//     ASSERT_TRUE(gl.ok()) << gl.error();
// so they fail with that message instead of crashing. X protocol errors are
// printed on standard error instead of ending the process. The default
// framebuffer is the pbuffer: width x height RGB, 8 bits per channel, with a
// depth buffer, single-buffered, so glReadPixels reads what was drawn.

#include <memory>
#include <string>

namespace tessaline {

class GlTestContext {
 public:
  explicit GlTestContext(int width = 64, int height = 64);
  ~GlTestContext();
  GlTestContext(const GlTestContext&) = delete;
  GlTestContext& operator=(const GlTestContext&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  // X11 and GLX handles; kept out of this header because Xlib's macros
  // (None, Bool, Status...) clash with test code.
  struct Handles;

  bool Open();

  int width_;
  int height_;
  std::unique_ptr<Handles> handles_;
  std::string error_;
};

}  // namespace tessaline
