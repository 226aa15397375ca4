#include "render/view_scene.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

#include "render/gl_test_context.h"
#include "render/texture.h"

namespace tessaline {
namespace {

struct Rgb {
  int r, g, b;
};

// A texture of `rows` rows of one RGBA colour each (row 0 first).
GlTexture RowsTexture(const std::vector<std::array<unsigned char, 4>>& rows) {
  GlTexture t = GlTexture::Generate();
  std::vector<unsigned char> texels;
  for (const auto& row : rows) {
    for (int i = 0; i < 2; ++i) texels.insert(texels.end(), row.begin(), row.end());
  }
  glBindTexture(GL_TEXTURE_2D, t.name());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, static_cast<GLsizei>(rows.size()), 0, GL_RGBA,
               GL_UNSIGNED_BYTE, texels.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  return t;
}

GlTexture SolidTexture(unsigned char r, unsigned char g, unsigned char b) {
  return RowsTexture({{r, g, b, 255}});
}

// The pixel at window position (x, y), y down.
Rgb PixelAt(const GlTestContext& gl, int x, int y) {
  unsigned char p[4] = {};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, gl.height() - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
  return Rgb{p[0], p[1], p[2]};
}

void ExpectNear(const Rgb& got, const Rgb& want, const char* what) {
  EXPECT_NEAR(got.r, want.r, 2) << what;
  EXPECT_NEAR(got.g, want.g, 2) << what;
  EXPECT_NEAR(got.b, want.b, 2) << what;
}

// The fixed state the view sets at start-up.
void ViewStartState(const GlTestContext& gl) {
  glViewport(0, 0, gl.width(), gl.height());
  glClearColor(0, 0, 0, 1);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
}

FrameInputs InputsFor(const GlTestContext& gl) {
  FrameInputs in;
  in.window_width = gl.width();
  in.window_height = gl.height();
  in.draw_flags = 0;
  in.ready = true;
  return in;
}

TEST(FitToWindow, WidensOrAdjustsToTheWindowAspect) {
  struct Row {
    int win_w, win_h;
    qxRect camera;
    ViewRect want;
  };
  const std::vector<Row> rows = {
      // Same 4:3 aspect: unchanged.
      {800, 600, qxRect(0, 0, 480, 360), {-480, -360, 480, 360}},
      // 2:1 window: m = (720 * 2 - 960) / 2 = 240 on each side.
      {1000, 500, qxRect(0, 0, 480, 360), {-720, -360, 720, 360}},
      // 1:2 window: m = (960 * 2 - 720) / 2 = 600 above and below.
      {500, 1000, qxRect(0, 0, 480, 360), {-480, -960, 480, 960}},
      // Tall window, narrow rectangle: m = (200 * 2 - 720) / 2 = -160 shrinks it.
      {500, 1000, qxRect(0, 0, 100, 360), {-100, -200, 100, 200}},
      // Off-centre camera keeps its centre: 2:1 window, m = (40 * 2 - 60) / 2 = 10.
      {200, 100, qxRect(100, -50, 30, 20), {60, -70, 140, -30}},
      // Square window and rectangle wider than tall: vertical, m = (60 - 40) / 2.
      {100, 100, qxRect(0, 0, 30, 20), {-30, -30, 30, 30}},
  };
  for (const Row& row : rows) {
    const ViewRect v = FitToWindow(row.win_w, row.win_h, row.camera);
    EXPECT_DOUBLE_EQ(v.left, row.want.left) << row.win_w << "x" << row.win_h;
    EXPECT_DOUBLE_EQ(v.top, row.want.top) << row.win_w << "x" << row.win_h;
    EXPECT_DOUBLE_EQ(v.right, row.want.right) << row.win_w << "x" << row.win_h;
    EXPECT_DOUBLE_EQ(v.bottom, row.want.bottom) << row.win_w << "x" << row.win_h;
  }
}

TEST(RectPolygon, InterpolatesPosesWithCubicEasing) {
  qxRectPolygon layer;
  layer.start_translation = {10, -20, 4};
  layer.end_translation = {-30, 40, 0};
  layer.start_scale = {0.5, 0.25, 2};
  layer.end_scale = {1, 1, 1};
  struct Row {
    double t;
    Vec3d translation, scale;
  };
  // e = t^3: 0, 0.125, 1. At e = 0.125: 0.125 * end + 0.875 * start.
  const std::vector<Row> rows = {
      {0, {10, -20, 4}, {0.5, 0.25, 2}},
      {0.5, {5, -12.5, 3.5}, {0.5625, 0.34375, 1.875}},
      {1, {-30, 40, 0}, {1, 1, 1}},
  };
  for (const Row& row : rows) {
    layer.Interpolate(row.t);
    EXPECT_DOUBLE_EQ(layer.translation.x, row.translation.x) << row.t;
    EXPECT_DOUBLE_EQ(layer.translation.y, row.translation.y) << row.t;
    EXPECT_DOUBLE_EQ(layer.translation.z, row.translation.z) << row.t;
    EXPECT_DOUBLE_EQ(layer.scale.x, row.scale.x) << row.t;
    EXPECT_DOUBLE_EQ(layer.scale.y, row.scale.y) << row.t;
    EXPECT_DOUBLE_EQ(layer.scale.z, row.scale.z) << row.t;
  }
}

TEST(Selection, HighlightAndLiftedTileSurroundTheCell) {
  // 960 x 720 image centred at 0 with 32 x 18 cells: cell (2, 3) spans
  // x -416 ... -384, y -306 ... -288.
  const qxRect camera(0, 0, 480, 360);
  const qxRect cell = CellHighlight(camera, 32, 18, 2, 3);
  EXPECT_DOUBLE_EQ(cell.x, -400);
  EXPECT_DOUBLE_EQ(cell.y, -297);
  EXPECT_DOUBLE_EQ(cell.w, 16);
  EXPECT_DOUBLE_EQ(cell.h, 9);
  // Seven times the cell: 224 x 126 around the same centre.
  const ViewRect lifted = LiftedTileRect(cell, 7);
  EXPECT_DOUBLE_EQ(lifted.left, -512);
  EXPECT_DOUBLE_EQ(lifted.right, -288);
  EXPECT_DOUBLE_EQ(lifted.top, -360);
  EXPECT_DOUBLE_EQ(lifted.bottom, -234);
  // A moved camera moves the cell with it.
  const qxRect moved = CellHighlight(qxRect(100, 50, 480, 360), 32, 18, 0, 0);
  EXPECT_DOUBLE_EQ(moved.x, -364);
  EXPECT_DOUBLE_EQ(moved.y, -301);
}

TEST(Layout, PutsTexturesAlphasAndRestPoses) {
  ViewScene scene;
  scene.alpha = 0.4;
  scene.layers[3].translation = {5, 6, 7};
  scene.layers[7].scale = {2, 2, 2};
  LayerSources sources;
  sources.image_texture = 11;
  sources.mosaic_texture = 22;
  for (int i = 0; i < kAroundLayerCount; ++i) sources.around_textures[i] = 30 + i;
  sources.info_lines = {"a.jpg", "640 x 480"};
  Layout(scene, 960, 720, sources);

  EXPECT_DOUBLE_EQ(scene.camera.w, 480);
  EXPECT_DOUBLE_EQ(scene.camera.h, 360);
  for (int i = 0; i < kLayerCount; ++i) {
    const qxRectPolygon& layer = scene.layers[i];
    EXPECT_DOUBLE_EQ(layer.w, 480) << i;
    EXPECT_DOUBLE_EQ(layer.h, 360) << i;
    EXPECT_DOUBLE_EQ(layer.translation.x, 0) << i;
    EXPECT_DOUBLE_EQ(layer.scale.y, 1) << i;
  }
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(scene.ImageLayer(i).texture, 11u);
    EXPECT_DOUBLE_EQ(scene.ImageLayer(i).alpha, 1);
    EXPECT_EQ(scene.MosaicLayer(i).texture, 22u);
    EXPECT_DOUBLE_EQ(scene.MosaicLayer(i).alpha, 0.4);
    EXPECT_EQ(scene.MosaicLayer(i).info_lines, sources.info_lines);
  }
  for (int i = 0; i < kAroundLayerCount; ++i) {
    EXPECT_EQ(scene.AroundLayer(i).texture, static_cast<GLuint>(30 + i));
    EXPECT_DOUBLE_EQ(scene.AroundLayer(i).alpha, 0);
  }
}

TEST(DecodePickBuffer, TakesTheNearestEarliestRecord) {
  const GLuint kNone = ~0u;
  struct Row {
    const char* what;
    std::vector<GLuint> buffer;
    GLint hits;
    int want;
  };
  const std::vector<Row> rows = {
      {"no hits", {1, 5, 5, 3}, 0, -1},
      {"overflow", {1, 5, 5, 3}, -1, -1},
      {"one record", {1, 5, 9, 3}, 1, 2},
      {"second nearer", {1, 9, 9, 3, 1, 4, 9, 8}, 2, 7},
      {"tie keeps the first", {1, 4, 9, 3, 1, 4, 9, 8}, 2, 2},
      {"depth is unsigned", {1, 0x80000000u, 0x80000000u, 3, 1, 0x7fffffffu, 0x80000000u, 6}, 2, 5},
      {"all-ones name", {1, 1, 1, kNone, 1, 4, 9, 8}, 2, -1},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(DecodePickBuffer(row.buffer.data(), row.buffer.size(), row.hits), row.want)
        << row.what;
  }
}

TEST(DecodePickBuffer, NeverReadsPastTheWordsItIsGiven) {
  // 32 records fill 128 words exactly. A 33rd, nearer than all, lies beyond
  // the 128 words handed over: it must not be read, so the pick is -1.
  std::vector<GLuint> buffer(kPickBufferWords + 4);
  for (std::size_t i = 0; i < 33; ++i) {
    buffer[i * 4] = 1;
    buffer[i * 4 + 1] = 100 - static_cast<GLuint>(i);
    buffer[i * 4 + 3] = static_cast<GLuint>(10 + i);
  }
  EXPECT_EQ(DecodePickBuffer(buffer.data(), kPickBufferWords, 32), 10 + 31 - 1);
  EXPECT_EQ(DecodePickBuffer(buffer.data(), kPickBufferWords, 33), -1);
  EXPECT_EQ(DecodePickBuffer(buffer.data(), 130, 33), -1) << "half a record";
}

TEST(DrawFrame, BlendsTheMosaicOverThePictureByAlpha) {
  GlTestContext gl(64, 48);
  ASSERT_TRUE(gl.ok()) << gl.error();
  ViewStartState(gl);
  GlTexture image = SolidTexture(200, 40, 10);
  GlTexture mosaic = SolidTexture(20, 60, 220);
  struct Row {
    double alpha;
    Rgb want;
  };
  // Front mosaic over an opaque front picture: alpha * mosaic + (1 - alpha) * image.
  const std::vector<Row> rows = {{0.5, {110, 50, 115}}, {0, {200, 40, 10}}, {1, {20, 60, 220}}};
  for (const Row& row : rows) {
    ViewScene scene;
    scene.alpha = row.alpha;
    LayerSources sources;
    sources.image_texture = image.name();
    sources.mosaic_texture = mosaic.name();
    Layout(scene, 64, 48, sources);
    DrawFrame(scene, InputsFor(gl));
    ExpectNear(PixelAt(gl, 32, 24), row.want, "centre");
    ExpectNear(PixelAt(gl, 1, 46), row.want, "corner");
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(DrawFrame, ShowsTheFirstTextureRowAtTheTopAndNothingBeforeReady) {
  GlTestContext gl(64, 48);
  ASSERT_TRUE(gl.ok()) << gl.error();
  ViewStartState(gl);
  GlTexture image = RowsTexture({{255, 0, 0, 255}, {0, 255, 0, 255}});
  ViewScene scene;
  scene.alpha = 0;
  LayerSources sources;
  sources.image_texture = image.name();
  Layout(scene, 64, 48, sources);
  FrameInputs in = InputsFor(gl);
  DrawFrame(scene, in);
  ExpectNear(PixelAt(gl, 32, 2), {255, 0, 0}, "top row");
  ExpectNear(PixelAt(gl, 32, 45), {0, 255, 0}, "bottom row");
  EXPECT_DOUBLE_EQ(scene.visible.left, -32);
  EXPECT_DOUBLE_EQ(scene.visible.bottom, 24);

  in.ready = false;
  DrawFrame(scene, in);
  ExpectNear(PixelAt(gl, 32, 2), {0, 0, 0}, "not ready");
}

// Bounding box (window pixels, y down) of the pixels of one colour; empty
// (left > right) when there are none.
ViewRect BoxOf(const GlTestContext& gl, const Rgb& colour) {
  std::vector<unsigned char> pixels(static_cast<std::size_t>(gl.width()) * gl.height() * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, gl.width(), gl.height(), GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  ViewRect box{1e9, 1e9, -1e9, -1e9};
  for (int gy = 0; gy < gl.height(); ++gy) {
    for (int x = 0; x < gl.width(); ++x) {
      const unsigned char* p = &pixels[(static_cast<std::size_t>(gy) * gl.width() + x) * 4];
      if (std::abs(p[0] - colour.r) > 8 || std::abs(p[1] - colour.g) > 8 ||
          std::abs(p[2] - colour.b) > 8) {
        continue;
      }
      const double y = gl.height() - 1 - gy;
      box = ViewRect{std::min<double>(box.left, x), std::min(box.top, y),
                     std::max<double>(box.right, x), std::max(box.bottom, y)};
    }
  }
  return box;
}

bool Empty(const ViewRect& box) { return box.left > box.right; }

TEST(DrawFrame, LiftsTheSelectedTileOrOutlinesItsCell) {
  GlTestContext gl(64, 48);
  ASSERT_TRUE(gl.ok()) << gl.error();
  ViewStartState(gl);
  GlTexture tile = SolidTexture(0, 200, 0);
  ViewScene scene;
  Layout(scene, 64, 48, LayerSources{});
  // Cell (8, 6) of 4 x 4 cells: window pixels 32 ... 36 by 24 ... 28.
  scene.highlight = CellHighlight(scene.camera, 4, 4, 8, 6);
  scene.cell_selected = true;
  scene.press_armed = true;
  scene.selected_tile = tile.name();
  scene.elevate_style = 2;
  FrameInputs in = InputsFor(gl);
  in.touched_tile_scale = 5;
  DrawFrame(scene, in);
  // Five times the cell around its centre (34, 26): 24 ... 44 by 16 ... 36.
  const ViewRect lifted = BoxOf(gl, {0, 200, 0});
  EXPECT_NEAR(lifted.left, 24, 1);
  EXPECT_NEAR(lifted.right, 43, 1);
  EXPECT_NEAR(lifted.top, 16, 1);
  EXPECT_NEAR(lifted.bottom, 35, 1);
  const ViewRect frame = BoxOf(gl, {255, 255, 0});
  EXPECT_NEAR(frame.left, 24, 1);
  EXPECT_NEAR(frame.bottom, 36, 1);

  scene.elevate_style = kElevateOutline;
  DrawFrame(scene, in);
  EXPECT_TRUE(Empty(BoxOf(gl, {0, 200, 0}))) << "no tile drawn";
  const ViewRect outline = BoxOf(gl, {255, 255, 0});
  EXPECT_NEAR(outline.left, 32, 1);
  EXPECT_NEAR(outline.right, 36, 1);
  EXPECT_NEAR(outline.top, 24, 1);
  EXPECT_NEAR(outline.bottom, 28, 1);

  in.zooming = true;  // no selection drawn while zooming
  DrawFrame(scene, in);
  EXPECT_TRUE(Empty(BoxOf(gl, {255, 255, 0})));
}

TEST(DrawFrame, DrawsIconsLogoAndBigCursorByTheirFlags) {
  GlTestContext gl(64, 48);
  ASSERT_TRUE(gl.ok()) << gl.error();
  ViewStartState(gl);
  GlTexture image = SolidTexture(0, 255, 0);
  GlTexture icon = SolidTexture(255, 0, 0);
  GlTexture logo = SolidTexture(0, 0, 255);
  GlTexture cursor = SolidTexture(255, 255, 255);
  ViewScene scene;
  scene.alpha = 0;
  LayerSources sources;
  sources.image_texture = image.name();
  Layout(scene, 64, 48, sources);
  ViewIconList icons = {ViewIcon{icon.name(), 0, 0, nullptr, nullptr, true}};
  FrameInputs in = InputsFor(gl);
  in.icons = &icons;
  in.icon_layout = IconLayout{0.1, 0.1, 0.5, 0.5};  // half-size 4.8 at the centre
  in.logo_texture = logo.name();
  in.cursor_texture = cursor.name();
  in.mouse_x = 0;
  in.mouse_y = 30;

  in.draw_flags = kDrawIcons | kDrawLogo | kDrawBigCursor;
  DrawFrame(scene, in);
  const ViewRect plain = BoxOf(gl, {255, 0, 0});
  EXPECT_NEAR(plain.left, 27.2, 1);
  EXPECT_NEAR(plain.right, 36.8, 1);
  // The logo square fills the right 48 x 48; the icon stays in front of it.
  EXPECT_NEAR(BoxOf(gl, {0, 0, 255}).left, 16, 1);
  ExpectNear(PixelAt(gl, 8, 10), {0, 255, 0}, "picture left of the logo");
  const ViewRect pointer = BoxOf(gl, {255, 255, 255});
  EXPECT_NEAR(pointer.left, 0, 1);
  EXPECT_NEAR(pointer.top, 30, 1);
  EXPECT_NEAR(pointer.right, 47, 1);

  in.hover_name = 0;  // highlighted: 1.2 times the half-size
  DrawFrame(scene, in);
  const ViewRect hovered = BoxOf(gl, {255, 0, 0});
  EXPECT_NEAR(hovered.left, 32 - 5.76, 1);
  EXPECT_NEAR(hovered.right, 32 + 5.76, 1);
  EXPECT_LT(hovered.left, plain.left);
  EXPECT_GT(hovered.right, plain.right);

  in.draw_flags = 0;
  DrawFrame(scene, in);
  EXPECT_TRUE(Empty(BoxOf(gl, {255, 0, 0})));
  EXPECT_TRUE(Empty(BoxOf(gl, {0, 0, 255})));
  EXPECT_TRUE(Empty(BoxOf(gl, {255, 255, 255})));
}

class PickAtTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gl_.ok()) << gl_.error();
    ViewStartState(gl_);
    icon_texture_ = SolidTexture(255, 255, 255);
    Layout(scene_, 64, 48, LayerSources{});
    in_ = InputsFor(gl_);
    // One icon of half-size 4.8 centred on the image (window 32, 24).
    icons_.push_back(ViewIcon{icon_texture_.name(), 0, 0, nullptr, nullptr, true});
    in_.icons = &icons_;
    in_.icon_layout = IconLayout{0.1, 0.1, 0.5, 0.5};
    in_.first_cell_name = 2;
    // 3 x 2 cells of 16 x 16 over the top left 48 x 32 window pixels.
    in_.div_x = 3;
    in_.div_y = 2;
    in_.sub_w = 16;
    in_.sub_h = 16;
  }

  GlTestContext gl_{64, 48};
  GlTexture icon_texture_;
  ViewScene scene_;
  ViewIconList icons_;
  FrameInputs in_;
};

TEST_F(PickAtTest, NamesTheIconOverACellTheCellElsewhereAndNothingOutside) {
  struct Row {
    int x, y, want;
  };
  // Cell (col, row) comes back as first name - 1 + row * 3 + col.
  const std::vector<Row> rows = {
      {32, 24, 0},             // the icon, over cells (1, 1) and (2, 1)
      {8, 24, 1 + 1 * 3 + 0},  // cell (0, 1)
      {40, 6, 1 + 0 * 3 + 2},  // cell (2, 0)
      {58, 42, -1},            // beyond the cells
  };
  for (const Row& row : rows) {
    EXPECT_EQ(PickAt(scene_, in_, row.x, row.y), row.want) << row.x << ", " << row.y;
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(PickAtTest, SkipsIconsWithoutAPictureOrHidden) {
  icons_[0].texture = 0;
  // Pixel (32, 24) is the first of cell (2, 1), under the icon.
  EXPECT_EQ(PickAt(scene_, in_, 32, 24), 1 + 1 * 3 + 2) << "icon without a picture";
  icons_[0].texture = icon_texture_.name();
  icons_[0].shown = false;
  EXPECT_EQ(PickAt(scene_, in_, 32, 24), 1 + 1 * 3 + 2) << "hidden icon";
}

TEST_F(PickAtTest, NamesThePixelsOwnCellAtAnyGridSize) {
  struct Row {
    int div_x, div_y;
    double sub_w, sub_h;
    int x, y;
    int col, row;  // the cell holding pixel (x, y)
  };
  // The 64 x 48 image fills the window, one scene unit per pixel. The finer
  // grids put dozens of cells within a few pixels of the pointer.
  const Row rows[] = {
      {64, 48, 1, 1, 20, 20, 20, 20},                        // a cell per pixel
      {64, 48, 1, 1, 63, 47, 63, 47},                        // the last one
      {160, 120, 0.4, 0.4, 10, 5, 26, 13},                   // six cells per pixel
      {240, 240, 64.0 / 240, 48.0 / 240, 40, 30, 151, 152},  // 16 x 9 tiles' grid
      {3, 2, 16, 16, 47, 31, 2, 1},                          // the last pixel of a cell
  };
  in_.icons = nullptr;
  for (const Row& row : rows) {
    in_.div_x = row.div_x;
    in_.div_y = row.div_y;
    in_.sub_w = row.sub_w;
    in_.sub_h = row.sub_h;
    EXPECT_EQ(PickAt(scene_, in_, row.x, row.y), 1 + row.row * row.div_x + row.col)
        << row.div_x << " x " << row.div_y << " at " << row.x << ", " << row.y;
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
}  // namespace tessaline
