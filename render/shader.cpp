#include "render/shader.h"

#include <ostream>

#include "settings/log_stream.h"

namespace tessaline {

const char* const kVertexShaderSource =
    "varying vec4 vPos; void main(void) { vPos = gl_ModelViewMatrix*gl_Vertex; gl_TexCoord[0] = "
    "gl_MultiTexCoord0; gl_Position = ftransform(); }";

// Per fragment: output pixel (x, y) lies in cell (mx, my) at tile pixel
// (sx, sy), atlas texel tx = sy * SubW + sx of its tile's block.
//
// The cell table is read at the centre of the pixel's cell, not at the
// pixel's own texture coordinate. The table has DivX x DivY texels spread
// over the whole output, but the cells cover only DivX * SubW x DivY * SubH
// pixels of it; when ImgW is not a multiple of SubW (3840 x 2160 with 64 x 32
// tiles: 67 cell rows cover 2144 of 2160 pixel rows; or 7 x 5 tiles) a
// nearest lookup at the pixel's coordinate drifts into the next table texel
// before the cell ends, and parts of cells would show rows of a neighbour's
// tile. Pixels right of or below the last whole cell take the last cell's
// tile (the centre is clamped to the last column or row).
//
// Channels are rounded back to bytes (+ 0.5): a driver may turn a byte v
// into a float a little under v / 255, and truncation would then give v - 1.
//
// Tile ty sits in atlas row ty div SubP, block ty mod SubP (SubP tiles side
// by side when the library has more tiles than a texture has rows; SubR
// rows). With SubP = 1 this is the plain one-tile-per-row atlas. An index
// at or beyond SubN gives the last tile.
//
// Colour correction (ColW > 0) repeats the CPU's integer blend in floats:
// bytes p and m, t = p * (256 - ColW) + m * ColW + 128, out = floor(t / 256)
// as a byte. Every value stays an integer below 2^17 and the division is by
// a power of two, so nothing rounds and the bytes equal the CPU's. MeanTex
// holds the cell's mean colour, read at the same cell centre as the table.
const char* const kSynthesisFragmentSource =
    "uniform sampler2D SubTex; uniform sampler2D TblTex; uniform sampler2D MeanTex; uniform int "
    "ColW; uniform int SubW; uniform int SubH; "
    "uniform int SubN; uniform int SubP; uniform int SubR; uniform int DivX; uniform int DivY; "
    "uniform int ImgW; uniform int ImgH; varying vec4 vPos; void main(void) { int x = "
    "int(gl_TexCoord[0].x*float(ImgW)); int y = int(gl_TexCoord[0].y*float(ImgH)); int mx = "
    "int(floor(float(x)/float(SubW))); int my = int(floor(float(y)/float(SubH))); int sx = "
    "int(x-mx*SubW); int sy = int(y-my*SubH); int tx = sy*SubW+sx; vec2 mc; mc.x = "
    "(min(float(mx), float(DivX-1))+0.5)/(float(DivX)); mc.y = (min(float(my), "
    "float(DivY-1))+0.5)/(float(DivY)); int ty; vec4 c = texture2D(TblTex, mc); int r = "
    "int(c.r*255.0+0.5); int g = int(c.g*255.0+0.5); int b = int(c.b*255.0+0.5); ty = "
    "((b*256+g)*256)+r; ty = int(min(float(ty), float(SubN-1))); int row = "
    "int(floor((float(ty)+0.5)/float(SubP))); int block = ty-row*SubP; vec2 tc; tc.x = "
    "(float(block*SubW*SubH+tx)+0.5)/float(SubW*SubH*SubP); tc.y = "
    "clamp((float(row)+0.5)/(float(SubR)), 0.0, 1.0); vec4 t = texture2D(SubTex, tc); if (ColW > "
    "0) { vec3 p = floor(t.rgb*255.0+0.5); vec3 m = floor(texture2D(MeanTex, mc).rgb*255.0+0.5); "
    "vec3 s = p*float(256-ColW)+m*float(ColW)+128.0; t.rgb = floor(s/256.0)/255.0; } "
    "gl_FragColor = t; }";

const char* const kResizeFragmentSource =
    "uniform sampler2D ImgTex; uniform int DivX; uniform int DivY; uniform int ImgW; uniform int "
    "ImgH; varying vec4 vPos; void main(void) { gl_FragColor = texture2D(ImgTex, "
    "gl_TexCoord[0].st); }";

namespace {

// A driver's info log as one log message: without the line ends it closes
// with, which std::endl gives.
std::string DriverLog(const char* text) {
  std::string log(text);
  while (!log.empty() && log.back() == '\n') log.pop_back();
  return log;
}

}  // namespace

std::vector<char> PrepareShaderSource(const std::string& text) {
  std::vector<char> source(text.begin(), text.end());
  for (char& c : source) {
    if (c == '@') c = '\n';
    if (c == '$') c = '#';
  }
  source.push_back('\0');
  return source;
}

GLuint CompileShader(GLenum kind, const char* source) {
  const GLuint shader = glCreateShader(kind);
  if (shader == 0) return 0;
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint compiled = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
  if (compiled == GL_TRUE) return shader;
  char log[256] = {};
  glGetShaderInfoLog(shader, sizeof log, nullptr, log);
  support_log() << " Compile failed:\n" << DriverLog(log) << std::endl;
  glDeleteShader(shader);
  return 0;
}

GLuint LinkProgram(GLuint vertex_shader, GLuint fragment_shader) {
  const GLuint program = glCreateProgram();
  if (program == 0) return 0;
  glAttachShader(program, vertex_shader);
  glAttachShader(program, fragment_shader);
  glLinkProgram(program);
  GLint length = 0;
  glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
  if (length > 1) {
    std::vector<char> log(static_cast<std::size_t>(length), '\0');
    glGetProgramInfoLog(program, length, nullptr, log.data());
    support_log() << DriverLog(log.data()) << std::endl;
  }
  GLint linked = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &linked);
  if (linked == GL_TRUE) return program;
  glDeleteProgram(program);
  return 0;
}

ShaderProgram BuildShaderProgram(const std::string& vertex_text, const std::string& fragment_text,
                                 const std::string& name) {
  ShaderProgram built{"from char", "from char", name, GlProgram()};
  const std::vector<char> vertex_source = PrepareShaderSource(vertex_text);
  const std::vector<char> fragment_source = PrepareShaderSource(fragment_text);
  support_log() << "GLSL compile : vertex shader (" << name << ")" << std::endl;
  const GLuint vertex = CompileShader(GL_VERTEX_SHADER, vertex_source.data());
  support_log() << "GLSL compile : fragment shader (" << name << ")" << std::endl;
  const GLuint fragment = CompileShader(GL_FRAGMENT_SHADER, fragment_source.data());
  support_log() << "GLSL link (" << name << ")" << std::endl;
  // Linking a missing shader cannot succeed; skip it rather than hand GL a 0.
  if (vertex != 0 && fragment != 0) built.program = GlProgram(LinkProgram(vertex, fragment));
  // Deleting attached shaders only marks them; they go with the program.
  if (vertex != 0) glDeleteShader(vertex);
  if (fragment != 0) glDeleteShader(fragment);
  return built;
}

MosaicPrograms BuildMosaicPrograms() {
  MosaicPrograms programs;
  programs.synthesis =
      BuildShaderProgram(kVertexShaderSource, kSynthesisFragmentSource, "mosaic synthesis");
  programs.resize = BuildShaderProgram(kVertexShaderSource, kResizeFragmentSource, "image resize");
  return programs;
}

}  // namespace tessaline
