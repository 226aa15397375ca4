#include "render/offscreen.h"

#include <algorithm>
#include <ostream>

#include "settings/log_stream.h"

namespace tessaline {
namespace {

const char* FramebufferStatusLine(GLenum status) {
  switch (status) {
    case GL_FRAMEBUFFER_COMPLETE_EXT:
      return "Framebuffer complete.";
    case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT:
      return "[ERROR] Framebuffer incomplete: Attachment is NOT complete.";
    case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT_EXT:
      return "[ERROR] Framebuffer incomplete: No image is attached to FBO.";
    case GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT:
      return "[ERROR] Framebuffer incomplete: Attached images have different dimensions.";
    case GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT:
      return "[ERROR] Framebuffer incomplete: Color attached images have different internal "
             "formats.";
    case GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER_EXT:
      return "[ERROR] Framebuffer incomplete: Draw buffer.";
    case GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER_EXT:
      return "[ERROR] Framebuffer incomplete: Read buffer.";
    case GL_FRAMEBUFFER_UNSUPPORTED_EXT:
      return "[ERROR] Unsupported by FBO implementation.";
    default:
      return "[ERROR] Unknow error.";
  }
}

GLuint BoundFramebuffer() {
  GLint bound = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
  return static_cast<GLuint>(bound);
}

void SetUniform(GLuint program, const char* name, int value) {
  glUniform1i(glGetUniformLocation(program, name), value);
}

void SetSynthesisUniforms(GLuint program, int width, int height, const SynthesisInput& input) {
  SetUniform(program, "SubTex", 0);
  SetUniform(program, "TblTex", 1);
  SetUniform(program, "MeanTex", 2);
  SetUniform(program, "ColW", input.means != 0 ? input.color_weight : 0);
  SetUniform(program, "SubW", input.layout.tile_w);
  SetUniform(program, "SubH", input.layout.tile_h);
  SetUniform(program, "SubN", input.layout.tiles);
  SetUniform(program, "SubP", input.layout.tiles_per_row);
  SetUniform(program, "SubR", input.layout.rows);
  SetUniform(program, "DivX", input.div_x);
  SetUniform(program, "DivY", input.div_y);
  SetUniform(program, "ImgW", input.image_w > 0 ? input.image_w : width);
  SetUniform(program, "ImgH", input.image_h > 0 ? input.image_h : height);
}

// Pixel (x, y) of the output gets texture coordinate (x / width, y /
// height): v = 0 at output row 0. An output smaller than the `image_w` ×
// `image_h` its cells lie in is moved so that each of its pixel centres
// lands on the centre of the first image pixel it covers, never on an edge
// between two, where the shader's rounding down could fall either way.
void DrawOutputQuad(int width, int height, int image_w, int image_h) {
  const auto shift = [](int output, int image) {
    if (image <= output) return 0.0f;
    return static_cast<float>((0.5 * output / image - 0.5) / output);
  };
  const float u = shift(width, image_w);
  const float v = shift(height, image_h);
  glBegin(GL_QUADS);
  glTexCoord2f(u, 1.0f + v);
  glVertex2i(0, height);
  glTexCoord2f(u, v);
  glVertex2i(0, 0);
  glTexCoord2f(1.0f + u, v);
  glVertex2i(width, 0);
  glTexCoord2f(1.0f + u, 1.0f + v);
  glVertex2i(width, height);
  glEnd();
}

// Projection and model-view for a width x height target, pushed so that
// PopTargetMatrices gives the caller's back.
void PushTargetMatrices(int width, int height) {
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0.0, width, 0.0, height, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
}

void PopTargetMatrices() {
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}

}  // namespace

bool CheckFramebufferStatus() {
  const GLenum status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
  engine_log() << FramebufferStatusLine(status) << std::endl;
  return status == GL_FRAMEBUFFER_COMPLETE_EXT;
}

bool CreateOffscreenTarget(OffscreenTarget& target, int width, int height, bool force) {
  if (!force && target.framebuffer.name() != 0 && target.width == width &&
      target.height == height) {
    return true;
  }
  DestroyOffscreenTarget(target);
  GLint max_size = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_size);
  if (width < 1 || height < 1 || width > max_size || height > max_size) {
    engine_log() << "offscreen target : cannot make " << width << " x " << height << std::endl;
    return false;
  }
  target.width = width;
  target.height = height;
  target.channels = 4;
  target.texture = GlTexture::Generate();
  glBindTexture(GL_TEXTURE_2D, target.texture.name());
  SetTextureParameters(TextureKind::kOffscreenColour);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glBindTexture(GL_TEXTURE_2D, 0);

  const GLuint previous = BoundFramebuffer();
  target.framebuffer = GlFramebuffer::Generate();
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, target.framebuffer.name());
  glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                            target.texture.name(), 0);
  const bool complete = CheckFramebufferStatus();
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, previous);
  // A target nothing can be drawn into must not pass for one: the pass
  // would report a mosaic that was never composed.
  if (!complete) DestroyOffscreenTarget(target);
  return complete;
}

void DestroyOffscreenTarget(OffscreenTarget& target) {
  target.texture.Reset();
  target.framebuffer.Reset();
  target.width = 0;
  target.height = 0;
  target.channels = 0;
}

void DrawMosaicSynthesis(int width, int height, const SynthesisInput& input) {
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, input.atlas);
  glEnable(GL_TEXTURE_2D);
  glActiveTexture(GL_TEXTURE1);
  glBindTexture(GL_TEXTURE_2D, input.table);
  glEnable(GL_TEXTURE_2D);
  glActiveTexture(GL_TEXTURE2);
  glBindTexture(GL_TEXTURE_2D, input.means);

  glUseProgram(input.program);
  if (input.program != 0) SetSynthesisUniforms(input.program, width, height, input);
  DrawOutputQuad(width, height, input.image_w, input.image_h);

  glBindTexture(GL_TEXTURE_2D, 0);
  glUseProgram(0);
  glActiveTexture(GL_TEXTURE1);
  glBindTexture(GL_TEXTURE_2D, 0);
  glDisable(GL_TEXTURE_2D);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, 0);
  glDisable(GL_TEXTURE_2D);
}

namespace {

// Attaches mipmap level `level` of the target's texture to its framebuffer
// (bound), defining the levels first when they were never made.
bool AttachLevel(const OffscreenTarget& target, int level) {
  glBindTexture(GL_TEXTURE_2D, target.texture.name());
  GLint width = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &width);
  if (width == 0) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glGenerateMipmapEXT(GL_TEXTURE_2D);
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                            target.texture.name(), level);
  return glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT;
}

}  // namespace

bool RenderMosaicOffscreen(const OffscreenTarget& target, int level, const SynthesisInput& input) {
  if (target.framebuffer.name() == 0) {
    engine_log() << "no offscreen target for the mosaic" << std::endl;
    return false;
  }
  const int width = std::max(target.width >> level, 1);
  const int height = std::max(target.height >> level, 1);
  const GLuint previous = BoundFramebuffer();
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, target.framebuffer.name());
  if (!AttachLevel(target, level)) {
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, previous);
    engine_log() << "offscreen target : cannot draw into level " << level << std::endl;
    return false;
  }
  // The view may leave blending, depth testing or a scissor on; none of them
  // belongs in a pass that writes every pixel once.
  glPushAttrib(GL_VIEWPORT_BIT | GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_TRANSFORM_BIT);
  glDisable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_SCISSOR_TEST);
  glDisable(GL_ALPHA_TEST);
  glViewport(0, 0, width, height);
  PushTargetMatrices(width, height);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  DrawMosaicSynthesis(width, height, input);
  PopTargetMatrices();
  glPopAttrib();
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, previous);

  // The zoomed-out view samples the mosaic through its mipmaps.
  glBindTexture(GL_TEXTURE_2D, target.texture.name());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, level);
  glGenerateMipmapEXT(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, 0);
  glFlush();
  return true;
}

}  // namespace tessaline
