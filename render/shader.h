#pragma once
// GLSL programs: the sources of the mosaic synthesis and image resize
// programs, and compiling and linking them. The build is followed in the
// log stream (support_log): "GLSL compile : vertex shader (<name>)",
// "GLSL compile : fragment shader (<name>)", "GLSL link (<name>)", the
// driver's link log when it has one, and for a shader that does not compile
// one message " Compile failed:", a line feed and the driver's compile log.
// A program that fails to build has the name 0; the caller carries on.
// Needs a current GL context with GLEW initialised (GUI thread).

#include <GL/glew.h>

#include <string>
#include <vector>

#include "render/gl_object.h"

namespace tessaline {

// One built program and where its sources came from.
struct ShaderProgram {
  std::string vertex_label;    // "from char"
  std::string fragment_label;  // "from char"
  std::string name;            // "mosaic synthesis", "image resize"
  GlProgram program;           // 0 when compiling or linking failed
};

// Vertex shader of both programs: passes texture coordinate 0 through.
extern const char* const kVertexShaderSource;
// Mosaic synthesis: every output pixel fetched from its cell's tile in the
// atlas. Uniforms: SubTex (atlas unit), TblTex (cell table unit), SubW, SubH
// (tile size), SubN (tiles), SubP (tiles per atlas row), SubR (atlas rows),
// DivX, DivY (cells), ImgW, ImgH (output size in pixels).
extern const char* const kSynthesisFragmentSource;
// Image resize: ImgTex sampled over the quad.
extern const char* const kResizeFragmentSource;

// A NUL-terminated copy of `text` with every '@' turned into a line feed and
// every '$' into '#', so a one-line source can carry preprocessor lines.
std::vector<char> PrepareShaderSource(const std::string& text);

// A compiled shader of `kind` (GL_VERTEX_SHADER or GL_FRAGMENT_SHADER), or 0
// after logging " Compile failed:" and the driver's log.
GLuint CompileShader(GLenum kind, const char* source);

// A linked program of the two shaders, or 0. The driver's log, when it has
// one, is logged. The shaders stay attached and are not deleted.
GLuint LinkProgram(GLuint vertex_shader, GLuint fragment_shader);

// Prepares, compiles and links the two texts under `name`, logging the
// progress lines. The shaders are released once the program is linked.
ShaderProgram BuildShaderProgram(const std::string& vertex_text, const std::string& fragment_text,
                                 const std::string& name);

struct MosaicPrograms {
  ShaderProgram synthesis;  // "mosaic synthesis"
  ShaderProgram resize;     // "image resize"
};

// Builds "mosaic synthesis", then "image resize".
MosaicPrograms BuildMosaicPrograms();

}  // namespace tessaline
