#include "render/view_scene.h"

#include <GL/glew.h>

#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

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
constexpr GLuint kNoName = ~0u;              // the all-ones name: nothing picked
constexpr std::size_t kPickRecordWords = 4;  // name count, min depth, max depth, name
// Side of the pick region in pixels, around the pixel's centre. Well below
// a pixel: a quad whose edge only touches the region counts as hit, so a
// whole pixel would also name the neighbours of the cell under it.
constexpr double kPickRegionPixels = 1.0 / 16;

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

// Corners with texture coordinates (0,0), (1,0), (1,1), (0,1).
void TexturedVertices(const qxRect& r, double z) {
  const float xs[4] = {static_cast<float>(r.x - r.w), static_cast<float>(r.x + r.w),
                       static_cast<float>(r.x + r.w), static_cast<float>(r.x - r.w)};
  const float ys[4] = {static_cast<float>(r.y - r.h), static_cast<float>(r.y - r.h),
                       static_cast<float>(r.y + r.h), static_cast<float>(r.y + r.h)};
  const float ss[4] = {0, 1, 1, 0};
  const float ts[4] = {0, 0, 1, 1};
  for (int i = 0; i < 4; ++i) {
    glTexCoord2f(ss[i], ts[i]);
    glVertex3f(xs[i], ys[i], static_cast<float>(z));
  }
}

// Layers back to front: the back pair, the front pair, then the eight
// surrounding mosaics. The mosaics keep the trilinear filter of their
// targets, whose mipmaps are made once per composition, never per frame.
void DrawLayers(const ViewScene& scene, int draw_flags) {
  const int back = 1 - scene.front;
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

// Columns col0 ... col1 and rows row0 ... row1 of the cell grid (inclusive;
// empty when col0 > col1 or row0 > row1).
struct CellSpan {
  int col0 = 0, col1 = -1, row0 = 0, row1 = -1;
  std::size_t Count() const {
    if (col1 < col0 || row1 < row0) return 0;
    return static_cast<std::size_t>(col1 - col0 + 1) * static_cast<std::size_t>(row1 - row0 + 1);
  }
};

// The cells along [from, to] (scene units from the grid's origin) of cells
// `size` long, clamped to 0 ... count - 1.
void SpanAlong(double from, double to, double size, int count, int& first, int& last) {
  if (!(size > 0)) {
    first = 0;
    last = -1;
    return;
  }
  first = std::max(0, static_cast<int>(std::floor(from / size)));
  last = static_cast<int>(std::min<double>(count - 1, std::floor(to / size)));
}

// The cells that window pixel (x, y) touches, with one pixel to spare on
// every side. Picking draws only these, so the pick costs the same at every
// grid size and its records always fit the buffer.
CellSpan CellsNearPixel(const ViewScene& scene, const FrameInputs& in, int x, int y) {
  const ViewRect v = FitToWindow(in.window_width, in.window_height, scene.camera);
  const double unit_x = (v.right - v.left) / in.window_width;  // scene units per pixel
  const double unit_y = (v.bottom - v.top) / in.window_height;
  const double gx = v.left + (x + 0.5) * unit_x - (scene.camera.x - scene.camera.w);
  const double gy = v.top + (y + 0.5) * unit_y - (scene.camera.y - scene.camera.h);
  CellSpan span;
  SpanAlong(gx - unit_x, gx + unit_x, in.sub_w, in.div_x, span.col0, span.col1);
  SpanAlong(gy - unit_y, gy + unit_y, in.sub_h, in.div_y, span.row0, span.row1);
  return span;
}

// One named, untextured quad per cell of `span`.
void DrawPickCells(const ViewScene& scene, const FrameInputs& in, const CellSpan& span) {
  glColor4d(0, 0, 0, 1);
  const double ox = scene.camera.x - scene.camera.w;
  const double oy = scene.camera.y - scene.camera.h;
  for (int r = span.row0; r <= span.row1; ++r) {
    for (int k = span.col0; k <= span.col1; ++k) {
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

void DrawPickSpan(const ViewScene& scene, const FrameInputs& in, const CellSpan& span) {
  const ViewRect v = FitToWindow(in.window_width, in.window_height, scene.camera);
  glMatrixMode(GL_PROJECTION);
  gluOrtho2D(v.left, v.right, v.bottom, v.top);
  glMatrixMode(GL_MODELVIEW);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  if (in.icons != nullptr) DrawIcons(*in.icons, v, in.icon_layout, in.hover_name, true);
  DrawPickCells(scene, in, span);
  glLoadName(kNoName);
}

}  // namespace

void qxRect::EmitCorners3(double z) const { CornerVertices(*this, z); }
void qxRect::EmitTextured3(double z) const { TexturedVertices(*this, z); }

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
  const CellSpan span = CellsNearPixel(scene, in, x, y);
  // One four-word record per name that can be hit: every icon and every
  // cell drawn, so the buffer never overflows.
  const std::size_t icons = in.icons != nullptr ? in.icons->size() : 0;
  std::vector<GLuint> buffer(
      std::max(kPickBufferWords, kPickRecordWords * (icons + span.Count() + 1)));
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  glSelectBuffer(static_cast<GLsizei>(buffer.size()), buffer.data());
  glRenderMode(GL_SELECT);
  glInitNames();
  glPushName(kNoName);

  // The region is the centre of the pixel under the pointer.
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  gluPickMatrix(x + 0.5, viewport[3] - y - 0.5, kPickRegionPixels, kPickRegionPixels, viewport);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  DrawPickSpan(scene, in, span);
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glPopName();

  const GLint hits = glRenderMode(GL_RENDER);
  glMatrixMode(GL_MODELVIEW);
  return DecodePickBuffer(buffer.data(), buffer.size(), hits);
}

int DecodePickBuffer(const GLuint* buffer, std::size_t words, GLint hits) {
  if (hits <= 0 || buffer == nullptr) return -1;
  const std::size_t records = static_cast<std::size_t>(hits);
  if (records > words / kPickRecordWords) return -1;
  std::size_t best = 0;
  for (std::size_t i = 1; i < records; ++i) {
    // Depths are unsigned words; the earliest record wins a tie.
    if (buffer[i * kPickRecordWords + 1] < buffer[best * kPickRecordWords + 1]) best = i;
  }
  const GLuint name = buffer[best * kPickRecordWords + 3];
  if (name == kNoName) return -1;
  return static_cast<int>(static_cast<std::int64_t>(name) - 1);
}

}  // namespace tessaline
