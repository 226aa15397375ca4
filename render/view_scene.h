#pragma once
// The mosaic view's scene and how a frame is drawn: the drawing layers
// (`qxRect`, `qxRectPolygon`), the camera and its aspect fit, the pass order
// with depths and blending, the lifted selected tile, and selection-mode
// picking of icons and cells.
//
// Scene units are working-image pixels with y down; after `Layout` the
// working image covers -ImgW/2 ... ImgW/2 by -ImgH/2 ... ImgH/2. Window
// positions are pixels, y down, origin at the window's top left.
//
// The view (GUI thread, its GL context current) owns one `ViewScene` and
// calls per frame
//     FrameInputs in = ...;            // window size, flags, icons, font...
//     DrawFrame(scene, in);
// and for the mouse
//     int picked = PickAt(scene, in, x, y);   // icon index, cell value or -1
// Plain arithmetic (FitToWindow, Interpolate, CellHighlight,
// LiftedTileRect, DecodePickBuffer) needs no GL context.

#include <GL/glew.h>

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "render/overlay.h"

namespace tessaline {

// An axis-aligned rectangle: centre (x, y) and half-size (w, h), scene units.
// The Emit operations send only vertices (and texture coordinates) to GL;
// the caller opens and closes the primitive. Values go to GL as floats.
class qxRect {
 public:
  qxRect() = default;
  qxRect(double cx, double cy, double half_w, double half_h) : x(cx), y(cy), w(half_w), h(half_h) {}
  virtual ~qxRect() = default;
  qxRect(const qxRect&) = default;
  qxRect& operator=(const qxRect&) = default;

  // Corners in the order (x-w, y-h), (x+w, y-h), (x+w, y+h), (x-w, y+h).
  virtual void EmitCorners3(double z) const;
  // The same corners with texture coordinates (0,0), (1,0), (1,1), (0,1).
  virtual void EmitTextured3(double z) const;

  double x = 0;
  double y = 0;
  double w = 1;
  double h = 1;
};

struct Vec3d {
  double x = 0;
  double y = 0;
  double z = 0;
};

// One drawable layer: a textured rectangle with a pose (translation and
// scale applied around it), an opacity and the text lines describing what it
// shows. The texture name is owned by the engine; 0 draws an untextured
// (black, alpha-faded) quad.
class qxRectPolygon : public qxRect {
 public:
  qxRectPolygon() = default;

  // Blends the start and end poses with e = t^3 into translation and scale.
  void Interpolate(double t);
  // glTranslated by the translation, then glScaled by the scale.
  void ApplyTransform() const;
  // One textured quad at depth z with GL_ADD and colour (0, 0, 0, alpha), so
  // the texel colour is unchanged and its alpha is multiplied by `alpha`.
  void Draw(double z) const;

  Vec3d translation{0, 0, 0};
  Vec3d scale{1, 1, 1};
  double alpha = 1;
  GLuint texture = 0;
  std::vector<std::string> info_lines;
  Vec3d start_translation{0, 0, 0};
  Vec3d start_scale{1, 1, 1};
  Vec3d end_translation{0, 0, 0};
  Vec3d end_scale{1, 1, 1};
};

constexpr int kLayerCount = 12;
constexpr int kAroundLayerCount = 8;
// Elevate styles of the selected tile: 1 outline only, 2 and 3 lifted tile.
constexpr int kElevateOutline = 1;

// The view's drawing state. Owned by the view; GUI thread only.
struct ViewScene {
  // Moved and scaled by the view's input; centre (0, 0) after Layout.
  qxRect camera{0, 0, 1, 1};
  // The camera rectangle after the aspect fit of the last frame (scene
  // units); the view maps mouse positions through it.
  ViewRect visible;
  // Image layers 0, 1; mosaic layers 0, 1; surrounding layers 0 ... 7.
  std::array<qxRectPolygon, kLayerCount> layers;
  // 0 or 1: image layer `front` and mosaic layer `front` are drawn on top.
  int front = 1;
  // The mosaic's opacity (the Alpha slider); Layout gives it to both
  // mosaic layers.
  double alpha = 1.0;

  // Selection: the rectangle around the selected cell (scene units), and
  // the texture of that cell's tile (owned by the view; 0 = none).
  qxRect highlight{0, 0, 0, 0};
  bool cell_selected = false;
  bool press_armed = false;
  GLuint selected_tile = 0;
  int elevate_style = 2;

  qxRectPolygon& ImageLayer(int i) { return layers[i]; }
  qxRectPolygon& MosaicLayer(int i) { return layers[2 + i]; }
  qxRectPolygon& AroundLayer(int i) { return layers[4 + i]; }
  const qxRectPolygon& ImageLayer(int i) const { return layers[i]; }
  const qxRectPolygon& MosaicLayer(int i) const { return layers[2 + i]; }
  const qxRectPolygon& AroundLayer(int i) const { return layers[4 + i]; }
};

// What Layout puts on the layers (texture names owned by the engine).
struct LayerSources {
  GLuint image_texture = 0;
  GLuint mosaic_texture = 0;
  std::array<GLuint, kAroundLayerCount> around_textures{};
  std::vector<std::string> info_lines;
};

// Everything a frame reads that is not scene state. Pointers are borrowed
// for the call only and may be null (no icons, GLUT text).
struct FrameInputs {
  int window_width = 1;  // pixels
  int window_height = 1;
  int draw_flags = kDrawIcons | kDrawTileElevating;
  bool ready = false;  // a library is loaded and a mosaic made
  bool zooming = false;
  bool auto_pilot = false;
  const ViewIconList* icons = nullptr;
  int hover_name = -1;  // icon index drawn enlarged, -1 none
  GLuint logo_texture = 0;
  GLuint cursor_texture = 0;
  const OverlayFont* font = nullptr;
  int mouse_x = 0;  // window pixels, y down: the last mouse move
  int mouse_y = 0;
  std::vector<std::string> log_lines;  // oldest first, e.g. LogHistory()
  IconLayout icon_layout;
  double touched_tile_scale = 7.0;
  // The cell grid for picking: DivX x DivY cells of SubW x SubH scene units
  // from the camera's top left corner; cell (k, r) has the GL name
  // first_cell_name + r * div_x + k.
  int div_x = 0;
  int div_y = 0;
  double sub_w = 0;
  double sub_h = 0;
  int first_cell_name = 5;
};

// Rest pose for a working image of width x height scene units: camera and
// every layer centred at (0, 0) with half-size (width / 2, height / 2), no
// translation, unit scale; image layers alpha 1 with the image texture,
// mosaic layers scene.alpha with the mosaic texture (both with the info
// lines), surrounding layer i alpha 0 with surrounding texture i.
void Layout(ViewScene& scene, int width, int height, const LayerSources& sources);

// Sets scene.alpha and the alpha of both mosaic layers (the Alpha slider).
void SetMosaicAlpha(ViewScene& scene, double alpha);

// The camera rectangle widened (or, for a window not wider than tall,
// adjusted vertically) to the window's aspect. Window size in pixels.
ViewRect FitToWindow(int window_width, int window_height, const qxRect& rect);

// The highlight rectangle of cell (col, row): a SubW x SubH rectangle whose
// top left is SubW * col, SubH * row from the camera's top left corner.
qxRect CellHighlight(const qxRect& camera, double sub_w, double sub_h, int col, int row);

// The lifted tile: the highlight rectangle enlarged `scale` times around its
// centre.
ViewRect LiftedTileRect(const qxRect& highlight, double scale);

// Loads the camera's orthographic projection (top of the window at the
// smallest y) onto the current projection matrix and stores the fitted
// rectangle as scene.visible.
void SetViewProjection(ViewScene& scene, int window_width, int window_height);

// The whole frame: clear, blending, log console, then the scene when ready.
void DrawFrame(ViewScene& scene, const FrameInputs& in);
// The layers back to front, the selected tile, icons, logo and cursor.
void DrawScene(ViewScene& scene, const FrameInputs& in);

// Selection-mode pick of the one window pixel (x, y), y down. Returns the
// picked GL name minus 1: an icon index (0 ... icon count - 1), the cell
// value first_cell_name - 1 + row * div_x + col of the cell under that
// pixel's centre, or -1 for nothing. Any grid size works: only the cells
// around the pixel are drawn, into a buffer that holds all their records.
// Leaves GL_MODELVIEW selected.
int PickAt(const ViewScene& scene, const FrameInputs& in, int x, int y);

// Least number of words of the selection buffer PickAt uses.
constexpr std::size_t kPickBufferWords = 128;

// Decodes a selection buffer of `hits` records, each read as four words
// (name count, min depth, max depth, one name). Returns the name of the
// record with the smallest min depth (the earliest on ties) minus 1, or -1
// when hits <= 0, the name is all ones, or the records would run past
// `words` words.
int DecodePickBuffer(const GLuint* buffer, std::size_t words, GLint hits);

}  // namespace tessaline
