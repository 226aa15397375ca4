#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "video/live_capture.h"

namespace tessaline {
namespace {

using Frame = CameraCapture::Frame;

CameraDevice Pipeline(const std::string& pipeline) {
  return {"pipe", pipeline, CameraDevice::Kind::kPipeline};
}

TEST(LiveCapture, StreamDeliversBlueGreenRedFramesThenEndsAsLost) {
  // Three red frames; a stream that has ended reports kLost.
  auto camera = MakeCameraCapture({Pipeline(
      "videotestsrc num-buffers=3 pattern=red ! video/x-raw,width=64,height=48 ! videoconvert ! "
      "appsink")});
  ASSERT_TRUE(camera->Ready());
  int width = 0;
  int height = 0;
  ASSERT_TRUE(camera->OpenDevice(0, width, height));
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
  EXPECT_FALSE(camera->OpenDevice(0, width, height));
  EXPECT_FALSE(camera->OpenDevice(1, width, height));
  cv::Mat frame;
  EXPECT_EQ(camera->CopyFrame(frame), Frame::kLost);
}

}  // namespace
}  // namespace tessaline
