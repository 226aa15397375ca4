#pragma once
// An OpenGL context for tests: a hidden GLX pbuffer context of the given
// size, current on the calling thread (see render/hidden_gl_context.h).
// Tests need an X server with GLX (CI runs Xvfb). Without one the object is
// not ok() and error() says why; tests should
//     GlTestContext gl;
//     ASSERT_TRUE(gl.ok()) << gl.error();
// so they fail with that message instead of crashing.

#include "render/hidden_gl_context.h"

namespace tessaline {

class GlTestContext : public HiddenGlContext {
 public:
  explicit GlTestContext(int width = 64, int height = 64) : HiddenGlContext(width, height) {}
};

}  // namespace tessaline
