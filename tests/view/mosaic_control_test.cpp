#include "view/mosaic_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tessaline {
namespace {

// An engine that records its calls. Its load blocks until released, and any
// GUI-thread call made while a load runs is counted as a conflict.
class FakeEngine : public MosaicEngineAccess {
 public:
  bool LoadSubImages(const std::string& dir) override {
    loading = true;
    load_dirs.push_back(dir);
    entered.set_value();
    release_future.wait();
    loading = false;
    return load_result;
  }
  std::string LoadFailureText() const override { return failure_text; }
  std::string ImageDir() const override { return dir; }
  bool GenerateMosaic() override {
    Call("GenerateMosaic");
    return generate_result;
  }
  void SetTarget(const std::string& path) override { Call("SetTarget " + path); }
  void SetTileSize(int w, int h) override {
    Call("SetTileSize " + std::to_string(w) + "x" + std::to_string(h));
  }
  std::vector<TileSize> TileSizes() const override {
    if (loading) ++conflicts;
    return sizes;
  }
  std::string SizeRefusal() const override { return refusal; }

  void Call(const std::string& name) {
    if (loading) ++conflicts;
    calls.push_back(name);
  }

  std::string dir = "./images";
  std::string failure_text;
  std::string refusal;
  std::vector<TileSize> sizes = {{32, 18}, {48, 27}};
  bool load_result = true;
  bool generate_result = true;
  std::atomic<bool> loading{false};
  mutable std::atomic<int> conflicts{0};
  std::vector<std::string> calls;
  std::vector<std::string> load_dirs;
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> release_future = release.get_future().share();
};

class FakeHost : public MosaicControlHost {
 public:
  void SetAnimation(int on) override { animation.push_back(on); }
  void LayoutScene() override { ++layouts; }
  void ShowStatus(const std::string& text) override { statuses.push_back(text); }
  void UpdateMenuStates() override { ++menu_updates; }
  void OnMosaicTakenUp() override { ++taken_up; }

  std::vector<int> animation;
  int layouts = 0;
  std::vector<std::string> statuses;
  int menu_updates = 0;
  int taken_up = 0;
};

class MosaicControlTest : public ::testing::Test {
 protected:
  ~MosaicControlTest() override {
    // Never leave a worker blocked on the fake.
    if (!released_) engine_.release.set_value();
    WaitForLoad(state_);
  }
  void Release() {
    released_ = true;
    engine_.release.set_value();
    WaitForLoad(state_);
  }

  FakeEngine engine_;
  FakeHost host_;
  LoadState state_;
  MosaicControl control_{engine_, host_, state_};
  bool released_ = false;
};

// Sizes the engine refuses stop every command that would start a load, with
// the reason on the status line; once they are mended the load starts.
TEST_F(MosaicControlTest, RefusedSizesStartNoLoad) {
  engine_.refusal = "the matching image 122880 x 69120 is larger than the largest texture side 16384";
  EXPECT_FALSE(control_.Generate());
  EXPECT_FALSE(control_.ChangeTileSize(1));
  EXPECT_FALSE(control_.UpdateImages());
  EXPECT_FALSE(control_.Busy());
  EXPECT_FALSE(control_.HoldsLoadThread());
  EXPECT_EQ(host_.statuses, std::vector<std::string>(3, engine_.refusal));
  EXPECT_EQ(control_.PollLoad(LoadProgressAt(0.0)), MosaicControl::Poll::kIdle);

  engine_.refusal.clear();
  EXPECT_TRUE(control_.Generate());
  Release();
  EXPECT_EQ(control_.PollLoad(LoadProgressAt(3.0)), MosaicControl::Poll::kTakenUp);
}

TEST_F(MosaicControlTest, FirstGenerateLoadsOnTheWorkerAndTheIdleStepTakesItUp) {
  engine_.dir = "/pictures";
  ASSERT_TRUE(control_.Generate());
  engine_.entered.get_future().wait();
  EXPECT_TRUE(control_.Busy());
  EXPECT_EQ(host_.animation, std::vector<int>{1});
  EXPECT_TRUE(engine_.calls.empty()) << "the mosaic was made before the library";

  EXPECT_EQ(control_.PollLoad(LoadProgressAt(0.25)), MosaicControl::Poll::kLoading);
  EXPECT_EQ(host_.statuses.back(), "creating thumbnails - 25%");
  EXPECT_FALSE(control_.Ready());

  Release();
  EXPECT_EQ(engine_.load_dirs, std::vector<std::string>{"/pictures"});
  EXPECT_EQ(control_.PollLoad(LoadProgressAt(3.0)), MosaicControl::Poll::kTakenUp);
  EXPECT_TRUE(control_.Ready());
  EXPECT_EQ(engine_.calls, std::vector<std::string>{"GenerateMosaic"});
  EXPECT_EQ(host_.layouts, 1);
  EXPECT_EQ(host_.taken_up, 1);
  EXPECT_EQ(host_.menu_updates, 1);
  EXPECT_EQ(host_.statuses.back(), "photomosaic have been generated.");
  // The outcome is taken up once; later steps are ordinary frames.
  EXPECT_EQ(control_.PollLoad(LoadProgressAt(3.0)), MosaicControl::Poll::kIdle);
  EXPECT_EQ(engine_.calls.size(), 1u);
  EXPECT_EQ(engine_.conflicts, 0);
}

TEST_F(MosaicControlTest, TheLoadThreadIsJoinedWhenTakenUpAndOnDestruction) {
  ASSERT_TRUE(control_.Generate());
  engine_.entered.get_future().wait();
  EXPECT_TRUE(control_.HoldsLoadThread());
  EXPECT_EQ(control_.PollLoad(LoadProgressAt(0.5)), MosaicControl::Poll::kLoading);
  EXPECT_TRUE(control_.HoldsLoadThread());
  Release();
  EXPECT_EQ(control_.PollLoad(LoadProgressAt(3.0)), MosaicControl::Poll::kTakenUp);
  EXPECT_FALSE(control_.HoldsLoadThread());

  // A control destroyed during a load waits for it (the load uses the engine).
  FakeEngine engine;
  LoadState state;
  auto control = std::make_unique<MosaicControl>(engine, host_, state);
  ASSERT_TRUE(control->Generate());
  engine.entered.get_future().wait();
  std::thread releaser([&engine] { engine.release.set_value(); });
  control.reset();
  EXPECT_FALSE(engine.loading);
  EXPECT_FALSE(state.busy);
  releaser.join();
}

TEST_F(MosaicControlTest, AFailedLoadSaysWhyOnceAndLeavesTheViewUnready) {
  engine_.load_result = false;
  engine_.failure_text = "the images folder holds no pictures : ./images";
  ASSERT_TRUE(control_.Generate());
  Release();
  EXPECT_EQ(control_.PollLoad(LoadProgressAt(3.0)), MosaicControl::Poll::kFailed);
  EXPECT_FALSE(control_.Ready());
  EXPECT_TRUE(engine_.calls.empty());
  EXPECT_EQ(host_.statuses, std::vector<std::string>{engine_.failure_text});
  // Later steps are ordinary frames and leave the reason alone.
  EXPECT_EQ(control_.PollLoad(LoadProgressAt(3.0)), MosaicControl::Poll::kIdle);
  EXPECT_EQ(host_.statuses.size(), 1u);
}

TEST_F(MosaicControlTest, AMosaicThatWasNotDrawnIsNeverAnnounced) {
  engine_.generate_result = false;
  ASSERT_TRUE(control_.Generate());
  Release();
  EXPECT_EQ(control_.PollLoad(LoadProgressAt(3.0)), MosaicControl::Poll::kTakenUp);
  EXPECT_EQ(host_.statuses, std::vector<std::string>{kNotDrawnStatus});
  // Generating again with the library loaded says the same.
  ASSERT_TRUE(control_.Generate());
  EXPECT_EQ(host_.statuses, (std::vector<std::string>{kNotDrawnStatus, kNotDrawnStatus}));
}

TEST_F(MosaicControlTest, GenerateWithALoadedLibraryOnlyRemakesTheMosaic) {
  control_.SetReady(true);
  ASSERT_TRUE(control_.Generate());
  EXPECT_FALSE(control_.Busy());
  EXPECT_TRUE(engine_.load_dirs.empty());
  EXPECT_EQ(engine_.calls, std::vector<std::string>{"GenerateMosaic"});
  EXPECT_EQ(host_.layouts, 1);
  EXPECT_TRUE(host_.animation.empty());
  EXPECT_TRUE(host_.statuses.empty());
  released_ = true;  // no worker was started
}

TEST_F(MosaicControlTest, CommandsThatTouchTheEngineAreRefusedWhileALoadRuns) {
  ASSERT_TRUE(control_.Generate());
  engine_.entered.get_future().wait();
  struct Row {
    const char* name;
    bool (*command)(MosaicControl&);
  };
  const Row rows[] = {
      {"Generate", [](MosaicControl& c) { return c.Generate(); }},
      {"Random", [](MosaicControl& c) { return c.Random(); }},
      {"Update images", [](MosaicControl& c) { return c.UpdateImages(); }},
      {"tile size", [](MosaicControl& c) { return c.ChangeTileSize(1); }},
      {"open image", [](MosaicControl& c) { return c.OpenImage("picture.png"); }},
  };
  for (const Row& row : rows) {
    host_.statuses.clear();
    EXPECT_FALSE(row.command(control_)) << row.name;
    EXPECT_EQ(host_.statuses, std::vector<std::string>{kBusyStatus}) << row.name;
  }
  EXPECT_TRUE(engine_.calls.empty());
  EXPECT_EQ(engine_.conflicts, 0);
  EXPECT_EQ(host_.animation, std::vector<int>{1}) << "a refused command changed the animation";
  EXPECT_EQ(engine_.load_dirs.size(), 1u);
  Release();
  EXPECT_EQ(engine_.load_dirs.size(), 1u) << "a second load was started";
}

TEST_F(MosaicControlTest, TileSizeChangeSetsTheSizeAndReloads) {
  control_.SetReady(true);
  ASSERT_TRUE(control_.ChangeTileSize(1));
  EXPECT_EQ(engine_.calls, std::vector<std::string>{"SetTileSize 48x27"});
  EXPECT_FALSE(control_.Ready());
  EXPECT_EQ(host_.animation, (std::vector<int>{0, 1}));
  engine_.entered.get_future().wait();
  EXPECT_TRUE(control_.Busy());
  Release();
  EXPECT_EQ(control_.PollLoad(LoadProgressAt(3.0)), MosaicControl::Poll::kTakenUp);
}

TEST_F(MosaicControlTest, TileSizeOutsideTheListChangesNothing) {
  control_.SetReady(true);
  EXPECT_FALSE(control_.ChangeTileSize(2));
  EXPECT_FALSE(control_.ChangeTileSize(-1));
  EXPECT_TRUE(engine_.calls.empty());
  EXPECT_TRUE(control_.Ready());
  released_ = true;
}

TEST_F(MosaicControlTest, TargetCommandsSetTheTargetBeforeTheMosaic) {
  control_.SetReady(true);
  ASSERT_TRUE(control_.Random());
  ASSERT_TRUE(control_.OpenImage("dir/picture.jpg"));
  const std::vector<std::string> expected = {"SetTarget -1", "GenerateMosaic",
                                             "SetTarget dir/picture.jpg", "GenerateMosaic"};
  EXPECT_EQ(engine_.calls, expected);
  released_ = true;
}

TEST_F(MosaicControlTest, UpdateImagesReloadsALoadedLibrary) {
  control_.SetReady(true);
  ASSERT_TRUE(control_.UpdateImages());
  engine_.entered.get_future().wait();
  EXPECT_FALSE(control_.Ready());
  EXPECT_TRUE(engine_.calls.empty());
  EXPECT_EQ(host_.animation, (std::vector<int>{0, 1}));
  Release();
}

}  // namespace
}  // namespace tessaline
