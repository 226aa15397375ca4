#pragma once
// An OpenGL context without a window, for the batch command's GPU
// composition, benchmarks and tests: opens the X display named by DISPLAY,
// creates a GLX context on a pbuffer (RGB, 8 bits a channel, with a depth
// buffer, single-buffered, so glReadPixels reads what was drawn), makes it
// current on the calling thread and initialises GLEW. The destructor
// releases the context and the pbuffer. All contexts of a process share one
// X connection that stays open until the process ends: closing the last
// connection unloads Mesa's driver, which leaves allocations behind that
// leak checkers report. X protocol errors are logged (support_log) instead
// of ending the process. Create contexts on one thread.
//
// Everything made in the context (the engine's GPU side) must be destroyed
// before this object, on the same thread.

#include <memory>
#include <string>

namespace tessaline {

class HiddenGlContext {
 public:
  // The pbuffer's size; mosaics are rendered into offscreen targets, so the
  // batch command needs only a tiny one.
  explicit HiddenGlContext(int width = 16, int height = 16);
  virtual ~HiddenGlContext();
  HiddenGlContext(const HiddenGlContext&) = delete;
  HiddenGlContext& operator=(const HiddenGlContext&) = delete;

  // False when no context could be made, or it lacks what the program needs
  // (render/gl_capabilities.h); error() then says why in one line.
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  // Makes this context current again on the calling thread (after another
  // was), so that what was made in it can be used or deleted; false when
  // there is no context.
  bool MakeCurrent();
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  // X11 and GLX handles, kept out of this header: Xlib's macros (None, Bool,
  // Status...) clash with ordinary code.
  struct Handles;

  bool Open();

  int width_;
  int height_;
  std::unique_ptr<Handles> handles_;
  std::string error_;
};

// True when DISPLAY names a display to try.
bool HasDisplay();

}  // namespace tessaline
