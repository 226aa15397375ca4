#include "video/live_capture.h"

#include <opencv2/videoio.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <thread>
#include <utility>

#include "settings/log_stream.h"

namespace tessaline {
namespace {

class MovieFile : public LiveSource {
 public:
  explicit MovieFile(std::unique_ptr<cv::VideoCapture> capture) : capture_(std::move(capture)) {}
  bool Read(cv::Mat& frame) override {
    // A damaged stream ends at its last good frame.
    try {
      return capture_->read(frame) && !frame.empty() && frame.type() == CV_8UC3;
    } catch (const cv::Exception&) {
      return false;
    }
  }
  int Width() const override { return static_cast<int>(capture_->get(cv::CAP_PROP_FRAME_WIDTH)); }
  int Height() const override { return static_cast<int>(capture_->get(cv::CAP_PROP_FRAME_HEIGHT)); }
  double Rate() const override { return capture_->get(cv::CAP_PROP_FPS); }

 private:
  std::unique_ptr<cv::VideoCapture> capture_;
};

int ApiFor(CameraDevice::Kind kind) {
  switch (kind) {
    case CameraDevice::Kind::kV4l2:
      return cv::CAP_V4L2;
    case CameraDevice::Kind::kUrl:
      return cv::CAP_FFMPEG;
    case CameraDevice::Kind::kPipeline:
      return cv::CAP_GSTREAMER;
  }
  return cv::CAP_ANY;
}

// What the reader thread and the GUI thread share. The thread holds it too,
// so a reader stuck in a device call can be left behind safely.
struct ReaderState {
  std::mutex mutex;
  std::condition_variable finished_signal;
  cv::Mat newest;
  bool fresh = false;
  bool lost = false;
  bool finished = false;
  std::atomic<bool> stop{false};
  std::unique_ptr<cv::VideoCapture> capture;
};

// Reads until stopped or until the device fails three reads in a row.
void ReadFrames(std::shared_ptr<ReaderState> state) {
  int failures = 0;
  cv::Mat frame;
  while (!state->stop.load() && failures < 3) {
    bool read = false;
    try {
      read = state->capture->read(frame) && !frame.empty() && frame.type() == CV_8UC3;
    } catch (const cv::Exception&) {
    }
    failures = read ? 0 : failures + 1;
    if (!read) continue;
    std::lock_guard<std::mutex> lock(state->mutex);
    cv::swap(state->newest, frame);
    state->fresh = true;
  }
  std::lock_guard<std::mutex> lock(state->mutex);
  state->lost = failures >= 3;
  state->capture.reset();
  state->finished = true;
  state->finished_signal.notify_all();
}

class VideoCameraCapture : public CameraCapture {
 public:
  explicit VideoCameraCapture(std::vector<CameraDevice> devices) : devices_(std::move(devices)) {
    if (devices_.empty()) std::cout << "no video capture device was found" << std::endl;
  }
  ~VideoCameraCapture() override { Stop(); }

  bool Ready() const override { return !devices_.empty(); }
  void ListDevices(std::vector<std::string>& names) override {
    names.clear();
    for (const CameraDevice& device : devices_) names.push_back(device.name);
  }
  bool OpenDevice(int index, int& width, int& height) override;
  void Run() override;
  Frame CopyFrame(cv::Mat& frame) override;
  void Stop() override;

 private:
  std::vector<CameraDevice> devices_;
  std::shared_ptr<ReaderState> state_;
  std::thread reader_;
};

bool VideoCameraCapture::OpenDevice(int index, int& width, int& height) {
  Stop();
  if (index < 0 || index >= static_cast<int>(devices_.size())) return false;
  const CameraDevice& device = devices_[static_cast<std::size_t>(index)];
  auto capture = std::make_unique<cv::VideoCapture>();
  try {
    if (!capture->open(device.source, ApiFor(device.kind))) return false;
  } catch (const cv::Exception&) {
    return false;
  }
  width = static_cast<int>(capture->get(cv::CAP_PROP_FRAME_WIDTH));
  height = static_cast<int>(capture->get(cv::CAP_PROP_FRAME_HEIGHT));
  state_ = std::make_shared<ReaderState>();
  state_->capture = std::move(capture);
  return true;
}

void VideoCameraCapture::Run() {
  if (!state_ || reader_.joinable()) return;
  reader_ = std::thread(ReadFrames, state_);
}

CameraCapture::Frame VideoCameraCapture::CopyFrame(cv::Mat& frame) {
  if (!state_) return Frame::kLost;
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->fresh) {
    cv::swap(frame, state_->newest);
    state_->fresh = false;
    return Frame::kNew;
  }
  return state_->lost || state_->finished ? Frame::kLost : Frame::kNone;
}

void VideoCameraCapture::Stop() {
  if (!state_) return;
  state_->stop = true;
  if (reader_.joinable()) {
    // A read takes one frame time; a device that hangs in it is left to
    // finish on its own rather than holding up the caller.
    std::unique_lock<std::mutex> lock(state_->mutex);
    const bool done = state_->finished_signal.wait_for(lock, std::chrono::milliseconds(500),
                                                       [this] { return state_->finished; });
    lock.unlock();
    if (done)
      reader_.join();
    else
      reader_.detach();
  }
  state_.reset();
}

}  // namespace

std::unique_ptr<LiveSource> OpenMovieFile(const std::string& path) {
  auto capture = std::make_unique<cv::VideoCapture>();
  try {
    if (path.empty() || !capture->open(path, cv::CAP_FFMPEG)) return nullptr;
  } catch (const cv::Exception&) {
    return nullptr;
  }
  return std::make_unique<MovieFile>(std::move(capture));
}

std::unique_ptr<CameraCapture> MakeCameraCapture(std::vector<CameraDevice> devices) {
  return std::make_unique<VideoCameraCapture>(std::move(devices));
}

std::unique_ptr<CameraCapture> MakeSystemCameraCapture() {
  return MakeCameraCapture(FindCameraDevices("cameras.txt", engine_log()));
}

}  // namespace tessaline
