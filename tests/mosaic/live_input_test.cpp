#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <array>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "common/fake_movie.h"
#include "common/temp_folder.h"
#include "mosaic/live_input.h"
#include "mosaic/photo_mosaic.h"
#include "settings/log_stream.h"

namespace tessaline {
namespace {

// What the fake cameras the factory makes see and do; shared with the test.
struct CameraWorld {
  std::vector<std::vector<std::string>> listings;  // one per ListDevices, the last repeats
  std::deque<CameraCapture::Frame> frames;         // kLost once empty
  int opened = -1;
  bool opens = true;                                        // OpenDevice starts the open
  CameraCapture::Open answer = CameraCapture::Open::kOpen;  // what PollOpen says
  std::string failure;
  bool running = false;
  bool alive = false;  // a camera object exists
};

class FakeCamera : public CameraCapture {
 public:
  explicit FakeCamera(CameraWorld& world) : world_(world) { world_.alive = true; }
  ~FakeCamera() override {
    world_.running = false;
    world_.alive = false;
  }
  bool Ready() const override { return !world_.listings.front().empty(); }
  void ListDevices(std::vector<std::string>& names) override {
    names = world_.listings.front();
    if (world_.listings.size() > 1) world_.listings.erase(world_.listings.begin());
  }
  bool OpenDevice(int index) override {
    if (!world_.opens) return false;
    world_.opened = index;
    return true;
  }
  Open PollOpen(int& width, int& height) override {
    width = 64;
    height = 48;
    return world_.answer;
  }
  std::string Failure() const override { return world_.failure; }
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
  if (!lines.empty() && lines.back().empty()) lines.pop_back();  // the line being filled
  return lines;
}

int Count(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

// Opens "movie.mp4" and "clips/movie.mp4" as a movie of `frames`; "noise.mp4"
// is there but undecodable, any other path missing.
MovieOpener FakeMovieOpener(std::deque<cv::Mat> frames) {
  return [frames](const std::string& path) {
    MovieOpen opened;
    if (path == "movie.mp4" || path == "clips/movie.mp4") {
      opened.movie = std::make_unique<FakeMovie>(frames);
      opened.failure = MovieOpen::Failure::kNone;
    } else if (path == "noise.mp4") {
      opened.failure = MovieOpen::Failure::kUndecodable;
      opened.reason = "no video stream";
    }
    return opened;
  };
}

class EngineLiveInput : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 6; ++i)
      cv::imwrite(folder_ / ("t" + std::to_string(i) + ".png"),
                  cv::Mat(12, 16, CV_8UC3, cv::Scalar(40 * i, 255 - 40 * i, 90)));
    engine_ = std::make_unique<qxPhotoMosaic>(config_);
    engine_->Live().SetCameraFactory([this] { return std::make_unique<FakeCamera>(world_); });
    engine_log() << "---- live test ----" << std::endl;
  }
  void GiveMovie(std::deque<cv::Mat> frames) {
    engine_->Live().SetMovieOpener(FakeMovieOpener(std::move(frames)));
  }

  TempFolder folder_;
  MosaicConfig config_ = SmallConfig(folder_.Path());
  CameraWorld world_;
  std::unique_ptr<qxPhotoMosaic> engine_;
};

TEST_F(EngineLiveInput, MovieFramesBecomeMosaicsUntilItEnds) {
  engine_->GenerateMosaic();
  engine_log() << "---- movie ----" << std::endl;  // the history keeps 25 lines
  const cv::Mat last(36, 64, CV_8UC3, cv::Scalar(10, 20, 30));
  GiveMovie({cv::Mat(36, 64, CV_8UC3, cv::Scalar(200, 0, 0)), last});
  ASSERT_TRUE(engine_->OpenMovie("clips/movie.mp4"));
  EXPECT_EQ(engine_->Live().Kind(), LiveKind::kMovie);
  EXPECT_EQ(engine_->Target().name, "movie.mp4");
  EXPECT_DOUBLE_EQ(engine_->Live().FrameRate(), 29.97);
  EXPECT_TRUE(engine_->NextLiveFrame());
  EXPECT_TRUE(engine_->NextLiveFrame());
  EXPECT_EQ(cv::norm(engine_->Target().working_image.Picture(), last, cv::NORM_INF), 0.0);
  EXPECT_TRUE(engine_->Target().mosaic_valid);
  EXPECT_FALSE(engine_->MosaicImage().empty());
  EXPECT_FALSE(engine_->NextLiveFrame());
  EXPECT_FALSE(engine_->NextLiveFrame());
  EXPECT_EQ(engine_->Live().Kind(), LiveKind::kMovie);  // ended, not closed
  EXPECT_FALSE(engine_->CloseLiveInput());
  const std::vector<std::string> lines = LinesSince("---- movie ----");
  EXPECT_EQ(Count(lines, " size      : 320 x 180"), 1);
  EXPECT_EQ(Count(lines, " framerate : 29.97 fps"), 1);
  EXPECT_EQ(Count(lines, "live input : end after 2 frames"), 1);
}

// A GPU side that draws view-only passes at half size: their targets read
// back nothing until a whole pass.
class HalfSizeGpu : public MosaicGpu {
 public:
  void CreateCellTable(int, int) override {}
  void CreateOffscreenTargets(int, int, int, int) override {}
  bool UploadAtlas(const cv::Mat&, int, int) override { return true; }
  void UploadCellTable(const std::vector<unsigned char>& bytes) override { table_ = bytes; }
  bool RenderMosaic(int index) override { return Draw(index, false); }
  bool RenderMosaicForView(int index) override { return Draw(index, true); }
  bool HalfOnly(int index) const override { return half_[static_cast<std::size_t>(index)]; }
  void SwapMosaicSlots() override {
    std::swap(half_[0], half_[1]);
    std::swap(drawn_[0], drawn_[1]);
  }
  cv::Mat ReadMosaic(int index) const override {
    if (HalfOnly(index)) return cv::Mat();
    return cv::Mat(1, static_cast<int>(drawn_[static_cast<std::size_t>(index)].size()), CV_8UC1,
                   const_cast<unsigned char*>(drawn_[static_cast<std::size_t>(index)].data()))
        .clone();
  }
  int whole_passes = 0;

 private:
  bool Draw(int index, bool half) {
    half_[static_cast<std::size_t>(index)] = half;
    drawn_[static_cast<std::size_t>(index)] = table_;
    whole_passes += half ? 0 : 1;
    return true;
  }
  std::vector<unsigned char> table_;
  std::array<bool, kMosaicTargetCount> half_{};
  std::array<std::vector<unsigned char>, kMosaicTargetCount> drawn_;
};

// A live mosaic is drawn for the view only; its picture (a recording's, a
// save's) is drawn whole first, from the frame's own cells, and so is the
// mosaic that the next still mosaic makes the previous one.
TEST_F(EngineLiveInput, ALiveMosaicIsDrawnWholeWhenItsPictureIsAskedFor) {
  auto owned = std::make_unique<HalfSizeGpu>();
  HalfSizeGpu& gpu = *owned;
  engine_->SetGpu(std::move(owned));
  ASSERT_TRUE(engine_->GenerateMosaic());
  const int still_passes = gpu.whole_passes;
  GiveMovie({cv::Mat(36, 64, CV_8UC3, cv::Scalar(250, 10, 10)),
             cv::Mat(36, 64, CV_8UC3, cv::Scalar(10, 250, 10))});
  ASSERT_TRUE(engine_->OpenMovie("movie.mp4"));
  ASSERT_TRUE(engine_->NextLiveFrame());
  EXPECT_EQ(gpu.whole_passes, still_passes);
  EXPECT_TRUE(gpu.HalfOnly(kCurrentMosaic));
  const cv::Mat picture = engine_->MosaicImage();
  EXPECT_EQ(gpu.whole_passes, still_passes + 1);
  std::vector<unsigned char> table(picture.begin<unsigned char>(), picture.end<unsigned char>());
  EXPECT_EQ(table, engine_->CellTableBytes());

  ASSERT_TRUE(engine_->NextLiveFrame());
  ASSERT_TRUE(gpu.HalfOnly(kCurrentMosaic));
  ASSERT_TRUE(engine_->GenerateMosaic());
  EXPECT_FALSE(gpu.HalfOnly(kPreviousMosaic));
}

TEST_F(EngineLiveInput, MovieThatCannotBeOpenedChangesNothingButTheOpenMovie) {
  GiveMovie({cv::Mat(36, 64, CV_8UC3, cv::Scalar(1, 2, 3))});
  EXPECT_FALSE(engine_->OpenMovie("missing.mp4"));
  EXPECT_EQ(engine_->Live().Kind(), LiveKind::kNone);
  EXPECT_EQ(engine_->Live().SourceSize().width, 960);
  ASSERT_TRUE(engine_->OpenMovie("movie.mp4"));
  EXPECT_FALSE(engine_->OpenMovie("missing.mp4"));
  EXPECT_EQ(engine_->Live().SourceSize().width, 320);
  EXPECT_FALSE(engine_->NextLiveFrame());  // the running movie was released
  EXPECT_FALSE(engine_->OpenMovie("noise.mp4"));
  EXPECT_EQ(engine_->Live().Kind(), LiveKind::kMovie);
  const std::vector<std::string> lines = LinesSince("---- live test ----");
  EXPECT_EQ(Count(lines, "movie file had not been found"), 2);
  // A file that is there but no movie says why, and only that.
  EXPECT_EQ(Count(lines, "cannot decode the movie noise.mp4 : no video stream"), 1);
  EXPECT_EQ(lines.size(), 6u);  // the movie's three lines, and these three
}

TEST_F(EngineLiveInput, CameraIndexOutOfRangeOpensTheFirstDevice) {
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
    ASSERT_EQ(engine_->PollCameraOpen(), qxPhotoMosaic::CameraOpening::kRunning);
    EXPECT_EQ(engine_->Live().Camera(), c.opened);
    EXPECT_TRUE(world_.running);
    EXPECT_TRUE(engine_->CloseLiveInput());
    EXPECT_FALSE(world_.running);
    EXPECT_EQ(engine_->Live().LastCamera(), c.opened);
    EXPECT_EQ(engine_->Live().Kind(), LiveKind::kNone);
  }
}

TEST_F(EngineLiveInput, NoCameraAnEmptiedListOrAFailedOpenStartsNothing) {
  std::vector<std::string> names;
  world_.listings = {{}};
  EXPECT_EQ(engine_->ListCameras(names), 0);
  world_.listings = {{"cam a"}, {}};
  ASSERT_EQ(engine_->ListCameras(names), 1);
  EXPECT_FALSE(engine_->OpenCamera(0));
  EXPECT_EQ(engine_->Live().Kind(), LiveKind::kNone);
  EXPECT_EQ(world_.opened, -1);
  world_.opens = false;
  world_.listings = {{"cam a"}};
  EXPECT_FALSE(engine_->OpenCamera(0));
  EXPECT_EQ(engine_->Live().Kind(), LiveKind::kNone);
  const std::vector<std::string> lines = LinesSince("---- live test ----");
  EXPECT_EQ(Count(lines, "camera had not been found"), 2);
  EXPECT_EQ(Count(lines, "camera could not be opened : cam a"), 1);
}

TEST_F(EngineLiveInput, LostCameraEndsLiveInputWithOneLine) {
  using Frame = CameraCapture::Frame;
  world_.listings = {{"cam a", "cam b"}};
  world_.frames = {Frame::kNone, Frame::kNew, Frame::kNone, Frame::kLost};
  world_.failure = "unplugged";
  ASSERT_TRUE(engine_->OpenCamera(1));
  ASSERT_EQ(engine_->PollCameraOpen(), qxPhotoMosaic::CameraOpening::kRunning);
  EXPECT_TRUE(engine_->NextLiveFrame());  // nothing yet: still running
  EXPECT_TRUE(engine_->NextLiveFrame());
  EXPECT_EQ(engine_->Target().working_image.Picture().at<cv::Vec3b>(0, 0), cv::Vec3b(0, 0, 200));
  EXPECT_TRUE(engine_->NextLiveFrame());
  EXPECT_FALSE(engine_->NextLiveFrame());
  EXPECT_FALSE(engine_->NextLiveFrame());
  EXPECT_EQ(engine_->Live().Kind(), LiveKind::kNone);
  EXPECT_EQ(engine_->Live().LastCamera(), 1);
  EXPECT_FALSE(world_.running);
  const std::vector<std::string> lines = LinesSince("---- live test ----");
  EXPECT_EQ(Count(lines, "camera was lost : live input ends after 1 frames : unplugged"), 1);
  EXPECT_EQ(Count(lines, "live input : end after 1 frames"), 0);
}

TEST_F(EngineLiveInput, CameraThatDoesNotAnswerIsGivenUpWithOneLine) {
  using Open = CameraCapture::Open;
  using Opening = qxPhotoMosaic::CameraOpening;
  const struct {
    Open answer;
    std::string failure;
    double waited;  // seconds on the engine's clock before the last look
    bool cancel;
    Opening outcome;
    std::string line;
  } cases[] = {
      {Open::kOpening, "", 9.9, false, Opening::kOpening, ""},
      {Open::kOpening, "", 10.0, false, Opening::kTimedOut,
       "camera did not answer within 10 s : cam b"},
      {Open::kOpening, "", 1.0, true, Opening::kNone, "camera opening cancelled : cam b"},
      {Open::kFailed, "no such element", 0.0, false, Opening::kFailed,
       "camera could not be opened : cam b : no such element"},
  };
  double now = 100.0;
  engine_->Live().SetClock([&now] { return now; });
  for (const auto& c : cases) {
    world_.listings = {{"cam a", "cam b"}};
    world_.answer = c.answer;
    world_.failure = c.failure;
    const std::string marker = "---- " + c.line + " ----";
    engine_log() << marker << std::endl;
    ASSERT_TRUE(engine_->OpenCamera(1));
    EXPECT_EQ(engine_->Live().CameraOpenText(), "opening camera cam b ...");
    if (c.answer == Open::kOpening) {
      EXPECT_EQ(engine_->PollCameraOpen(), Opening::kOpening);
    }
    now += c.waited;
    if (c.cancel) engine_->Live().CancelCameraOpen();
    EXPECT_EQ(engine_->PollCameraOpen(), c.outcome) << c.line;
    EXPECT_EQ(engine_->Live().Kind(), LiveKind::kNone) << c.line;
    if (c.outcome == Opening::kOpening) {
      engine_->Live().CancelCameraOpen();
      continue;
    }
    EXPECT_FALSE(world_.alive) << "the camera was kept : " << c.line;
    EXPECT_EQ(engine_->PollCameraOpen(), Opening::kNone) << c.line;
    EXPECT_EQ(engine_->Live().CameraOpenText(), c.line);
    EXPECT_EQ(LinesSince(marker), std::vector<std::string>({"opening camera cam b ...", c.line}));
  }
}

// A LiveInput with a running two-frame movie and a camera world of two
// devices that answer.
class LiveInputState : public ::testing::Test {
 protected:
  void SetUp() override {
    world_.listings = {{"cam a", "cam b"}};
    live_.SetCameraFactory([this] { return std::make_unique<FakeCamera>(world_); });
    const cv::Mat frame(36, 64, CV_8UC3, cv::Scalar(1, 2, 3));
    live_.SetMovieOpener(FakeMovieOpener({frame, frame}));
    ASSERT_TRUE(live_.OpenMovie("clips/movie.mp4"));
  }

  CameraWorld world_;
  LiveInput live_;
};

TEST_F(LiveInputState, MovieThenCameraThenCloseEndsWithNoSource) {
  EXPECT_EQ(live_.Kind(), LiveKind::kMovie);
  EXPECT_EQ(live_.Camera(), -1);
  ASSERT_TRUE(live_.OpenCamera(1));
  EXPECT_EQ(live_.Kind(), LiveKind::kMovie);  // until the camera answers
  ASSERT_EQ(live_.PollCameraOpen(), LiveInput::CameraOpening::kRunning);
  EXPECT_EQ(live_.Kind(), LiveKind::kCamera);
  EXPECT_EQ(live_.Camera(), 1);
  EXPECT_EQ(live_.SourceName(), "cam b");
  EXPECT_EQ(live_.SourceSize(), cv::Size(64, 48));
  EXPECT_TRUE(live_.Close());
  EXPECT_EQ(live_.Kind(), LiveKind::kNone);
  EXPECT_EQ(live_.Camera(), -1);
  EXPECT_EQ(live_.LastCamera(), 1);
  EXPECT_EQ(live_.NextFrame(), LiveInput::Pull::kEnd);
  EXPECT_FALSE(live_.Close());
}

TEST_F(LiveInputState, CameraThatDoesNotOpenLeavesTheMovieRunning) {
  using Open = CameraCapture::Open;
  const struct {
    const char* what;
    bool starts;  // OpenDevice starts the open
    Open answer;
    bool cancel;
  } cases[] = {
      {"refused", false, Open::kOpen, false},
      {"failed", true, Open::kFailed, false},
      {"cancelled", true, Open::kOpening, true},
  };
  for (const auto& c : cases) {
    world_.opens = c.starts;
    world_.answer = c.answer;
    if (live_.OpenCamera(0)) {
      if (c.cancel) live_.CancelCameraOpen();
      EXPECT_NE(live_.PollCameraOpen(), LiveInput::CameraOpening::kRunning) << c.what;
    }
    EXPECT_EQ(live_.Kind(), LiveKind::kMovie) << c.what;
    EXPECT_EQ(live_.SourceName(), "movie.mp4") << c.what;
    EXPECT_EQ(live_.LastCamera(), 0) << c.what;
    EXPECT_FALSE(world_.alive) << c.what;
  }
  EXPECT_EQ(live_.NextFrame(), LiveInput::Pull::kNew);  // the movie still plays
  EXPECT_FALSE(live_.Close());
}

TEST(FitToWorkingImage, CopiesAFrameOfTheWorkingSizeAndStretchesAnyOther) {
  const struct {
    cv::Size frame;
    int type;
    bool copied;
  } cases[] = {{{64, 36}, CV_8UC3, true},
               {{128, 72}, CV_8UC3, false},
               {{20, 40}, CV_8UC3, false},
               {{64, 36}, CV_8UC1, true},
               {{32, 18}, CV_8UC4, false}};
  for (const auto& c : cases) {
    cv::Mat frame(c.frame, c.type, cv::Scalar::all(0));
    frame(cv::Rect(0, 0, c.frame.width / 2, c.frame.height)).setTo(cv::Scalar::all(255));
    cv::Mat working(36, 64, CV_8UC3, cv::Scalar(9, 9, 9));
    const uchar* pixels = working.data;
    EXPECT_EQ(FitToWorkingImage(frame, working), c.copied) << c.frame;
    ASSERT_EQ(working.size(), cv::Size(64, 36));
    ASSERT_EQ(working.type(), CV_8UC3);
    // The working image keeps its own pixels, never the frame's.
    EXPECT_EQ(working.data, pixels) << c.frame;
    // The left half stays white across the whole stretched width.
    EXPECT_EQ(working.at<cv::Vec3b>(18, 2), cv::Vec3b(255, 255, 255)) << c.frame;
    EXPECT_EQ(working.at<cv::Vec3b>(18, 61), cv::Vec3b(0, 0, 0)) << c.frame;
  }
}

}  // namespace
}  // namespace tessaline
