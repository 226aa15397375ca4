#include "view/zoom_pilot.h"

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <utility>
#include <vector>

#include "view/motion_fakes.h"
#include "view/view_animation.h"

namespace tessaline {
namespace {

class ZoomPilotTest : public ::testing::Test {
 protected:
  ZoomPilotTest() { Layout(scene_, 320, 144, LayerSources{}); }
  // Idle steps while the animation runs, at most `limit`; how many ran.
  int RunFrames(int limit) {
    int frames = 0;
    while (host_.running && frames < limit) {
      pilot_.Frame();
      ++frames;
    }
    return frames;
  }

  ViewScene scene_;
  FakeZoomEngine engine_;
  FakeZoomHost host_;
  ZoomPilot pilot_{scene_, engine_, host_};
};

TEST_F(ZoomPilotTest, AClickZoomRunsItsFramesWithTheSleepPauseThenStops) {
  pilot_.SetPause(20.9);  // whole milliseconds
  pilot_.SelectCell(2, 5);
  scene_.press_armed = true;
  pilot_.ZoomIntoSelected();
  EXPECT_TRUE(pilot_.Zooming());
  EXPECT_FALSE(scene_.press_armed);
  EXPECT_EQ(engine_.zooms, (std::vector<std::pair<int, int>>{{2, 5}}));
  EXPECT_EQ(scene_.MosaicLayer(scene_.front).texture, 11u);
  EXPECT_EQ(host_.forgotten_tiles, 1);
  EXPECT_EQ(pilot_.SelectedCol(), -1) << "the zoomed cell stays selected";

  EXPECT_EQ(RunFrames(100), kZoomFrames + 1);
  EXPECT_FALSE(pilot_.Zooming());
  EXPECT_EQ(host_.animation.back(), 0);
  EXPECT_EQ(host_.pauses, std::vector<double>(kZoomFrames + 1, 0.020));
  EXPECT_EQ(host_.layouts, 1);
}

TEST_F(ZoomPilotTest, ACellWithoutZoomPutsTheSceneBackAtRest) {
  engine_.zoom_result = false;
  const int front = scene_.front;
  pilot_.SelectCell(0, 0);
  pilot_.ZoomIntoSelected();
  EXPECT_FALSE(pilot_.Zooming());
  EXPECT_EQ(scene_.front, front);
  EXPECT_EQ(host_.layouts, 1);
  EXPECT_EQ(host_.forgotten_tiles, 0);
}

TEST_F(ZoomPilotTest, AutoPilotChainsZoomsUntilStoppedAndTheRunningZoomFinishes) {
  engine_.cells = {{1, 1}, {2, 2}, {3, 3}};
  pilot_.StartAutoPilot();
  ASSERT_TRUE(pilot_.AutoPilot());
  EXPECT_EQ(RunFrames(kZoomFrames + 1), kZoomFrames + 1);
  EXPECT_TRUE(host_.running) << "the auto pilot stopped after one zoom";
  pilot_.Frame();  // the next zoom starts
  EXPECT_EQ(engine_.zooms.size(), 2u);

  // Stopped (the right button) in the middle of the second zoom.
  RunFrames(10);
  pilot_.StopAutoPilot();
  EXPECT_TRUE(pilot_.Zooming());
  EXPECT_EQ(RunFrames(100), kZoomFrames + 1 - 11);
  EXPECT_FALSE(pilot_.Zooming());
  EXPECT_EQ(engine_.zooms.size(), 2u) << "a zoom started after the auto pilot stopped";
}

TEST_F(ZoomPilotTest, AutoPilotStartsOnlyWithATargetAndNoLoad) {
  const struct {
    bool target_loaded, busy, has_cell, starts;
  } rows[] = {{false, false, true, false},
              {true, true, true, false},
              {true, false, false, false},
              {true, false, true, true}};
  for (const auto& row : rows) {
    FakeZoomEngine engine;
    FakeZoomHost host;
    ZoomPilot pilot(scene_, engine, host);
    engine.target_loaded = row.target_loaded;
    host.busy = row.busy;
    if (!row.has_cell) engine.cells.clear();
    pilot.ToggleAutoPilot();
    EXPECT_EQ(pilot.AutoPilot(), row.starts) << row.target_loaded << row.busy << row.has_cell;
    EXPECT_EQ(host.running, row.starts);
    EXPECT_EQ(host.menu_updates, 1);
  }
}

TEST_F(ZoomPilotTest, AutoPilotEndsWhenItsNextCellHasNoZoom) {
  pilot_.StartAutoPilot();
  RunFrames(kZoomFrames + 1);
  engine_.zoom_result = false;
  pilot_.Frame();
  EXPECT_FALSE(pilot_.AutoPilot());
  EXPECT_FALSE(pilot_.Zooming());
}

TEST_F(ZoomPilotTest, FadeGoesOutWhileHeldAndBackToTheAlphaWhenLetGo) {
  scene_.alpha = 0.5;
  pilot_.SetFadeLevel(0.5);
  pilot_.ToggleFade();
  ASSERT_TRUE(host_.running);
  RunFrames(80);
  EXPECT_TRUE(host_.running) << "the fade out ended while the icon is held";
  EXPECT_DOUBLE_EQ(scene_.MosaicLayer(scene_.front).alpha, 0.0);
  pilot_.ToggleFade();
  EXPECT_LT(RunFrames(100), 100);
  EXPECT_NEAR(scene_.MosaicLayer(scene_.front).alpha, 0.5, 1e-9);
}

TEST_F(ZoomPilotTest, ResetEndsZoomAutoPilotAndSelection) {
  pilot_.StartAutoPilot();
  pilot_.SelectCell(1, 2);
  scene_.press_armed = true;
  pilot_.Reset();
  EXPECT_FALSE(pilot_.Zooming());
  EXPECT_FALSE(pilot_.AutoPilot());
  EXPECT_FALSE(host_.running);
  EXPECT_FALSE(scene_.cell_selected);
  EXPECT_FALSE(scene_.press_armed);
  EXPECT_EQ(pilot_.SelectedRow(), -1);
  // Nothing left over starts a zoom on the next step.
  host_.running = true;
  pilot_.Frame();
  EXPECT_EQ(engine_.zooms.size(), 1u);
}

}  // namespace
}  // namespace tessaline
