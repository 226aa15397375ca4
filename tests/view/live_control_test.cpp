#include "view/live_control.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/temp_folder.h"
#include "view/motion_fakes.h"

namespace tessaline {
namespace {

using Opening = LiveEngine::CameraOpening;

class LiveControlTest : public ::testing::Test {
 protected:
  ViewScene scene_;
  FakeLiveEngine engine_;
  FakeLiveHost host_;
  LiveControl live_{scene_, engine_, host_};
};

TEST_F(LiveControlTest, AMovieStartsOnItsFirstFrameAndTheSameCommandEndsIt) {
  live_.ToggleVideoInput("clip.avi");
  EXPECT_TRUE(live_.Live());
  EXPECT_EQ(host_.idle_steps, 1) << "a movie shows its first frame";
  EXPECT_TRUE(host_.animation.empty()) << "a movie waits for Start/Stop";
  live_.LiveStep();
  EXPECT_EQ(scene_.MosaicLayer(1 - scene_.front).texture, 22u);

  live_.ToggleVideoInput("");
  EXPECT_FALSE(live_.Live());
  EXPECT_EQ(engine_.closes, 1);
  EXPECT_EQ(host_.generates, 1) << "the last frame's still mosaic is made again";
  EXPECT_TRUE(scene_.press_armed);
  EXPECT_EQ(host_.dialogs, 0);
}

TEST_F(LiveControlTest, NothingStartsWhileALoadRunsOrWhenTheSourceRefuses) {
  host_.busy = true;
  live_.ToggleVideoInput("clip.avi");
  live_.ToggleVideoInput("");
  EXPECT_TRUE(engine_.opened.empty());
  host_.busy = false;
  engine_.movie_opens = false;
  live_.ToggleVideoInput("broken.avi");
  host_.choice.reset();
  live_.ToggleVideoInput("");
  EXPECT_FALSE(live_.Live());
  EXPECT_FALSE(live_.CameraOpening());
  EXPECT_FALSE(host_.polling);
  EXPECT_EQ(engine_.opened, std::vector<std::string>{"broken.avi"});
  EXPECT_EQ(host_.menu_updates, 4);
}

// The poll repeats while the camera is opening and ends on every answer;
// only a running camera makes the input live.
TEST_F(LiveControlTest, CameraPollEndsOnEveryAnswer) {
  const struct {
    Opening answer;
    bool live;
    std::size_t statuses;  // the opening text, then the answer's
  } rows[] = {{Opening::kRunning, true, 2},
              {Opening::kFailed, false, 2},
              {Opening::kTimedOut, false, 2},
              {Opening::kNone, false, 1}};
  for (const auto& row : rows) {
    FakeLiveEngine engine;
    FakeLiveHost host;
    LiveControl live(scene_, engine, host);
    engine.polls = {Opening::kOpening, Opening::kOpening, row.answer};
    live.ToggleVideoInput("");
    ASSERT_TRUE(live.CameraOpening());
    EXPECT_TRUE(host.polling);
    EXPECT_EQ(engine.opened, std::vector<std::string>{"camera 1"});
    EXPECT_TRUE(live.PollCamera());
    EXPECT_TRUE(live.PollCamera());
    EXPECT_FALSE(live.PollCamera());
    EXPECT_FALSE(live.CameraOpening());
    EXPECT_EQ(live.Live(), row.live);
    EXPECT_EQ(host.animation, row.live ? std::vector<int>{1} : std::vector<int>{});
    EXPECT_EQ(host.statuses.size(), row.statuses);
    EXPECT_FALSE(live.PollCamera()) << "a poll after the answer went on";
  }
}

TEST_F(LiveControlTest, TheCommandAgainGivesUpTheCameraBeingOpened) {
  live_.ToggleVideoInput("");
  ASSERT_TRUE(live_.CameraOpening());
  live_.ToggleVideoInput("");
  EXPECT_FALSE(live_.CameraOpening());
  EXPECT_FALSE(host_.polling);
  EXPECT_EQ(engine_.cancels, 1);
  EXPECT_EQ(host_.dialogs, 1) << "giving up asked for another camera";
  EXPECT_FALSE(live_.PollCamera());

  // A movie asked for meanwhile opens after the camera is given up.
  live_.ToggleVideoInput("");
  live_.ToggleVideoInput("clip.avi");
  EXPECT_EQ(engine_.cancels, 2);
  EXPECT_TRUE(live_.Live());
}

TEST_F(LiveControlTest, APollThatThrowsIsNotRepeated) {
  live_.ToggleVideoInput("");
  engine_.poll_throws = true;
  EXPECT_THROW(live_.PollCamera(), std::runtime_error);
  EXPECT_FALSE(live_.CameraOpening());
  EXPECT_FALSE(live_.PollCamera());
}

TEST_F(LiveControlTest, RecordingTakesNewFramesOnlyAndEndsWithTheSource) {
  TempFolder folder;
  const std::string path = folder / "run1.avi";
  live_.ToggleVideoInput("clip.avi");
  live_.SetRecording(1, path);
  ASSERT_TRUE(live_.Recording());
  EXPECT_EQ(host_.output_text, "run1.avi");
  live_.LiveStep();
  live_.LiveStep();
  engine_.new_frame = false;  // a camera with nothing new yet
  live_.LiveStep();
  engine_.frames_left = 0;  // the movie ends
  live_.LiveStep();
  EXPECT_FALSE(live_.Recording());
  EXPECT_EQ(host_.animation.back(), 0);
  EXPECT_TRUE(host_.failures.empty()) << host_.failures.front();
  EXPECT_TRUE(std::filesystem::is_regular_file(path));
  cv::VideoCapture movie(path);
  EXPECT_EQ(static_cast<int>(movie.get(cv::CAP_PROP_FRAME_COUNT)), 2);
}

// The view draws again after a new mosaic or when the input ended, and
// counts only a new mosaic in the frame rate; a camera with nothing new
// costs no drawing.
TEST_F(LiveControlTest, AStepTellsWhetherItMadeAMosaicToShow) {
  using Step = LiveControl::Step;
  const struct {
    bool new_frame;
    int frames_left;
    Step step;
  } rows[] = {{true, 5, Step::kNewMosaic},
              {false, 5, Step::kNothingNew},
              {true, 0, Step::kEnded},
              {false, 0, Step::kEnded}};
  live_.ToggleVideoInput("clip.avi");
  for (const auto& row : rows) {
    engine_.new_frame = row.new_frame;
    engine_.frames_left = row.frames_left;
    EXPECT_EQ(live_.LiveStep(), row.step) << row.new_frame << " " << row.frames_left;
  }
}

TEST_F(LiveControlTest, ARecordingThatCannotOpenIsOff) {
  TempFolder folder;
  live_.SetRecording(1, folder / "missing/run1.avi");
  EXPECT_FALSE(live_.Recording());
  EXPECT_TRUE(host_.output_text.empty());
  EXPECT_FALSE(live_.WriteRecordingFrame());
  live_.SetRecording(0, "output.avi");
  EXPECT_FALSE(live_.Recording());
}

}  // namespace
}  // namespace tessaline
