#include "view/export_task.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <future>
#include <stdexcept>
#include <thread>

namespace tessaline {
namespace {

using namespace std::chrono_literals;

// Polls as the view's timeout does until the export has ended (at most
// ten seconds); the closing state.
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
  std::promise<void> reported;
  std::promise<void> go_on;
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
  EXPECT_DOUBLE_EQ(running.fraction, 0.42);
  EXPECT_TRUE(running.line.empty());
  EXPECT_FALSE(task.Start([](const ExportProgress&, std::string*) { return true; }, "b.png"))
      << "a second export started while one ran";
  go_on.set_value();
  const ExportTask::State done = PollToEnd(task);
  EXPECT_FALSE(done.running);
  EXPECT_EQ(done.line, "exported the mosaic to out/mosaic.tif");
  EXPECT_FALSE(task.Active());
  EXPECT_EQ(task.Poll().line, "") << "the closing line is given once";
}

TEST(ExportTask, FailuresEndInOneLineSayingWhy) {
  struct Row {
    const char* label;
    ExportTask::Run run;
    std::string line;
  };
  const Row rows[] = {
      {"error line",
       [](const ExportProgress&, std::string* error) {
         *error = "print output is not available in this build";
         return false;
       },
       "cannot export the mosaic to m.png : print output is not available in this build"},
      {"no reason given", [](const ExportProgress&, std::string*) { return false; },
       "cannot export the mosaic to m.png : the export failed"},
      {"exception",
       [](const ExportProgress&, std::string*) -> bool {
         throw std::runtime_error("out of memory");
       },
       "cannot export the mosaic to m.png : out of memory"},
  };
  ExportTask task;  // one task, reused after each end
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    ASSERT_TRUE(task.Start(row.run, "m.png"));
    EXPECT_EQ(PollToEnd(task).line, row.line);
  }
}

// An export that only ends when told to, as a long one on quit.
bool WaitForCancel(const ExportProgress& progress, std::string* error) {
  for (int i = 0; i < 10000 && !progress.cancel->load(); ++i) std::this_thread::sleep_for(1ms);
  *error = "cancelled";
  return false;
}

TEST(ExportTask, QuittingDuringAnExportStopsAndJoinsIt) {
  ExportTask task;
  ASSERT_TRUE(task.Start(WaitForCancel, "deep"));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(task.Cancel());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "the export did not see the cancel";
  EXPECT_FALSE(task.Active());
  EXPECT_FALSE(task.Cancel());
  {
    // The destructor does the same: a worker left joinable would end the
    // program.
    ExportTask dropped;
    ASSERT_TRUE(dropped.Start(WaitForCancel, "deep"));
  }
}

TEST(ExportTask, StatusTextNamesTheFileAndWholePercent) {
  struct Row {
    std::string destination;
    double fraction;
    std::string text;
  };
  const Row rows[] = {
      {"/home/me/out/mosaic.tif", 0.42, "exporting mosaic.tif : 42 %"},
      {"deep/", 0.999, "exporting deep : 99 %"},
      {"m.png", 1.0, "exporting m.png : 100 %"},
      {"m.png", -3.0, "exporting m.png : 0 %"},
      {"m.png", 7.0, "exporting m.png : 100 %"},
      {"m.png", std::nan(""), "exporting m.png : 0 %"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(ExportStatusText(row.destination, row.fraction), row.text) << row.destination;
}

}  // namespace
}  // namespace tessaline
