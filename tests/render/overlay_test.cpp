#include "render/overlay.h"

#include <GL/glew.h>

#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "render/gl_test_context.h"
#include "settings/log_stream.h"

namespace tessaline {
namespace {

const char kFontPath[] = "/usr/share/fonts/truetype/inconsolata/Inconsolata.otf";

TEST(TextLineStart, CentresByTheFontInUse) {
  const TextMetrics glut = MetricsOf(nullptr);
  const TextMetrics ftgl{true, 7, 17};  // a 14-point face: 14 / 2
  struct Row {
    const char* what;
    std::size_t length;
    bool centred;
    TextMetrics metrics;
    double want;
  };
  const std::vector<Row> rows = {
      {"GLUT, 12 characters", 12, true, glut, 340},
      {"GLUT, odd length", 5, true, glut, 375},
      {"FTGL halves the length as an integer", 13, true, ftgl, 400 - 7 * 6},
      {"not centred", 12, false, glut, 400},
      {"empty line", 0, true, ftgl, 400},
  };
  for (const Row& row : rows) {
    EXPECT_DOUBLE_EQ(TextLineStart(400, row.length, row.centred, row.metrics), row.want)
        << row.what;
  }
  EXPECT_FALSE(glut.ftgl);
  EXPECT_EQ(glut.char_width, 10);
  EXPECT_DOUBLE_EQ(glut.line_height, 24);
}

TEST(ConsoleBoxGeometry, FitsTheLongestLineAndEveryLine) {
  const std::vector<std::string> lines = {"one", "eleven char", "x"};
  // GLUT: 3 lines of 24 pixels below height - 2, then 5 more.
  const ConsoleBox glut = ConsoleBoxGeometry(lines, 480, MetricsOf(nullptr));
  EXPECT_DOUBLE_EQ(glut.left, 2);
  EXPECT_DOUBLE_EQ(glut.top, 478);
  EXPECT_DOUBLE_EQ(glut.bottom, 478 - 72 - 5);
  EXPECT_DOUBLE_EQ(glut.right, 11 * 10 + 12);
  const ConsoleBox ftgl = ConsoleBoxGeometry(lines, 300, TextMetrics{true, 7, 17.5});
  EXPECT_DOUBLE_EQ(ftgl.bottom, 298 - 52.5 - 5);
  EXPECT_DOUBLE_EQ(ftgl.right, 11 * 7 + 12);
  const ConsoleBox none = ConsoleBoxGeometry({}, 300, MetricsOf(nullptr));
  EXPECT_DOUBLE_EQ(none.bottom, 293);
  EXPECT_DOUBLE_EQ(none.right, 12);
}

TEST(PlaceIcons, LaysShownIconsInARowByTheVisibleRectangle) {
  bool full_screen = true;
  ViewIconList icons(4);
  for (int i = 0; i < 4; ++i) {
    icons[i].index = i;
    icons[i].texture = static_cast<GLuint>(10 + i);
  }
  icons[0].alternate_texture = 20;
  icons[0].state = [&full_screen] { return full_screen; };
  icons[1].texture = 0;                          // failed to load: still takes its place
  icons[2].shown = false;                        // hidden: takes no place
  const ViewRect visible{-480, -360, 480, 360};  // 960 x 720
  const std::vector<PlacedIcon> placed = PlaceIcons(icons, visible, IconLayout{});

  // s = min(960, 720) * 0.03 = 21.6; first centre x = -480 + 921.6 = 441.6,
  // y = -360 + 28.8, pitch 2.4 s = 51.84. Three icons would end at
  // 441.6 + 2 * 51.84 + 21.6 = 566.88, beyond the right edge 480, so the row
  // moves left until it ends where the first icon alone would (463.2):
  // by 103.68, to a first centre of 337.92.
  ASSERT_EQ(placed.size(), 3u);
  const int want_index[] = {0, 1, 3};
  const GLuint want_texture[] = {20, 0, 13};
  for (std::size_t i = 0; i < placed.size(); ++i) {
    EXPECT_EQ(placed[i].index, want_index[i]) << i;
    EXPECT_EQ(placed[i].texture, want_texture[i]) << i;
    EXPECT_NEAR(placed[i].place.x, 337.92 + 51.84 * static_cast<double>(i), 1e-9) << i;
    EXPECT_NEAR(placed[i].place.y, -331.2, 1e-9) << i;
    EXPECT_NEAR(placed[i].place.half_width, 21.6, 1e-9) << i;
    EXPECT_NEAR(placed[i].place.half_height, 21.6, 1e-9) << i;
  }
  // A lone icon keeps the margin's place.
  const ViewIconList lone(icons.begin(), icons.begin() + 1);
  EXPECT_NEAR(PlaceIcons(lone, visible, IconLayout{})[0].place.x, 441.6, 1e-9);
  // A row that fits stays where the margin puts it: first centre 0.5 * 960.
  IconLayout middle;
  middle.icon_left_margin = 0.5;
  EXPECT_NEAR(PlaceIcons(icons, visible, middle)[0].place.x, 0.0, 1e-9);
  full_screen = false;
  EXPECT_EQ(PlaceIcons(icons, visible, IconLayout{})[0].texture, 10u);
  // A wide rectangle takes the size from its height: min(60, 15) = 15.
  EXPECT_DOUBLE_EQ(PlaceIcons(icons, ViewRect{0, 0, 2000, 500}, IconLayout{})[0].place.half_width,
                   15);
}

TEST(LogoSquare, SitsAtTheRightOrBottomEnd) {
  struct Row {
    ViewRect visible, want;
  };
  const std::vector<Row> rows = {
      {{-500, -250, 500, 250}, {0, -250, 500, 250}},  // 1000 x 500: from left + 500
      {{0, 0, 300, 900}, {0, 600, 300, 900}},         // 300 x 900: from top + 600
      {{10, 20, 110, 120}, {10, 20, 110, 120}},       // already square
  };
  for (const Row& row : rows) {
    const ViewRect r = LogoSquare(row.visible);
    EXPECT_DOUBLE_EQ(r.left, row.want.left);
    EXPECT_DOUBLE_EQ(r.top, row.want.top);
    EXPECT_DOUBLE_EQ(r.right, row.want.right);
    EXPECT_DOUBLE_EQ(r.bottom, row.want.bottom);
  }
}

TEST(BigCursorRect, StartsAtTheMouseInSceneUnits) {
  // 200 window pixels over 400 scene units: 2 units a pixel across, 3 down.
  const ViewRect r = BigCursorRect(ViewRect{-200, -150, 200, 150}, 200, 100, 50, 10);
  EXPECT_DOUBLE_EQ(r.left, -100);
  EXPECT_DOUBLE_EQ(r.top, -120);
  EXPECT_DOUBLE_EQ(r.right, -100 + 2.0 * kBigCursorPixels);
  EXPECT_DOUBLE_EQ(r.bottom, -120 + 3.0 * kBigCursorPixels);
}

TEST(FrameRateMeter, ReportsTheRateBetweenTwoTicks) {
  struct Row {
    const char* what;
    std::uint32_t first, second;
    std::string want;
  };
  const std::vector<Row> rows = {
      {"40 ms", 1000, 1040, "25.0 [fps]"}, {"across the wrap", 0xFFFFFFF0u, 0x18u, "25.0 [fps]"},
      {"3 ms", 7, 10, "333.3 [fps]"},      {"2 s", 0, 2000, "0.5 [fps]"},
      {"no time", 500, 500, "inf [fps]"},
  };
  for (const Row& row : rows) {
    std::uint32_t now = row.first;
    std::vector<std::string> shown;
    FrameRateMeter meter([&now] { return now; },
                         [&shown](const std::string& text) { shown.push_back(text); });
    now = row.second;
    EXPECT_EQ(meter.MeasureFrameRate(), row.want) << row.what;
    ASSERT_EQ(shown.size(), 1u) << row.what;
    EXPECT_EQ(shown[0], row.want) << row.what;
  }
}

TEST(FrameRateMeter, MeasuresFromTheLastMeasurement) {
  std::uint32_t now = 0;
  FrameRateMeter meter([&now] { return now; });
  now = 100;
  EXPECT_EQ(meter.MeasureFrameRate(), "10.0 [fps]");
  now = 150;
  EXPECT_EQ(meter.MeasureFrameRate(), "20.0 [fps]");
}

TEST(OverlayFont, ReportsAFontThatCannotBeOpened) {
  OverlayFont font;
  const std::string path = "/nonexistent/dir/NoSuchFont.ttf";
  EXPECT_EQ(font.OpenFont(path, 14), 1);
  EXPECT_FALSE(font.ready());
  EXPECT_EQ(font.font(), nullptr);
  const std::vector<std::string> history = LogHistory();
  EXPECT_NE(std::find(history.begin(), history.end(), "Failed to open font " + path + "\n"),
            history.end());
  EXPECT_FALSE(MetricsOf(&font).ftgl);
}

TEST(OverlayFont, MetricsFollowTheFaceSize) {
  OverlayFont font;
  ASSERT_EQ(font.OpenFont(kFontPath, 18), 0);
  EXPECT_TRUE(font.ready());
  const TextMetrics m = font.Metrics();
  EXPECT_TRUE(m.ftgl);
  EXPECT_EQ(m.char_width, 9);
  EXPECT_GT(m.line_height, 10);
  EXPECT_LT(m.line_height, 40);
}

// Counts pixels of the framebuffer whose red, green and blue all lie in
// [low, high].
int CountGrey(const GlTestContext& gl, int low, int high) {
  std::vector<unsigned char> pixels(static_cast<std::size_t>(gl.width()) * gl.height() * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, gl.width(), gl.height(), GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  int n = 0;
  for (std::size_t i = 0; i < pixels.size(); i += 4) {
    const int lo = std::min({pixels[i], pixels[i + 1], pixels[i + 2]});
    const int hi = std::max({pixels[i], pixels[i + 1], pixels[i + 2]});
    if (lo >= low && hi <= high) ++n;
  }
  return n;
}

void InitGlutOnce() {
  static bool done = false;
  if (done) return;
  int argc = 1;
  char name[] = "overlay_test";
  char* argv[] = {name, nullptr};
  glutInit(&argc, argv);
  done = true;
}

class TextDrawingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gl_.ok()) << gl_.error();
    InitGlutOnce();
    glViewport(0, 0, gl_.width(), gl_.height());
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  GlTestContext gl_{160, 64};
};

TEST_F(TextDrawingTest, FtglFontDrawsWhiteText) {
  OverlayFont font;
  ASSERT_EQ(font.OpenFont(kFontPath, 18), 0);
  DrawTextLines({"HELLO"}, gl_.width(), gl_.height(), 10, 30, false, false, false, &font);
  EXPECT_GT(CountGrey(gl_, 250, 255), 20);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextDrawingTest, GlutFallbackDrawsWithoutAFont) {
  DrawTextLines({"HELLO"}, gl_.width(), gl_.height(), 10, 30, false, false, false, nullptr);
  EXPECT_GT(CountGrey(gl_, 250, 255), 20);
  EXPECT_EQ(CountGrey(gl_, 100, 240), 0) << "plain text has no outline";
}

TEST_F(TextDrawingTest, GlowTextHasAGreyOutline) {
  DrawInfoLines({"HELLO"}, gl_.width(), gl_.height(), nullptr);
  EXPECT_GT(CountGrey(gl_, 250, 255), 0);
  EXPECT_GT(CountGrey(gl_, 170, 225), 10) << "outline in 0.85 and 0.7 grey";
}

TEST_F(TextDrawingTest, ConsoleBoxDarkensOnlyItsArea) {
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glClearColor(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  DrawLogConsole({"ab"}, gl_.width(), gl_.height(), nullptr);
  glDisable(GL_BLEND);
  // Box: x 2 ... 32, y (from the bottom) 33 ... 62; half of 0.1 grey over white.
  unsigned char inside[4] = {}, outside[4] = {};
  glReadPixels(28, 35, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, inside);
  glReadPixels(40, 35, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, outside);
  EXPECT_NEAR(inside[0], 140, 2);
  EXPECT_EQ(outside[0], 255);
}

}  // namespace
}  // namespace tessaline
