#include "video/live_capture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <random>
#include <stdexcept>
#include <thread>

#include <opencv2/videoio.hpp>

#include "common/temp_folder.h"

namespace tessaline {
namespace {

using Frame = CameraCapture::Frame;
using Open = CameraCapture::Open;

CameraDevice Pipeline(const std::string& pipeline) {
  return {"pipe", pipeline, CameraDevice::Kind::kPipeline};
}

// Looks at the open until it is answered or ten seconds have passed.
Open AnswerOf(CameraCapture& camera, int& width, int& height) {
  Open open = Open::kOpening;
  for (int turn = 0; turn < 10000 && open == Open::kOpening; ++turn) {
    open = camera.PollOpen(width, height);
    if (open == Open::kOpening) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return open;
}

TEST(LiveCapture, StreamDeliversBlueGreenRedFramesThenEndsAsLost) {
  // Three red frames; a stream that has ended reports kLost.
  auto camera = MakeCameraCapture({Pipeline(
      "videotestsrc num-buffers=3 pattern=red ! video/x-raw,width=64,height=48 ! videoconvert ! "
      "appsink")});
  ASSERT_TRUE(camera->Ready());
  int width = 0;
  int height = 0;
  ASSERT_TRUE(camera->OpenDevice(0));
  ASSERT_EQ(AnswerOf(*camera, width, height), Open::kOpen);
  EXPECT_EQ(width, 64);
  EXPECT_EQ(height, 48);
  camera->Run();
  cv::Mat frame;
  int fresh = 0;
  Frame got = Frame::kNone;
  // The reader runs on its own; the stream is over after three frames.
  for (int turn = 0; turn < 20000 && got != Frame::kLost; ++turn) {
    got = camera->CopyFrame(frame);
    if (got == Frame::kNew) ++fresh;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(got, Frame::kLost);
  EXPECT_GE(fresh, 1);
  ASSERT_EQ(frame.type(), CV_8UC3);
  const cv::Vec3b pixel = frame.at<cv::Vec3b>(24, 32);
  EXPECT_LT(pixel[0], 30);
  EXPECT_LT(pixel[1], 30);
  EXPECT_GT(pixel[2], 220);
}

TEST(LiveCapture, NoDeviceOrOneThatCannotOpenStartsNothing) {
  EXPECT_FALSE(MakeCameraCapture({})->Ready());
  auto camera = MakeCameraCapture({Pipeline("no_such_element ! appsink")});
  int width = 0;
  int height = 0;
  ASSERT_TRUE(camera->OpenDevice(0));
  EXPECT_EQ(AnswerOf(*camera, width, height), Open::kFailed);
  EXPECT_FALSE(camera->OpenDevice(1));
  cv::Mat frame;
  EXPECT_EQ(camera->CopyFrame(frame), Frame::kLost);
}

// A device that opens only when the test lets it, then streams; it tells
// the test when the reader has closed it.
struct Gate {
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::promise<void> closed;
  std::atomic<int> reads{0};
};

class GateSource : public LiveSource {
 public:
  explicit GateSource(std::shared_ptr<Gate> gate) : gate_(std::move(gate)) {}
  ~GateSource() override { gate_->closed.set_value(); }
  bool Read(cv::Mat& frame) override {
    ++gate_->reads;
    frame = cv::Mat(48, 64, CV_8UC3, cv::Scalar::all(7));
    return true;
  }
  int Width() const override { return 64; }
  int Height() const override { return 48; }
  double Rate() const override { return 25.0; }

 private:
  std::shared_ptr<Gate> gate_;
};

TEST(CameraReader, OpenReturnsAtOnceAndADeviceThatNeverAnswersIsLeftBehind) {
  auto gate = std::make_shared<Gate>();
  std::future<void> entered = gate->entered.get_future();
  std::future<void> closed = gate->closed.get_future();
  auto camera = MakeCameraCapture({Pipeline("silent")},
                                  [gate](const CameraDevice&) -> std::unique_ptr<LiveSource> {
                                    gate->entered.set_value();
                                    gate->released.wait();
                                    return std::make_unique<GateSource>(gate);
                                  });
  // Returns while the device has not answered (it cannot before the release).
  ASSERT_TRUE(camera->OpenDevice(0));
  entered.wait();
  int width = 0;
  int height = 0;
  EXPECT_EQ(camera->PollOpen(width, height), Open::kOpening);
  cv::Mat frame;
  EXPECT_EQ(camera->CopyFrame(frame), Frame::kNone);
  // Given up with the device still in its open; the reader left behind
  // closes it, unread, once it answers.
  camera.reset();
  gate->release.set_value();
  ASSERT_EQ(closed.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(gate->reads.load(), 0);
}

// A device whose reads follow a script: a frame of the given width, false,
// or an exception with the given text.
struct Step {
  enum Kind { kFrame, kNothing, kThrow } kind;
  int width = 0;
  std::string text;
};

class ScriptedSource : public LiveSource {
 public:
  explicit ScriptedSource(std::vector<Step> steps) : steps_(std::move(steps)) {}
  bool Read(cv::Mat& frame) override {
    const Step step = next_ < steps_.size() ? steps_[next_++] : steps_.back();
    if (step.kind == Step::kThrow)
      throw cv::Exception(cv::Error::StsError, step.text, "Read", "", 0);
    if (step.kind == Step::kNothing) return false;
    frame = cv::Mat(30, step.width, CV_8UC3, cv::Scalar::all(1));
    return true;
  }
  int Width() const override { return 0; }
  int Height() const override { return 0; }
  double Rate() const override { return 0.0; }

 private:
  std::vector<Step> steps_;
  std::size_t next_ = 0;
};

TEST(CameraReader, TheFirstFrameAnswersTheOpenAndEveryFailureSaysWhy) {
  const struct {
    std::function<std::unique_ptr<LiveSource>()> open;
    Open answer;
    std::string failure;  // why the open failed or, once open, the device was lost
  } cases[] = {
      {[] { return nullptr; }, Open::kFailed, ""},
      {[]() -> std::unique_ptr<LiveSource> { throw std::runtime_error("device busy"); },
       Open::kFailed, "device busy"},
      {[] {
         return std::make_unique<ScriptedSource>(std::vector<Step>{{Step::kNothing, 0, ""}});
       },
       Open::kFailed, "the device delivered no frame"},
      {[] {
         return std::make_unique<ScriptedSource>(
             std::vector<Step>{{Step::kNothing, 0, ""}, {Step::kThrow, 0, "no buffer"}});
       },
       Open::kFailed, "no buffer"},
      {[] {
         return std::make_unique<ScriptedSource>(
             std::vector<Step>{{Step::kFrame, 40, ""}, {Step::kThrow, 0, "unplugged"}});
       },
       Open::kOpen, "unplugged"},
  };
  for (const auto& c : cases) {
    auto camera =
        MakeCameraCapture({Pipeline("scripted")}, [&c](const CameraDevice&) { return c.open(); });
    ASSERT_TRUE(camera->OpenDevice(0));
    int width = 0;
    int height = 0;
    ASSERT_EQ(AnswerOf(*camera, width, height), c.answer) << c.failure;
    cv::Mat frame;
    if (c.answer == Open::kOpen) {
      EXPECT_EQ(cv::Size(width, height), cv::Size(40, 30));
      EXPECT_EQ(camera->CopyFrame(frame), Frame::kNew);
      Frame got = Frame::kNone;
      for (int turn = 0; turn < 10000 && got != Frame::kLost; ++turn) {
        got = camera->CopyFrame(frame);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      EXPECT_EQ(got, Frame::kLost);
    }
    EXPECT_EQ(camera->Failure(), c.failure);
  }
}

// Frames that come while nobody copies are dropped for the newest one, and
// counted as delivered.
TEST(CameraReader, KeepsOnlyTheNewestFrameAndCountsEveryOne) {
  std::vector<Step> steps;
  for (int width : {10, 20, 30, 40, 50}) steps.push_back({Step::kFrame, width, ""});
  steps.push_back({Step::kNothing, 0, ""});
  auto camera = MakeCameraCapture({Pipeline("scripted")}, [&steps](const CameraDevice&) {
    return std::make_unique<ScriptedSource>(steps);
  });
  ASSERT_TRUE(camera->OpenDevice(0));
  int width = 0;
  int height = 0;
  ASSERT_EQ(AnswerOf(*camera, width, height), Open::kOpen);
  for (int turn = 0; turn < 10000 && camera->Delivered() < 5; ++turn)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(camera->Delivered(), 5);
  cv::Mat frame;
  ASSERT_EQ(camera->CopyFrame(frame), Frame::kNew);
  EXPECT_EQ(frame.cols, 50);
  Frame got = Frame::kNone;
  for (int turn = 0; turn < 10000 && got == Frame::kNone; ++turn) {
    got = camera->CopyFrame(frame);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(got, Frame::kLost) << "an older frame was kept";
}

TEST(OpenMovieFile, TellsAMissingFileFromOneThatIsNoMovie) {
  TempFolder folder;
  std::mt19937 random(19);
  std::string noise(64 * 1024, '\0');
  for (char& byte : noise) byte = static_cast<char>(random());
  std::ofstream(folder / "clip.mp4", std::ios::binary) << noise;
  std::ofstream(folder / "empty.mp4", std::ios::binary).flush();
  {
    cv::VideoWriter writer(folder / "movie.avi", cv::CAP_FFMPEG,
                           cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25, cv::Size(64, 48));
    ASSERT_TRUE(writer.isOpened());
    for (int i = 0; i < 3; ++i) writer.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar::all(40 * i)));
  }
  const struct {
    std::string path;
    MovieOpen::Failure failure;
    std::string reason;  // "*": any
  } cases[] = {
      {"", MovieOpen::Failure::kMissing, ""},
      {folder / "missing.mp4", MovieOpen::Failure::kMissing, ""},
      {folder / "clip.mp4", MovieOpen::Failure::kUndecodable, "*"},
      {folder / "empty.mp4", MovieOpen::Failure::kUndecodable, "the file is empty"},
      {folder.Path(), MovieOpen::Failure::kUndecodable, "it is a folder"},
      {folder / "movie.avi", MovieOpen::Failure::kNone, ""},
  };
  for (const auto& c : cases) {
    const MovieOpen opened = OpenMovieFile(c.path);
    EXPECT_EQ(opened.failure, c.failure) << c.path;
    EXPECT_EQ(opened.movie != nullptr, c.failure == MovieOpen::Failure::kNone) << c.path;
    if (c.reason == "*")
      EXPECT_FALSE(opened.reason.empty()) << c.path;
    else
      EXPECT_EQ(opened.reason, c.reason) << c.path;
  }
}

}  // namespace
}  // namespace tessaline
