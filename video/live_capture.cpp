#include "video/live_capture.h"

#include <opencv2/videoio.hpp>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <ostream>
#include <system_error>
#include <thread>
#include <utility>

#include "picture/error_text.h"
#include "settings/log_stream.h"
#include "video/movie_file.h"

namespace tessaline {
namespace {

// OpenCV's capture as a live source. Read lets OpenCV's exceptions through.
class CaptureSource : public LiveSource {
 public:
  explicit CaptureSource(std::unique_ptr<cv::VideoCapture> capture)
      : capture_(std::move(capture)) {}
  bool Read(cv::Mat& frame) override {
    return capture_->read(frame) && !frame.empty() && frame.type() == CV_8UC3;
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

// A movie file: a damaged stream ends at its last good frame, with one line.
class MovieFile : public CaptureSource {
 public:
  MovieFile(std::unique_ptr<cv::VideoCapture> capture, std::string path)
      : CaptureSource(std::move(capture)), path_(std::move(path)) {}
  bool Read(cv::Mat& frame) override {
    try {
      return CaptureSource::Read(frame);
    } catch (const std::exception& error) {
      engine_log() << "cannot decode a frame of the movie " << path_ << " : " << ErrorText(error)
                   << std::endl;
      return false;
    }
  }

 private:
  std::string path_;
};

// Why the existing file `path` cannot be a movie before FFmpeg looks at it;
// empty when it can be read.
std::string UnreadableFileReason(const std::string& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return "it is a folder";
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string("cannot read the file : ") + std::strerror(errno);
  char byte = 0;
  if (!in.get(byte)) return "the file is empty";
  return std::string();
}

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
  cv::Mat newest;
  bool fresh = false;
  long long delivered = 0;  // frames read, the first one (the answer) included
  CameraCapture::Open open = CameraCapture::Open::kOpening;
  int width = 0;  // of the first frame
  int height = 0;
  std::string failure;
  bool finished = false;
  std::atomic<bool> stop{false};
};

// A device that fails this many reads in a row is lost.
constexpr int kReadsBeforeLost = 3;

// One frame from `source`; an exception's text goes to `failure`.
bool ReadFrame(LiveSource& source, cv::Mat& frame, std::string& failure) {
  try {
    if (source.Read(frame) && !frame.empty() && frame.type() == CV_8UC3) return true;
  } catch (const std::exception& error) {
    failure = ErrorText(error);
  }
  return false;
}

// Opens the device, then reads until stopped or until the device fails
// kReadsBeforeLost reads in a row. The first frame answers the open. The
// source lives and dies on this thread.
void ReadFrames(std::shared_ptr<ReaderState> state, CameraDevice device, CameraSourceOpener open) {
  std::string failure;
  std::unique_ptr<LiveSource> source;
  try {
    source = open(device);
  } catch (const std::exception& error) {
    failure = ErrorText(error);
  }
  bool answered = false;
  int failures = 0;
  cv::Mat frame;
  while (source && !state->stop.load() && failures < kReadsBeforeLost) {
    if (!ReadFrame(*source, frame, failure)) {
      ++failures;
      continue;
    }
    failures = 0;
    failure.clear();
    std::lock_guard<std::mutex> lock(state->mutex);
    if (!answered) {
      state->open = CameraCapture::Open::kOpen;
      state->width = frame.cols;
      state->height = frame.rows;
      answered = true;
    }
    cv::swap(state->newest, frame);
    state->fresh = true;
    ++state->delivered;
  }
  if (source && !answered && failure.empty()) failure = "the device delivered no frame";
  source.reset();
  std::lock_guard<std::mutex> lock(state->mutex);
  if (!answered) state->open = CameraCapture::Open::kFailed;
  state->failure = failure;
  state->finished = true;
}

class VideoCameraCapture : public CameraCapture {
 public:
  VideoCameraCapture(std::vector<CameraDevice> devices, CameraSourceOpener open)
      : devices_(std::move(devices)), open_(std::move(open)) {
    if (devices_.empty()) engine_log() << "no video capture device was found" << std::endl;
  }
  ~VideoCameraCapture() override { Stop(); }

  bool Ready() const override { return !devices_.empty(); }
  void ListDevices(std::vector<std::string>& names) override {
    names.clear();
    for (const CameraDevice& device : devices_) names.push_back(device.name);
  }
  bool OpenDevice(int index) override;
  Open PollOpen(int& width, int& height) override;
  std::string Failure() const override;
  // The reader keeps the newest frame from the moment the device answers.
  void Run() override {}
  Frame CopyFrame(cv::Mat& frame) override;
  long long Delivered() const override;
  void Stop() override;

 private:
  std::vector<CameraDevice> devices_;
  CameraSourceOpener open_;
  std::shared_ptr<ReaderState> state_;
  std::thread reader_;
  std::string start_failure_;  // why the last reader could not start
};

bool VideoCameraCapture::OpenDevice(int index) {
  Stop();
  start_failure_.clear();
  if (index < 0 || index >= static_cast<int>(devices_.size())) return false;
  auto state = std::make_shared<ReaderState>();
  try {
    reader_ = std::thread(ReadFrames, state, devices_[static_cast<std::size_t>(index)], open_);
  } catch (const std::system_error& error) {
    start_failure_ = std::string("no reader thread : ") + error.what();
    return false;
  }
  state_ = std::move(state);
  return true;
}

CameraCapture::Open VideoCameraCapture::PollOpen(int& width, int& height) {
  if (!state_) return Open::kFailed;
  std::lock_guard<std::mutex> lock(state_->mutex);
  width = state_->width;
  height = state_->height;
  return state_->open;
}

std::string VideoCameraCapture::Failure() const {
  if (!state_) return start_failure_;
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->failure;
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

long long VideoCameraCapture::Delivered() const {
  if (!state_) return 0;
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->delivered;
}

void VideoCameraCapture::Stop() {
  if (!state_) return;
  state_->stop = true;
  bool finished = false;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    finished = state_->finished;
  }
  // A reader still in a device call (an open that hangs, a read that waits
  // for a frame) ends on its own; it holds the state, the device and the
  // opener it uses.
  if (finished)
    reader_.join();
  else
    reader_.detach();
  state_.reset();
}

}  // namespace

MovieOpen OpenMovieFile(const std::string& path) {
  MovieOpen result;
  std::error_code error;
  if (path.empty() || !std::filesystem::exists(path, error)) return result;
  result.failure = MovieOpen::Failure::kUndecodable;
  result.reason = UnreadableFileReason(path);
  if (!result.reason.empty()) return result;
  auto capture = std::make_unique<cv::VideoCapture>();
  try {
    if (!capture->open(path, cv::CAP_FFMPEG)) {
      result.reason = "FFmpeg finds no video stream it can decode in it";
      return result;
    }
  } catch (const std::exception& failure) {
    result.reason = ErrorText(failure);
    return result;
  }
  result.movie = std::make_unique<MovieFile>(std::move(capture), path);
  result.failure = MovieOpen::Failure::kNone;
  return result;
}

std::unique_ptr<LiveSource> OpenCameraSource(const CameraDevice& device) {
  auto capture = std::make_unique<cv::VideoCapture>();
  if (!capture->open(device.source, ApiFor(device.kind))) return nullptr;
  return std::make_unique<CaptureSource>(std::move(capture));
}

std::unique_ptr<CameraCapture> MakeCameraCapture(std::vector<CameraDevice> devices,
                                                 CameraSourceOpener open) {
  return std::make_unique<VideoCameraCapture>(std::move(devices), std::move(open));
}

std::unique_ptr<CameraCapture> MakeSystemCameraCapture() {
  return MakeCameraCapture(FindCameraDevices("cameras.txt", engine_log()));
}

}  // namespace tessaline
