#include "render/view_scene.h"

#include <GL/glew.h>

#include <GL/glu.h>

#include <cstdint>

namespace tessaline {

namespace {

// Depths of the passes (scene z; the projection maps z = 1 to the front).
constexpr double kBackImageZ = -0.03;
constexpr double kBackMosaicZ = -0.02;
constexpr double kFrontImageZ = -0.01;
constexpr double kFrontMosaicZ = 0.0;
constexpr double kAroundZ = 0.01;
constexpr double kSelectedTileZ = 0.05;
constexpr double kSelectedOutlineZ = 0.06;
constexpr GLuint kNoName = ~0u;  // the all-ones name: nothing picked
constexpr GLsizei kPickRegionPixels = 10;

Vec3d Blend(const Vec3d& start, const Vec3d& end, double e) {
  return Vec3d{e * end.x + (1 - e) * start.x, e * end.y + (1 - e) * start.y,
               e * end.z + (1 - e) * start.z};
}

void CornerVertices(const qxRect& r, double z) {
  glVertex3f(static_cast<float>(r.x - r.w), static_cast<float>(r.y - r.h), static_cast<float>(z));
  glVertex3f(static_cast<float>(r.x + r.w), static_cast<float>(r.y - r.h), static_cast<float>(z));
  glVertex3f(static_cast<float>(r.x + r.w), static_cast<float>(r.y + r.h), static_cast<float>(z));
  glVertex3f(static_cast<float>(r.x - r.w), static_cast<float>(r.y + r.h), static_cast<float>(z));
}

void CornerVertices2(const qxRect& r) {
  glVertex2f(static_cast<float>(r.x - r.w), static_cast<float>(r.y - r.h));
  glVertex2f(static_cast<float>(r.x + r.w), static_cast<float>(r.y - r.h));
  glVertex2f(static_cast<float>(r.x + r.w), static_cast<float>(r.y + r.h));
  glVertex2f(static_cast<float>(r.x - r.w), static_cast<float>(r.y + r.h));
}

// Corners with texture coordinates; `flipped` turns the picture upside down.
void TexturedVertices(const qxRect& r, bool flipped, bool with_z, double z) {
  const float t0 = flipped ? 1.0f : 0.0f;
  const float t1 = flipped ? 0.0f : 1.0f;
  const float xs[4] = {static_cast<float>(r.x - r.w), static_cast<float>(r.x + r.w),
                       static_cast<float>(r.x + r.w), static_cast<float>(r.x - r.w)};
  const float ys[4] = {static_cast<float>(r.y - r.h), static_cast<float>(r.y - r.h),
                       static_cast<float>(r.y + r.h), static_cast<float>(r.y + r.h)};
  const float ss[4] = {0, 1, 1, 0};
  const float ts[4] = {t0, t0, t1, t1};
  for (int i = 0; i < 4; ++i) {
    glTexCoord2f(ss[i], ts[i]);
    if (with_z) {
      glVertex3f(xs[i], ys[i], static_cast<float>(z));
    } else {
      glVertex2f(xs[i], ys[i]);
    }
  }
}

// Layers back to front: the back pair, the front pair, then the eight
// surrounding mosaics.
// Minified mosaics alias into moire without their mipmaps; the "Mipmapping"
// toggle chooses between that and plain linear sampling.
void SetMosaicSampling(GLuint texture, bool mipmapped) {
  if (texture == 0) return;
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                  mipmapped ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
  glBindTexture(GL_TEXTURE_2D, 0);
}

void DrawLayers(const ViewScene& scene, int draw_flags) {
  const int back = 1 - scene.front;
  const bool mipmapped = (draw_flags & kDrawMipmapping) != 0;
  for (int i = 0; i < 2; ++i) SetMosaicSampling(scene.MosaicLayer(i).texture, mipmapped);
  for (int i = 0; i < kAroundLayerCount; ++i)
    SetMosaicSampling(scene.AroundLayer(i).texture, mipmapped);
  glPushMatrix();
  scene.ImageLayer(back).Draw(kBackImageZ);
  scene.MosaicLayer(back).Draw(kBackMosaicZ);
  scene.ImageLayer(scene.front).Draw(kFrontImageZ);
  scene.MosaicLayer(scene.front).Draw(kFrontMosaicZ);
  if (draw_flags & kDrawAround) {
    for (int i = 0; i < kAroundLayerCount; ++i) scene.AroundLayer(i).Draw(kAroundZ);
  }
  glPopMatrix();
}

void OutlineLoop(const ViewRect& r, double z) {
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  glLineWidth(1);
  glColor4d(1, 1, 0, 1);
  glBegin(GL_LINE_LOOP);
  glVertex3d(r.left, r.bottom, z);
  glVertex3d(r.left, r.top, z);
  glVertex3d(r.right, r.top, z);
  glVertex3d(r.right, r.bottom, z);
  glEnd();
}

// The selected tile lifted off the mosaic: its picture `scale` times the
// cell size around the cell, framed in yellow.
void DrawLiftedTile(const ViewScene& scene, double scale) {
  const ViewRect r = LiftedTileRect(scene.highlight, scale);
  glDisable(GL_CULL_FACE);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glBindTexture(GL_TEXTURE_2D, scene.selected_tile);
  glColor4d(1, 1, 1, 1);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 1);
  glVertex3d(r.left, r.bottom, kSelectedTileZ);
  glTexCoord2f(0, 0);
  glVertex3d(r.left, r.top, kSelectedTileZ);
  glTexCoord2f(1, 0);
  glVertex3d(r.right, r.top, kSelectedTileZ);
  glTexCoord2f(1, 1);
  glVertex3d(r.right, r.bottom, kSelectedTileZ);
  glEnd();
  glBindTexture(GL_TEXTURE_2D, 0);
  glDisable(GL_TEXTURE_2D);
  OutlineLoop(r, kSelectedOutlineZ);
}

void DrawSelectedTile(const ViewScene& scene, double touched_tile_scale) {
  if (scene.selected_tile == 0 || scene.elevate_style == kElevateOutline) {
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glLineWidth(1);
    glColor4d(1, 1, 0, 1);
    glBegin(GL_LINE_LOOP);
    scene.highlight.EmitCorners3(kSelectedTileZ);
    glEnd();
  } else if (scene.elevate_style == 2 || scene.elevate_style == 3) {
    DrawLiftedTile(scene, touched_tile_scale);
  }
}

bool SelectionShown(const ViewScene& scene, const FrameInputs& in) {
  return scene.press_armed && scene.cell_selected && !in.zooming && !in.auto_pilot;
}

void DrawOverlays(const ViewScene& scene, const FrameInputs& in) {
  if ((in.draw_flags & kDrawIcons) && in.icons != nullptr) {
    DrawIcons(*in.icons, scene.visible, in.icon_layout, in.hover_name, false);
  }
  if (in.draw_flags & kDrawLogo) DrawLogo(scene.visible, in.logo_texture);
  if (in.draw_flags & kDrawBigCursor) {
    DrawBigCursor(scene.visible, in.window_width, in.window_height, in.mouse_x, in.mouse_y,
                  in.cursor_texture);
  }
}

// One named, untextured quad per cell of the grid.
void DrawPickCells(const ViewScene& scene, const FrameInputs& in) {
  glColor4d(0, 0, 0, 1);
  const double ox = scene.camera.x - scene.camera.w;
  const double oy = scene.camera.y - scene.camera.h;
  for (int r = 0; r < in.div_y; ++r) {
    for (int k = 0; k < in.div_x; ++k) {
      glLoadName(static_cast<GLuint>(in.first_cell_name + r * in.div_x + k));
      const double x0 = ox + k * in.sub_w;
      const double y0 = oy + r * in.sub_h;
      glBegin(GL_QUADS);
      glVertex2d(x0, y0);
      glVertex2d(x0 + in.sub_w, y0);
      glVertex2d(x0 + in.sub_w, y0 + in.sub_h);
      glVertex2d(x0, y0 + in.sub_h);
      glEnd();
    }
  }
}

}  // namespace

void qxRect::EmitCorners3(double z) const { CornerVertices(*this, z); }
void qxRect::EmitCorners2() const { CornerVertices2(*this); }
void qxRect::EmitTextured3(double z) const { TexturedVertices(*this, false, true, z); }
void qxRect::EmitTextured2() const { TexturedVertices(*this, false, false, 0); }
void qxRect::EmitTexturedFlipped3(double z) const { TexturedVertices(*this, true, true, z); }
void qxRect::EmitTexturedFlipped2() const { TexturedVertices(*this, true, false, 0); }

void qxRectPolygon::Interpolate(double t) {
  const double e = t * t * t;
  translation = Blend(start_translation, end_translation, e);
  scale = Blend(start_scale, end_scale, e);
}

void qxRectPolygon::ApplyTransform() const {
  glTranslated(translation.x, translation.y, translation.z);
  glScaled(scale.x, scale.y, scale.z);
}

void qxRectPolygon::Draw(double z) const {
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_ADD);
  glPushMatrix();
  ApplyTransform();
  glColor4d(0, 0, 0, alpha);
  glBindTexture(GL_TEXTURE_2D, texture);
  glBegin(GL_QUADS);
  EmitTextured3(z);
  glEnd();
  glPopMatrix();
  glBindTexture(GL_TEXTURE_2D, 0);
  glDisable(GL_TEXTURE_2D);
}

void Layout(ViewScene& scene, int width, int height, const LayerSources& sources) {
  const qxRect rest(0, 0, width / 2.0, height / 2.0);
  scene.camera = rest;
  for (qxRectPolygon& layer : scene.layers) {
    static_cast<qxRect&>(layer) = rest;
    layer.translation = Vec3d{0, 0, 0};
    layer.scale = Vec3d{1, 1, 1};
  }
  for (int i = 0; i < 2; ++i) {
    qxRectPolygon& image = scene.ImageLayer(i);
    image.alpha = 1;
    image.texture = sources.image_texture;
    image.info_lines = sources.info_lines;
    qxRectPolygon& mosaic = scene.MosaicLayer(i);
    mosaic.alpha = scene.alpha;
    mosaic.texture = sources.mosaic_texture;
    mosaic.info_lines = sources.info_lines;
  }
  for (int i = 0; i < kAroundLayerCount; ++i) {
    scene.AroundLayer(i).alpha = 0;
    scene.AroundLayer(i).texture = sources.around_textures[i];
  }
}

void SetMosaicAlpha(ViewScene& scene, double alpha) {
  scene.alpha = alpha;
  scene.MosaicLayer(0).alpha = alpha;
  scene.MosaicLayer(1).alpha = alpha;
}

ViewRect FitToWindow(int window_width, int window_height, const qxRect& rect) {
  ViewRect r{rect.x - rect.w, rect.y - rect.h, rect.x + rect.w, rect.y + rect.h};
  const double dx = r.right - r.left;
  const double dy = r.bottom - r.top;
  const double width = window_width;
  const double height = window_height;
  if (width > height && dx / dy < width / height) {
    const double m = (dy * width / height - dx) / 2;
    r.left -= m;
    r.right += m;
  } else {
    // Negative m shrinks the rectangle vertically in a tall window.
    const double m = (dx * height / width - dy) / 2;
    r.top -= m;
    r.bottom += m;
  }
  return r;
}

qxRect CellHighlight(const qxRect& camera, double sub_w, double sub_h, int col, int row) {
  return qxRect(camera.x - camera.w + sub_w * (col + 0.5),
                camera.y - camera.h + sub_h * (row + 0.5), sub_w / 2, sub_h / 2);
}

ViewRect LiftedTileRect(const qxRect& highlight, double scale) {
  return ViewRect{highlight.x - highlight.w * scale, highlight.y - highlight.h * scale,
                  highlight.x + highlight.w * scale, highlight.y + highlight.h * scale};
}

void SetViewProjection(ViewScene& scene, int window_width, int window_height) {
  const ViewRect v = FitToWindow(window_width, window_height, scene.camera);
  // Bottom of the window at the largest y: scene y grows downwards.
  glOrtho(v.left, v.right, v.bottom, v.top, -1, 1);
  scene.visible = v;
}

void DrawFrame(ViewScene& scene, const FrameInputs& in) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_CULL_FACE);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  if (in.draw_flags & kDrawLogConsole) {
    DrawLogConsole(in.log_lines, in.window_width, in.window_height, in.font);
  }
  if (in.ready) DrawScene(scene, in);
}

void DrawScene(ViewScene& scene, const FrameInputs& in) {
  glViewport(0, 0, in.window_width, in.window_height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  SetViewProjection(scene, in.window_width, in.window_height);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();

  if ((in.draw_flags & kDrawImageInfo) && !in.zooming) {
    DrawInfoLines(scene.MosaicLayer(scene.front).info_lines, in.window_width, in.window_height,
                  in.font);
  }
  DrawLayers(scene, in.draw_flags);
  if (SelectionShown(scene, in)) DrawSelectedTile(scene, in.touched_tile_scale);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  DrawOverlays(scene, in);
  glDisable(GL_BLEND);
}

int PickAt(const ViewScene& scene, const FrameInputs& in, int x, int y) {
  GLuint buffer[kPickBufferWords] = {};
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  glSelectBuffer(static_cast<GLsizei>(kPickBufferWords), buffer);
  glRenderMode(GL_SELECT);
  glInitNames();
  glPushName(kNoName);

  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  gluPickMatrix(x, viewport[3] - y, kPickRegionPixels, kPickRegionPixels, viewport);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  DrawPickScene(scene, in);
  glLoadName(kNoName);
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glPopName();

  // Negative when the records overflowed the buffer.
  const GLint hits = glRenderMode(GL_RENDER);
  glMatrixMode(GL_MODELVIEW);
  return DecodePickBuffer(buffer, kPickBufferWords, hits);
}

void DrawPickScene(const ViewScene& scene, const FrameInputs& in) {
  const ViewRect v = FitToWindow(in.window_width, in.window_height, scene.camera);
  glMatrixMode(GL_PROJECTION);
  gluOrtho2D(v.left, v.right, v.bottom, v.top);
  glMatrixMode(GL_MODELVIEW);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  if (in.icons != nullptr) DrawIcons(*in.icons, v, in.icon_layout, in.hover_name, true);
  DrawPickCells(scene, in);
  glLoadName(kNoName);
}

int DecodePickBuffer(const GLuint* buffer, std::size_t words, GLint hits) {
  constexpr std::size_t kRecordWords = 4;  // name count, min depth, max depth, name
  if (hits <= 0 || buffer == nullptr) return -1;
  const std::size_t records = static_cast<std::size_t>(hits);
  if (records > words / kRecordWords) return -1;
  std::size_t best = 0;
  for (std::size_t i = 1; i < records; ++i) {
    // Depths are unsigned words; the earliest record wins a tie.
    if (buffer[i * kRecordWords + 1] < buffer[best * kRecordWords + 1]) best = i;
  }
  const GLuint name = buffer[best * kRecordWords + 3];
  if (name == kNoName) return -1;
  return static_cast<int>(static_cast<std::int64_t>(name) - 1);
}

}  // namespace tessaline
