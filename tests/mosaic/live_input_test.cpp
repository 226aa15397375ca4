#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "mosaic/live_source.h"
#include "mosaic/photo_mosaic.h"
#include "settings/log_stream.h"
#include "temp_folder.h"

namespace tessaline {
namespace {

class FakeMovie : public LiveSource {
 public:
  explicit FakeMovie(std::deque<cv::Mat> frames) : frames_(std::move(frames)) {}
  bool Read(cv::Mat& frame) override {
    if (frames_.empty()) return false;
    frame = frames_.front();
    frames_.pop_front();
    return true;
  }
  int Width() const override { return 320; }
  int Height() const override { return 180; }
  double Rate() const override { return 29.97; }

 private:
  std::deque<cv::Mat> frames_;
};

// What the fake cameras the factory makes see and do; shared with the test.
struct CameraWorld {
  std::vector<std::vector<std::string>> listings;  // one per ListDevices, the last repeats
  std::deque<CameraCapture::Frame> frames;         // kLost once empty
  int opened = -1;
  bool opens = true;
  bool running = false;
};

class FakeCamera : public CameraCapture {
 public:
  explicit FakeCamera(CameraWorld& world) : world_(world) {}
  ~FakeCamera() override { world_.running = false; }
  bool Ready() const override { return !world_.listings.front().empty(); }
  void ListDevices(std::vector<std::string>& names) override {
    names = world_.listings.front();
    if (world_.listings.size() > 1) world_.listings.erase(world_.listings.begin());
  }
  bool OpenDevice(int index, int& width, int& height) override {
    if (!world_.opens) return false;
    world_.opened = index;
    width = 64;
    height = 48;
    return true;
  }
  void Run() override { world_.running = true; }
  Frame CopyFrame(cv::Mat& frame) override {
    if (world_.frames.empty()) return Frame::kLost;
    const Frame next = world_.frames.front();
    world_.frames.pop_front();
    if (next == Frame::kNew) frame = cv::Mat(48, 64, CV_8UC3, cv::Scalar(0, 0, 200));
    return next;
  }
  void Stop() override { world_.running = false; }

 private:
  CameraWorld& world_;
};

MosaicConfig SmallConfig(const std::string& dir) {
  MosaicConfig config;
  config.image_dir = dir;
  config.image_width = 64;
  config.image_height = 36;
  config.sub_width = 8;
  config.sub_height = 6;
  config.sub_scale_list = "8,6";
  return config;
}

// Log lines written since the marker was logged.
std::vector<std::string> LinesSince(const std::string& marker) {
  std::vector<std::string> lines;
  bool seen = false;
  for (const std::string& entry : LogHistory()) {
    const std::string line = entry.empty() ? entry : entry.substr(0, entry.size() - 1);
    if (seen) lines.push_back(line);
    if (line == marker) seen = true;
  }
  return lines;
}

int Count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

class LiveInput : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 6; ++i)
      cv::imwrite(folder_ / ("t" + std::to_string(i) + ".png"),
                  cv::Mat(12, 16, CV_8UC3, cv::Scalar(40 * i, 255 - 40 * i, 90)));
    engine_ = std::make_unique<qxPhotoMosaic>(config_);
    engine_->SetCameraFactory([this] { return std::make_unique<FakeCamera>(world_); });
    engine_log() << "---- live test ----" << std::endl;
  }
  void GiveMovie(std::deque<cv::Mat> frames) {
    engine_->SetMovieOpener([frames](const std::string& path) -> std::unique_ptr<LiveSource> {
      if (path != "movie.mp4" && path != "clips/movie.mp4") return nullptr;
      return std::make_unique<FakeMovie>(frames);
    });
  }

  TempFolder folder_;
  MosaicConfig config_ = SmallConfig(folder_.Path());
  CameraWorld world_;
  std::unique_ptr<qxPhotoMosaic> engine_;
};

TEST_F(LiveInput, MovieFramesBecomeMosaicsUntilItEnds) {
  engine_->GenerateMosaic();
  const cv::Mat last(36, 64, CV_8UC3, cv::Scalar(10, 20, 30));
  GiveMovie({cv::Mat(36, 64, CV_8UC3, cv::Scalar(200, 0, 0)), last});
  ASSERT_TRUE(engine_->OpenMovie("clips/movie.mp4"));
  EXPECT_EQ(engine_->InputSource(), -2);
  EXPECT_EQ(engine_->TargetName(), "movie.mp4");
  EXPECT_DOUBLE_EQ(engine_->FrameRate(), 29.97);
  EXPECT_TRUE(engine_->NextLiveFrame());
  EXPECT_TRUE(engine_->NextLiveFrame());
  EXPECT_EQ(cv::norm(engine_->WorkingImage(), last, cv::NORM_INF), 0.0);
  EXPECT_TRUE(engine_->MosaicValid());
  EXPECT_FALSE(engine_->MosaicImage().empty());
  EXPECT_FALSE(engine_->NextLiveFrame());
  EXPECT_FALSE(engine_->NextLiveFrame());
  EXPECT_EQ(engine_->InputSource(), -2);  // ended, not closed
  EXPECT_FALSE(engine_->CloseLiveInput());
  const std::vector<std::string> lines = LinesSince("---- live test ----");
  EXPECT_EQ(Count(lines, " size      : 320 x 180"), 1);
  EXPECT_EQ(Count(lines, " framerate : 29.97 fps"), 1);
  EXPECT_EQ(Count(lines, "live input : end after 2 frames"), 1);
}

TEST_F(LiveInput, MovieThatCannotBeOpenedChangesNothingButTheOpenMovie) {
  GiveMovie({cv::Mat(36, 64, CV_8UC3, cv::Scalar(1, 2, 3))});
  EXPECT_FALSE(engine_->OpenMovie("missing.mp4"));
  EXPECT_EQ(engine_->InputSource(), -1);
  EXPECT_EQ(engine_->SourceWidth(), 960);
  ASSERT_TRUE(engine_->OpenMovie("movie.mp4"));
  EXPECT_FALSE(engine_->OpenMovie("missing.mp4"));
  EXPECT_EQ(engine_->SourceWidth(), 320);
  EXPECT_FALSE(engine_->NextLiveFrame());  // the running movie was released
  EXPECT_EQ(Count(LinesSince("---- live test ----"), "movie file had not been found"), 2);
}

TEST_F(LiveInput, CameraIndexOutOfRangeOpensTheFirstDevice) {
  const struct {
    int asked;
    int opened;
  } cases[] = {{1, 1}, {2, 0}, {-1, 0}};
  for (const auto& c : cases) {
    world_.listings = {{"cam a", "cam b"}};
    std::vector<std::string> names;
    ASSERT_EQ(engine_->ListCameras(names), 2);
    ASSERT_TRUE(engine_->OpenCamera(c.asked)) << c.asked;
    EXPECT_EQ(world_.opened, c.opened) << c.asked;
    EXPECT_EQ(engine_->InputSource(), c.opened);
    EXPECT_TRUE(world_.running);
    EXPECT_TRUE(engine_->CloseLiveInput());
    EXPECT_FALSE(world_.running);
    EXPECT_EQ(engine_->LastCamera(), c.opened);
    EXPECT_EQ(engine_->InputSource(), -1);
  }
}

TEST_F(LiveInput, NoCameraAnEmptiedListOrAFailedOpenStartsNothing) {
  std::vector<std::string> names;
  world_.listings = {{}};
  EXPECT_EQ(engine_->ListCameras(names), 0);
  world_.listings = {{"cam a"}, {}};
  ASSERT_EQ(engine_->ListCameras(names), 1);
  EXPECT_FALSE(engine_->OpenCamera(0));
  EXPECT_EQ(engine_->InputSource(), -1);
  EXPECT_EQ(world_.opened, -1);
  world_.opens = false;
  world_.listings = {{"cam a"}};
  EXPECT_FALSE(engine_->OpenCamera(0));
  EXPECT_EQ(engine_->InputSource(), -1);
  const std::vector<std::string> lines = LinesSince("---- live test ----");
  EXPECT_EQ(Count(lines, "camera had not been found"), 2);
  EXPECT_EQ(Count(lines, "camera could not be opened : cam a"), 1);
}

TEST_F(LiveInput, LostCameraEndsLiveInputWithOneLine) {
  using Frame = CameraCapture::Frame;
  world_.listings = {{"cam a", "cam b"}};
  world_.frames = {Frame::kNone, Frame::kNew, Frame::kNone, Frame::kLost};
  ASSERT_TRUE(engine_->OpenCamera(1));
  EXPECT_TRUE(engine_->NextLiveFrame());  // nothing yet: still running
  EXPECT_TRUE(engine_->NextLiveFrame());
  EXPECT_EQ(engine_->WorkingImage().at<cv::Vec3b>(0, 0), cv::Vec3b(0, 0, 200));
  EXPECT_TRUE(engine_->NextLiveFrame());
  EXPECT_FALSE(engine_->NextLiveFrame());
  EXPECT_FALSE(engine_->NextLiveFrame());
  EXPECT_EQ(engine_->InputSource(), -1);
  EXPECT_EQ(engine_->LastCamera(), 1);
  EXPECT_FALSE(world_.running);
  const std::vector<std::string> lines = LinesSince("---- live test ----");
  EXPECT_EQ(Count(lines, "camera was lost : live input ends after 1 frames"), 1);
  EXPECT_EQ(Count(lines, "live input : end after 1 frames"), 0);
}

TEST(FitToWorkingImage, CopiesAFrameOfTheWorkingSizeAndStretchesAnyOther) {
  const struct {
    cv::Size frame;
    bool copied;
  } cases[] = {{{64, 36}, true}, {{128, 72}, false}, {{20, 40}, false}};
  for (const auto& c : cases) {
    cv::Mat frame(c.frame, CV_8UC3, cv::Scalar(0, 0, 0));
    frame(cv::Rect(0, 0, c.frame.width / 2, c.frame.height)).setTo(cv::Scalar(255, 255, 255));
    cv::Mat working(36, 64, CV_8UC3, cv::Scalar(9, 9, 9));
    EXPECT_EQ(FitToWorkingImage(frame, working), c.copied) << c.frame;
    ASSERT_EQ(working.size(), cv::Size(64, 36));
    // The left half stays white across the whole stretched width.
    EXPECT_EQ(working.at<cv::Vec3b>(18, 2), cv::Vec3b(255, 255, 255)) << c.frame;
    EXPECT_EQ(working.at<cv::Vec3b>(18, 61), cv::Vec3b(0, 0, 0)) << c.frame;
  }
}

}  // namespace
}  // namespace tessaline
