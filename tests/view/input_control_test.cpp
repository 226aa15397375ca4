#include "view/input_control.h"

#include <FL/Enumerations.H>
#include <gtest/gtest.h>

#include <vector>

#include "view/motion_fakes.h"

namespace tessaline {
namespace {

constexpr int kFadeIcon = 3;
constexpr int kCell = 5 + 40;  // a pick name from the first cell name on

// A 640 x 360 view with four icons; Pick answers `pick`.
class FakeInputHost : public InputHost {
 public:
  explicit FakeInputHost(ZoomPilot& zoom) : zoom_(zoom) {}
  bool Busy() const override { return busy; }
  bool Ready() const override { return ready; }
  bool OutsideView(int x, int y) const override { return x < 0 || y < 0 || x > 640 || y > 360; }
  void TakeFocus() override {}
  void MakeGlContextCurrent() override {}
  void UpdateMenuStates() override {}
  void Redraw() override {}
  int Pick(int, int) override { return pick; }
  int IconCount() const override { return 4; }
  int FirstCellName() const override { return 5; }
  int FadeIcon() const override { return kFadeIcon; }
  void RunIconActions(int icon) override { icons_run.push_back(icon); }
  int PressStyle() override { return 2; }
  void SelectCellAt(int x, int y) override {
    ++selections;
    zoom_.SelectCell(x / 32, y / 18);
  }
  void ToggleViewFullScreen(bool from_key) override { full_screen.push_back(from_key); }
  int TileSizeIndex() const override { return tile_index; }
  int TileSizeCount() const override { return 3; }
  void ChangeTileSize(int index) override { tile_changes.push_back(index); }

  bool busy = false;
  bool ready = true;
  int pick = kCell;
  std::vector<int> icons_run;
  int selections = 0;
  std::vector<bool> full_screen;
  int tile_index = 0;
  std::vector<int> tile_changes;

 private:
  ZoomPilot& zoom_;
};

class InputControlTest : public ::testing::Test {
 protected:
  InputControlTest() { Layout(scene_, 640, 360, LayerSources{}); }
  void Click(int x, int y) {
    input_.MouseButton(1, true, x, y);
    input_.MouseButton(1, false, x, y);
  }

  ViewScene scene_;
  FakeZoomEngine zoom_engine_;
  FakeZoomHost zoom_host_;
  ZoomPilot zoom_{scene_, zoom_engine_, zoom_host_};
  FakeLiveEngine live_engine_;
  FakeLiveHost live_host_;
  LiveControl live_{scene_, live_engine_, live_host_};
  FakeInputHost host_{zoom_};
  InputControl input_{scene_, zoom_, live_, host_};
};

// Press, optional drag, release: one zoom, only for a release on the
// mosaic with nothing in between that disarms the press.
TEST_F(InputControlTest, AClickOnTheMosaicZoomsIntoTheSelectedCellOnce) {
  const struct {
    const char* between;
    int release_x, release_pick;
    std::size_t zooms;
  } rows[] = {{"", 100, kCell, 1},
              {"drag", 100, kCell, 1},
              {"", 700, -1, 0},  // let go outside the view
              {"", 100, 1, 0},   // let go over an icon
              {"move", 100, kCell, 0}};
  for (const auto& row : rows) {
    FakeZoomEngine engine;
    FakeZoomHost zoom_host;
    ZoomPilot zoom(scene_, engine, zoom_host);
    FakeInputHost host(zoom);
    InputControl input(scene_, zoom, live_, host);
    input.MouseButton(1, true, 64, 36);
    if (std::string(row.between) == "drag") input.MouseDrag(100, 36);
    if (std::string(row.between) == "move") input.MouseMove(100, 36);
    host.pick = row.release_pick;
    input.MouseButton(1, false, row.release_x, 36);
    EXPECT_EQ(engine.zooms.size(), row.zooms) << row.between << " " << row.release_x;
    if (row.zooms == 1) {
      const std::pair<int, int> cell =
          std::string(row.between) == "drag" ? std::make_pair(3, 2) : std::make_pair(2, 2);
      EXPECT_EQ(engine.zooms.front(), cell);
    }
  }
}

TEST_F(InputControlTest, DuringAZoomTheMosaicIgnoresPressesAndDragsButKeysAndIconsAct) {
  Click(64, 36);
  ASSERT_TRUE(zoom_.Zooming());
  const int selections = host_.selections;
  input_.MouseButton(1, true, 200, 100);
  input_.MouseDrag(210, 100);
  input_.MouseButton(1, false, 210, 100);
  EXPECT_EQ(host_.selections, selections);
  EXPECT_EQ(zoom_engine_.zooms.size(), 1u);

  input_.KeyDown(FL_Right);
  EXPECT_EQ(host_.tile_changes, std::vector<int>{1});
  host_.pick = 2;
  Click(10, 10);
  EXPECT_EQ(host_.icons_run, std::vector<int>{2});
}

TEST_F(InputControlTest, TheRightButtonStopsTheAutoPilotAndItsZoomFinishes) {
  zoom_.StartAutoPilot();
  ASSERT_TRUE(zoom_.AutoPilot());
  input_.MouseButton(3, true, 100, 100);
  EXPECT_FALSE(zoom_.AutoPilot());
  EXPECT_TRUE(zoom_.Zooming());
}

TEST_F(InputControlTest, NothingActsWhileLoadingOrBeforeAMosaicButTheFadeIconEndsItsFade) {
  for (const bool busy : {true, false}) {
    host_.busy = busy;
    host_.ready = busy;  // busy, or not ready
    Click(64, 36);
    input_.MouseMove(70, 40);
    input_.KeyDown(FL_Left);
    input_.KeyDown('g');
  }
  EXPECT_EQ(host_.selections, 0);
  EXPECT_TRUE(host_.tile_changes.empty());
  EXPECT_TRUE(host_.full_screen.empty());
  EXPECT_TRUE(zoom_engine_.zooms.empty());

  // Held on the fade icon when a load starts: the release still fades back.
  host_.busy = false;
  host_.ready = true;
  host_.pick = kFadeIcon;
  input_.MouseButton(1, true, 10, 10);
  host_.busy = true;
  input_.MouseButton(1, false, 700, 10);
  EXPECT_EQ(host_.icons_run, (std::vector<int>{kFadeIcon, kFadeIcon}));
}

TEST_F(InputControlTest, APressOnThePictureGivesUpAnOpeningCameraOrEndsLiveInput) {
  live_.ToggleVideoInput("");
  ASSERT_TRUE(live_.CameraOpening());
  host_.busy = true;  // load or not
  input_.MouseButton(1, true, 64, 36);
  EXPECT_FALSE(live_.CameraOpening());
  EXPECT_EQ(live_engine_.cancels, 1);
  EXPECT_EQ(host_.selections, 0);

  host_.busy = false;
  live_.ToggleVideoInput("clip.avi");
  ASSERT_TRUE(live_.Live());
  Click(64, 36);
  EXPECT_FALSE(live_.Live());
  EXPECT_EQ(host_.selections, 0);
  EXPECT_TRUE(zoom_engine_.zooms.empty());
}

TEST_F(InputControlTest, ArrowKeysWalkTheTileSizesWithWrapAround) {
  const struct {
    int index, key, next;
  } rows[] = {{0, FL_Left, 2}, {2, FL_Right, 0}, {1, FL_Right, 2}, {1, FL_Left, 0}};
  for (const auto& row : rows) {
    host_.tile_index = row.index;
    host_.tile_changes.clear();
    input_.KeyDown(row.key);
    EXPECT_EQ(host_.tile_changes, std::vector<int>{row.next}) << row.index << " " << row.key;
  }
  input_.KeyDown('g');
  input_.KeyDown('x');
  EXPECT_EQ(host_.full_screen, std::vector<bool>{true});
}

}  // namespace
}  // namespace tessaline
