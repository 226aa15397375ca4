#include "view/view_animation.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tessaline {
namespace {

constexpr int kImageW = 3840;
constexpr int kImageH = 2160;
constexpr double kSubW = 32;
constexpr double kSubH = 18;
constexpr int kCols = 120;
constexpr int kRows = 120;

// Where a layer's rectangle lands after its translation and scale.
ViewRect Placed(const qxRectPolygon& layer) {
  return ViewRect{layer.translation.x + layer.scale.x * (layer.x - layer.w),
                  layer.translation.y + layer.scale.y * (layer.y - layer.h),
                  layer.translation.x + layer.scale.x * (layer.x + layer.w),
                  layer.translation.y + layer.scale.y * (layer.y + layer.h)};
}

void ExpectRect(const ViewRect& actual, double left, double top, double right, double bottom,
                const char* what) {
  EXPECT_NEAR(actual.left, left, 1e-6) << what;
  EXPECT_NEAR(actual.top, top, 1e-6) << what;
  EXPECT_NEAR(actual.right, right, 1e-6) << what;
  EXPECT_NEAR(actual.bottom, bottom, 1e-6) << what;
}

// A scene at rest for the working image, and the start of a zoom into cell
// (col, row).
struct ZoomFixture {
  ViewScene scene;
  ZoomStart start;
  ZoomFixture(int col, int row, int flags) {
    Layout(scene, kImageW, kImageH, LayerSources{});
    const qxRect cell = CellHighlight(scene.camera, kSubW, kSubH, col, row);
    start = ZoomStart{cell.x, cell.y,  2 * cell.w, 2 * cell.h, kCols,
                      kRows,  kImageW, kImageH,    flags,      7.0};
  }
  // The cell's rectangle in scene units, from the image's top left corner.
  static ViewRect Cell(int col, int row) {
    const double left = -kImageW / 2.0 + col * kSubW;
    const double top = -kImageH / 2.0 + row * kSubH;
    return ViewRect{left, top, left + kSubW, top + kSubH};
  }
};

TEST(ZoomPoses, NewPairGrowsFromTheCellToTheWholeImage) {
  ZoomFixture f(10, 20, 0);
  StartZoomPoses(f.scene, f.start);
  ASSERT_EQ(f.scene.front, 0) << "the back pair should have become the front pair";
  const ViewRect cell = ZoomFixture::Cell(10, 20);
  for (qxRectPolygon* layer : {&f.scene.MosaicLayer(0), &f.scene.ImageLayer(0)}) {
    ExpectRect(Placed(*layer), cell.left, cell.top, cell.right, cell.bottom, "start");
    layer->Interpolate(1.0);
    ExpectRect(Placed(*layer), -1920, -1080, 1920, 1080, "end");
  }
  EXPECT_EQ(f.scene.MosaicLayer(0).alpha, 0.0);
  EXPECT_EQ(f.scene.ImageLayer(0).alpha, 0.0);
}

TEST(ZoomPoses, OldPairGrowsUntilTheCellFillsTheImage) {
  ZoomFixture f(10, 20, 0);
  StartZoomPoses(f.scene, f.start);
  const ViewRect cell = ZoomFixture::Cell(10, 20);
  for (qxRectPolygon* layer : {&f.scene.MosaicLayer(1), &f.scene.ImageLayer(1)}) {
    layer->Interpolate(0.0);
    ExpectRect(Placed(*layer), -1920, -1080, 1920, 1080, "old pair at rest");
    layer->Interpolate(1.0);
    // Map the old cell's corners through the end pose: they reach the image
    // corners.
    const Vec3d& t = layer->translation;
    const Vec3d& s = layer->scale;
    EXPECT_NEAR(t.x + s.x * cell.left, -1920, 1e-6);
    EXPECT_NEAR(t.y + s.y * cell.top, -1080, 1e-6);
    EXPECT_NEAR(t.x + s.x * cell.right, 1920, 1e-6);
    EXPECT_NEAR(t.y + s.y * cell.bottom, 1080, 1e-6);
  }
}

TEST(ZoomPoses, SurroundingLayersGrowFromTheNeighbourCellsToTheNeighbourImages) {
  ZoomFixture f(50, 60, kDrawAround);
  StartZoomPoses(f.scene, f.start);
  // Layer order: column offset outer, row offset inner, centre left out.
  const int offsets[8][2] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, -1}, {0, 1}, {1, -1}, {1, 0}, {1, 1}};
  for (int i = 0; i < kAroundLayerCount; ++i) {
    qxRectPolygon& layer = f.scene.AroundLayer(i);
    const int dx = offsets[i][0];
    const int dy = offsets[i][1];
    const ViewRect cell = ZoomFixture::Cell(50 + dx, 60 + dy);
    ExpectRect(Placed(layer), cell.left, cell.top, cell.right, cell.bottom, "neighbour cell");
    EXPECT_EQ(layer.alpha, 0.0);
    layer.Interpolate(1.0);
    ExpectRect(Placed(layer), -1920 + dx * kImageW, -1080 + dy * kImageH, 1920 + dx * kImageW,
               1080 + dy * kImageH, "neighbour image");
  }
}

TEST(ZoomPoses, WithoutSurroundingMosaicsTheirLayersStayHidden) {
  ZoomFixture f(50, 60, 0);
  for (int i = 0; i < kAroundLayerCount; ++i) f.scene.AroundLayer(i).alpha = 0.7;
  StartZoomPoses(f.scene, f.start);
  ZoomFramePoses(f.scene, 0.5, 1.0, 0);
  for (int i = 0; i < kAroundLayerCount; ++i) EXPECT_EQ(f.scene.AroundLayer(i).alpha, 0.0);
}

TEST(ZoomPoses, ZoomFromTheLiftedTileStartsLargerAndLeavesTheOldPairAlone) {
  const int flags = kDrawZoomWithSelected | kDrawZoomFromLiftedTile;
  ZoomFixture f(10, 20, flags);
  StartZoomPoses(f.scene, f.start);
  const ViewRect cell = ZoomFixture::Cell(10, 20);
  const double cx = (cell.left + cell.right) / 2;
  const double cy = (cell.top + cell.bottom) / 2;
  // Seven times the cell around its centre: the lifted tile's size.
  ExpectRect(Placed(f.scene.MosaicLayer(0)), cx - 7 * 16, cy - 7 * 9, cx + 7 * 16, cy + 7 * 9,
             "lifted start");
  EXPECT_EQ(f.scene.ImageLayer(0).alpha, 1.0) << "the selected picture shows at once";
  ZoomFramePoses(f.scene, 0.5, 1.0, flags);
  ExpectRect(Placed(f.scene.MosaicLayer(1)), -1920, -1080, 1920, 1080, "old pair");
  EXPECT_EQ(f.scene.ImageLayer(0).alpha, 1.0);
  // Only "Zoom with selected" (no lifted start): one cell again.
  ZoomFixture g(10, 20, kDrawZoomWithSelected);
  StartZoomPoses(g.scene, g.start);
  ExpectRect(Placed(g.scene.MosaicLayer(0)), cell.left, cell.top, cell.right, cell.bottom,
             "cell start");
}

TEST(ZoomPoses, AlphaRisesWithTheSquareRootOfProgressUpToTheMosaicAlpha) {
  struct Row {
    double t;
    double alpha;
    double expected;
  };
  const Row rows[] = {{0.0, 1.0, 0.0}, {0.25, 1.0, 0.5}, {0.64, 1.0, 0.8},
                      {1.0, 1.0, 1.0}, {0.25, 0.3, 0.3}, {0.04, 0.3, 0.2}};
  for (const Row& row : rows) {
    ZoomFixture f(10, 20, kDrawAround);
    StartZoomPoses(f.scene, f.start);
    ZoomFramePoses(f.scene, row.t, row.alpha, kDrawAround);
    EXPECT_NEAR(f.scene.MosaicLayer(0).alpha, row.expected, 1e-12) << row.t;
    EXPECT_NEAR(f.scene.ImageLayer(0).alpha, row.expected, 1e-12) << row.t;
    EXPECT_NEAR(f.scene.AroundLayer(3).alpha, row.expected, 1e-12) << row.t;
  }
}

TEST(ZoomPoses, FinishLeavesTheNewPairFullAndTheOldOneAtRest) {
  ZoomFixture f(10, 20, kDrawAround);
  StartZoomPoses(f.scene, f.start);
  ZoomFramePoses(f.scene, 0.9, 0.6, kDrawAround);
  FinishZoomPoses(f.scene, 0.6, kDrawAround);
  ExpectRect(Placed(f.scene.MosaicLayer(0)), -1920, -1080, 1920, 1080, "new mosaic");
  ExpectRect(Placed(f.scene.MosaicLayer(1)), -1920, -1080, 1920, 1080, "old mosaic");
  EXPECT_EQ(f.scene.MosaicLayer(1).alpha, 0.6);
  for (int i = 0; i < kAroundLayerCount; ++i) EXPECT_EQ(f.scene.AroundLayer(i).alpha, 0.0);
}

TEST(ZoomPoses, EachZoomSwapsTheFrontPair) {
  ZoomFixture f(10, 20, 0);
  StartZoomPoses(f.scene, f.start);
  EXPECT_EQ(f.scene.front, 0);
  StartZoomPoses(f.scene, f.start);
  EXPECT_EQ(f.scene.front, 1);
}

TEST(Fade, StepsByAHundredthTowardsItsGoal) {
  struct Row {
    double level;
    bool fading_out;
    double alpha;
    double next;
    bool done;
  };
  const Row rows[] = {
      {1.0, true, 1.0, 0.99, false},  {0.005, true, 1.0, 0.0, false},
      {0.0, true, 1.0, 0.0, false},  // stays out while held
      {0.5, false, 1.0, 0.51, false}, {0.995, false, 1.0, 1.0, true},
      {1.0, false, 1.0, 1.0, true},  // already there: nothing moves
      {0.8, false, 0.5, 0.8, true},  // above a lowered alpha: stops
  };
  for (const Row& row : rows) {
    const FadeLevel fade = StepFade(row.level, row.fading_out, row.alpha);
    EXPECT_NEAR(fade.level, row.next, 1e-12) << row.level << " " << row.fading_out;
    EXPECT_EQ(fade.done, row.done) << row.level << " " << row.fading_out;
  }
}

TEST(ViewToImagePixel, MapsThroughTheVisibleRectangleAndTruncates) {
  // A 626 x 262 view showing the default camera of a 3840 x 2160 image,
  // widened to the view's aspect: 2160 * 626 / 262 scene units across.
  const qxRect camera(0, 0, 1920, 1080);
  const double half = 2160.0 * 626 / 262 / 2;
  const ViewRect visible{-half, -1080, half, 1080};
  struct Row {
    int x, y;
    int px, py;
  };
  const Row rows[] = {
      {313, 131, 1920, 1080},                          // centre to centre
      {0, 0, static_cast<int>(-half) + 1920, 0},       // left of the image
      {626, 262, static_cast<int>(half) + 1920, 2160}  // right of it
  };
  for (const Row& row : rows) {
    const ImagePixel p = ViewToImagePixel(row.x, row.y, 626, 262, visible, camera);
    EXPECT_EQ(p.x, row.px) << row.x;
    EXPECT_EQ(p.y, row.py) << row.y;
  }
  // Truncation at each step: 0.9 + 10 * 0.5 = 5.9 gives 5; the camera's
  // corner -0.6 gives 0.
  const ImagePixel p =
      ViewToImagePixel(5, 5, 10, 10, ViewRect{0.9, 0.9, 10.9, 10.9}, qxRect(4.4, 4.4, 5, 5));
  EXPECT_EQ(p.x, 5);
  EXPECT_EQ(p.y, 5);
}

}  // namespace
}  // namespace tessaline
