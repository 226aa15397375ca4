#pragma once
// What the program needs of OpenGL, checked once right after the first
// context is current: OpenGL 2.0 (texture units, programs), GLSL 1.10 (the
// synthesis and resize programs) and framebuffer objects (the offscreen
// mosaic targets). An indirect GLX display or an old driver offers less;
// without the check the first call through a missing entry point would
// crash. The render library only reports what is missing; the program
// decides what to do about it.

#include <string>

namespace tessaline {

// The context's own words, "" where it gave none.
struct GlCapabilities {
  std::string version;       // GL_VERSION, "1.4 Mesa 22.3.6"
  std::string glsl_version;  // GL_SHADING_LANGUAGE_VERSION, "1.10"
  bool framebuffer_objects = false;
};

// The one line the user is shown when `found` lacks something, naming each
// missing part with what was found:
//   "this display's OpenGL lacks what tessaline needs : OpenGL 2.0 (found
//   1.4), GLSL 1.10 (found none)"
// Empty when nothing is missing.
std::string MissingGlText(const GlCapabilities& found);

// Reads the capabilities of the current context, GLEW initialised, with GL
// 1.1 calls only; clears the error a query of an unknown name leaves.
GlCapabilities ReadGlCapabilities();

// What the current context lacks, once glewInit gave `glew_status`, as
// MissingGlText says it; "" when nothing. When GLEW could not start (an
// indirect display gives no version at all) the version speaks for the
// context, or else the line names GLEW's reason.
std::string CheckCurrentGl(unsigned int glew_status);

}  // namespace tessaline
