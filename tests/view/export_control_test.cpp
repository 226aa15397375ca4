#include "view/export_control.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

namespace tessaline {
namespace {

class FakeExportHost : public ExportHost {
 public:
  bool Busy() const override { return busy; }
  void ShowStatus(const std::string& text) override { status.push_back(text); }
  bool MosaicValid() const override { return valid; }
  PrintJob MakePrintJob(int) override {
    ++jobs;
    return PrintJob{};
  }
  bool SaveMosaicImage(const std::string&) override { return ++saves, true; }

  bool busy = false;
  bool valid = true;
  int jobs = 0;
  int saves = 0;
  std::vector<std::string> status;
};

TEST(ExportControl, ASecondExportIsRefusedWhileTheFirstRuns) {
  FakeExportHost host;
  ExportControl control(host);
  std::promise<void> release;
  std::shared_future<void> go = release.get_future().share();
  ASSERT_TRUE(control.Start(
      [go](const ExportProgress&, std::string*) {
        go.wait();
        return true;
      },
      "a.tif"));
  EXPECT_FALSE(control.Start([](const ExportProgress&, std::string*) { return true; }, "b.tif"));
  ASSERT_FALSE(host.status.empty());
  EXPECT_EQ(host.status.back(),
            "cannot export the mosaic to b.tif : the export to a.tif still runs");
  release.set_value();
  control.Cancel();
}

TEST(ExportControl, NothingIsExportedWhileLoadingOrWithoutAMosaic) {
  struct Row {
    bool busy;
    bool valid;
  };
  for (const Row row : {Row{true, true}, Row{false, false}}) {
    FakeExportHost host;
    host.busy = row.busy;
    host.valid = row.valid;
    ExportControl control(host);
    control.ExportPrint("out.tif", 64, false);
    EXPECT_EQ(host.jobs, 0) << row.busy;
    EXPECT_TRUE(host.status.empty()) << row.busy;
    EXPECT_EQ(control.ExportMosaic("out.png"), !row.busy) << row.busy;
    EXPECT_EQ(host.saves, row.busy ? 0 : 1) << row.busy;
  }
}

}  // namespace
}  // namespace tessaline
