#include "view/export_task.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

namespace tessaline {
namespace {

using namespace std::chrono_literals;

// Polls as the view's timeout does until the export has ended (at most ten
// seconds); the closing state.
ExportTask::State PollToEnd(ExportTask& task) {
  ExportTask::State state = task.Poll();
  for (int i = 0; i < 2000 && state.running; ++i) {
    std::this_thread::sleep_for(5ms);
    state = task.Poll();
  }
  return state;
}

TEST(ExportTask, ReportsProgressThenOneClosingLine) {
  ExportTask task;
  std::promise<void> reported, go_on;
  std::shared_future<void> go = go_on.get_future().share();
  ASSERT_TRUE(task.Start(
      [&reported, go](const ExportProgress& progress, std::string*) {
        progress.report(0.42);
        reported.set_value();
        go.wait();
        return true;
      },
      "out/mosaic.tif"));
  reported.get_future().wait();
  const ExportTask::State running = task.Poll();
  EXPECT_TRUE(running.running);
  EXPECT_EQ(ExportStatusText(task.Destination(), running.fraction), "exporting mosaic.tif : 42 %");
  EXPECT_FALSE(task.Start([](const ExportProgress&, std::string*) { return true; }, "b.png"))
      << "a second export started while one ran";
  go_on.set_value();
  EXPECT_EQ(PollToEnd(task).line, "exported the mosaic to out/mosaic.tif");
  EXPECT_EQ(task.Poll().line, "") << "the closing line is given once";

  // The same task again: a failure, and an exception, each end in one line.
  ASSERT_TRUE(task.Start(
      [](const ExportProgress&, std::string* error) {
        *error = "print output is not available in this build";
        return false;
      },
      "m.png"));
  EXPECT_EQ(PollToEnd(task).line,
            "cannot export the mosaic to m.png : print output is not available in this build");
  ASSERT_TRUE(task.Start(
      [](const ExportProgress&, std::string*) -> bool { throw std::runtime_error("no memory"); },
      "m.png"));
  EXPECT_EQ(PollToEnd(task).line, "cannot export the mosaic to m.png : no memory");
}

// An export that only ends when told to (or after ten seconds), as a long
// one on quit; counts the cancels it saw.
std::atomic<int> cancels_seen{0};
bool WaitForCancel(const ExportProgress& progress, std::string*) {
  for (int i = 0; i < 10000; ++i) {
    if (progress.cancel->load()) {
      ++cancels_seen;
      return false;
    }
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(ExportTask, QuittingDuringAnExportStopsAndJoinsIt) {
  cancels_seen = 0;
  ExportTask task;
  ASSERT_TRUE(task.Start(WaitForCancel, "deep"));
  EXPECT_TRUE(task.Cancel());
  EXPECT_FALSE(task.Active());
  {
    // The destructor does the same: a worker left joinable would end the
    // program.
    ExportTask dropped;
    ASSERT_TRUE(dropped.Start(WaitForCancel, "deep"));
  }
  EXPECT_EQ(cancels_seen, 2) << "an export ran on without seeing the cancel";
}

}  // namespace
}  // namespace tessaline
