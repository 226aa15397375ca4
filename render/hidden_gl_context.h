#pragma once
// An OpenGL context without a window, for the batch command's GPU
// composition: opens the X display named by DISPLAY, creates a GLX context on
// a tiny pbuffer (every mosaic is rendered into offscreen targets, never into
// the pbuffer), makes it current on the calling thread and initialises GLEW.
// The destructor releases the context and the pbuffer; the X connection
// stays open until the process ends.
//
// Everything made in the context (the engine's GPU side) must be destroyed
// before this object, on the same thread.

#include <memory>
#include <string>

namespace tessaline {

class HiddenGlContext {
 public:
  HiddenGlContext();
  ~HiddenGlContext();
  HiddenGlContext(const HiddenGlContext&) = delete;
  HiddenGlContext& operator=(const HiddenGlContext&) = delete;

  // False when no context could be made; error() then says why in one line.
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

 private:
  // X11 and GLX handles, kept out of this header: Xlib's macros (None, Bool,
  // Status...) clash with ordinary code.
  struct Handles;

  bool Open();

  std::unique_ptr<Handles> handles_;
  std::string error_;
};

// True when DISPLAY names a display to try.
bool HasDisplay();

}  // namespace tessaline
