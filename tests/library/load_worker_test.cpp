#include "library/load_worker.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <vector>

#include <future>
#include <opencv2/imgcodecs.hpp>
#include <sstream>
#include <thread>

#include "common/temp_folder.h"
#include "library/tile_library.h"
#include "settings/log_stream.h"

namespace tessaline {
namespace {

TEST(LoadWorker, PublishesTheOutcomeAndReleasesTheLock) {
  struct Row {
    bool load_result;
    bool succeeded;
  };
  for (const Row row : {Row{true, true}, Row{false, false}}) {
    LoadState state;
    ASSERT_TRUE(TryStartLoad(state));
    EXPECT_TRUE(state.busy);
    bool busy_during_load = false;
    LoadWorker(
        [&] {
          busy_during_load = state.busy && !state.load_succeeded;
          return row.load_result;
        },
        state);
    EXPECT_TRUE(busy_during_load);
    EXPECT_FALSE(state.busy);
    EXPECT_EQ(state.load_succeeded, row.succeeded);
    EXPECT_TRUE(state.load_lock.try_lock()) << "the worker kept the load lock";
    state.load_lock.unlock();
  }
}

TEST(LoadWorker, AThrowingLoadStillEndsAsFailed) {
  const std::vector<std::function<bool()>> loads = {
      []() -> bool { throw std::bad_alloc(); },
      []() -> bool { throw 42; },  // not even a std::exception
  };
  for (const auto& load : loads) {
    LoadState state;
    std::thread worker = StartLoad(load, state);
    ASSERT_TRUE(worker.joinable());
    worker.join();
    EXPECT_FALSE(state.busy);
    EXPECT_FALSE(state.load_succeeded);
  }
}

TEST(LoadWorker, RefusesASecondLoadWhileOneRuns) {
  LoadState state;
  state.load_succeeded = true;  // left over from an earlier load
  ASSERT_TRUE(TryStartLoad(state));
  EXPECT_FALSE(state.load_succeeded);
  EXPECT_FALSE(TryStartLoad(state));
  LoadWorker([] { return true; }, state);
  EXPECT_TRUE(TryStartLoad(state));
  EXPECT_FALSE(state.load_succeeded);
  LoadWorker([] { return false; }, state);
}

TEST(LoadWorker, HoldsTheLockForTheWholeLoad) {
  LoadState state;
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::thread worker = StartLoad(
      [&] {
        entered.set_value();
        released.wait();
        return true;
      },
      state);
  ASSERT_TRUE(worker.joinable());
  entered.get_future().wait();
  EXPECT_FALSE(state.load_lock.try_lock()) << "a load ran without the load lock";
  EXPECT_TRUE(state.busy);
  EXPECT_FALSE(StartLoad([] { return true; }, state).joinable());
  release.set_value();
  worker.join();
  EXPECT_FALSE(state.busy);
  EXPECT_TRUE(state.load_succeeded);
}

TEST(LoadWorker, SucceededIsVisibleOnceBusyIsClear) {
  // The GUI thread's order of reads: busy first, then the outcome.
  for (int round = 0; round < 50; ++round) {
    LoadState state;
    ASSERT_TRUE(TryStartLoad(state));
    std::thread worker([&] { LoadWorker([] { return true; }, state); });
    while (state.busy.load()) std::this_thread::yield();
    EXPECT_TRUE(state.load_succeeded.load()) << "round " << round;
    worker.join();
  }
}

TEST(LoadWorker, WorkersBackToBackRunOneAfterTheOther) {
  LoadState state;
  std::mutex mutex;
  std::vector<std::string> events;
  auto note = [&](const std::string& event) {
    std::lock_guard<std::mutex> lock(mutex);
    events.push_back(event);
  };
  std::promise<void> first_entered;
  std::promise<void> release_first;
  std::thread first([&] {
    LoadWorker(
        [&] {
          note("first start");
          first_entered.set_value();
          release_first.get_future().wait();
          note("first end");
          return true;
        },
        state);
  });
  first_entered.get_future().wait();
  std::thread second([&] {
    LoadWorker(
        [&] {
          note("second start");
          return true;
        },
        state);
  });
  // The first holds the lock (checked above), so the second cannot start
  // before the first ends, whenever it gets here.
  release_first.set_value();
  first.join();
  second.join();
  EXPECT_EQ(events, (std::vector<std::string>{"first start", "first end", "second start"}));
}

TEST(LoadWorker, SecondLoadOfALibrarySeesTheFirstOnesCache) {
  TempFolder folder;
  std::filesystem::create_directories(folder / "images");
  cv::Mat picture(3, 4, CV_8UC3, cv::Scalar(1, 2, 3));
  picture.at<cv::Vec3b>(0, 0) = cv::Vec3b(250, 0, 9);
  ASSERT_TRUE(cv::imwrite(folder / "images/a.png", picture));
  TileLibraryParams config;
  config.sub_width = 4;
  config.sub_height = 3;
  config.touched_tile_scale = 1.0;
  TileLibrary library(config);
  std::ostringstream log, console;
  library.SetLogStreams(&log, &console);
  LoadState state;
  const std::string dir = folder / "images";
  const LoadFunction load = [&] { return library.LoadSubImages(dir); };
  std::thread first([&] { LoadWorker(load, state); });
  std::thread second([&] { LoadWorker(load, state); });
  first.join();
  second.join();
  EXPECT_TRUE(state.load_succeeded);
  EXPECT_EQ(library.Size(), 1u);
  const std::string text = log.str();
  const std::size_t written = text.find("images infomation file : ");
  const std::size_t reused = text.find("use the existing mosaic infomation(");
  ASSERT_NE(written, std::string::npos);
  ASSERT_NE(reused, std::string::npos);
  EXPECT_LT(written, reused);
  EXPECT_EQ(text.find("images infomation file : ", written + 1), std::string::npos);
}

}  // namespace
}  // namespace tessaline
