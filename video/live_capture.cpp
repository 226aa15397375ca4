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
#include "video/movie_file.h"

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
  int FrameCount() const override {
    return ReportedFrameCount(capture_->get(cv::CAP_PROP_FRAME_COUNT));
  }

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
  std::condition_variable changed;
  cv::Mat newest;
  bool fresh = false;
  bool open_done = false;
  bool opened = false;
  int width = 0;
  int height = 0;
  bool finished = false;
  std::atomic<bool> stop{false};
};

// Opens the device, then reads until stopped or until the device fails
// three reads in a row. The capture lives and dies on this thread.
void ReadFrames(std::shared_ptr<ReaderState> state, CameraDevice device) {
  cv::VideoCapture capture;
  bool opened = false;
  try {
    opened = capture.open(device.source, ApiFor(device.kind));
  } catch (const cv::Exception&) {
  }
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->opened = opened;
    state->width = opened ? static_cast<int>(capture.get(cv::CAP_PROP_FRAME_WIDTH)) : 0;
    state->height = opened ? static_cast<int>(capture.get(cv::CAP_PROP_FRAME_HEIGHT)) : 0;
    state->open_done = true;
  }
  state->changed.notify_all();
  int failures = 0;
  cv::Mat frame;
  while (opened && !state->stop.load() && failures < 3) {
    bool read = false;
    try {
      read = capture.read(frame) && !frame.empty() && frame.type() == CV_8UC3;
    } catch (const cv::Exception&) {
    }
    failures = read ? 0 : failures + 1;
    if (!read) continue;
    std::lock_guard<std::mutex> lock(state->mutex);
    cv::swap(state->newest, frame);
    state->fresh = true;
  }
  capture.release();
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->finished = true;
  }
  state->changed.notify_all();
}

// A network source may take a while to answer; one that takes longer than
// this is given up, so that the GUI thread is never held longer.
constexpr auto kOpenWait = std::chrono::seconds(10);
// A read takes about one frame time.
constexpr auto kStopWait = std::chrono::milliseconds(500);

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
  // The reader keeps the newest frame from the moment the device is open.
  void Run() override {}
  Frame CopyFrame(cv::Mat& frame) override;
  void Stop() override;

 private:
  // Waits at most `limit` for `done`; false when it did not come.
  template <typename Predicate>
  bool WaitFor(std::chrono::milliseconds limit, Predicate done) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    return state_->changed.wait_for(lock, limit, done);
  }

  std::vector<CameraDevice> devices_;
  std::shared_ptr<ReaderState> state_;
  std::thread reader_;
};

bool VideoCameraCapture::OpenDevice(int index, int& width, int& height) {
  Stop();
  if (index < 0 || index >= static_cast<int>(devices_.size())) return false;
  state_ = std::make_shared<ReaderState>();
  reader_ = std::thread(ReadFrames, state_, devices_[static_cast<std::size_t>(index)]);
  ReaderState& state = *state_;
  const bool answered = WaitFor(kOpenWait, [&state] { return state.open_done; });
  if (!answered || !state.opened) {
    Stop();
    return false;
  }
  width = state.width;
  height = state.height;
  return true;
}

CameraCapture::Frame VideoCameraCapture::CopyFrame(cv::Mat& frame) {
  if (!state_) return Frame::kLost;
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->fresh) {
    cv::swap(frame, state_->newest);
    state_->fresh = false;
    return Frame::kNew;
  }
  return state_->finished ? Frame::kLost : Frame::kNone;
}

void VideoCameraCapture::Stop() {
  if (!state_) return;
  state_->stop = true;
  if (reader_.joinable()) {
    // A device that hangs in a call is left to finish on its own rather
    // than holding up the caller; the thread keeps what it uses.
    ReaderState& state = *state_;
    if (WaitFor(kStopWait, [&state] { return state.finished; }))
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
