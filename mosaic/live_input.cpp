// LiveInput: opening a movie or a camera and pulling their frames; and the
// one fit of a frame to the working size.

#include "mosaic/live_input.h"

#include <opencv2/imgproc.hpp>

#include <iomanip>
#include <sstream>

#include "settings/log_stream.h"
#include "settings/paths.h"

namespace tessaline {
namespace {

// `line`, followed by " : " and the reason when there is one.
std::string WithReason(const std::string& line, const std::string& why) {
  return why.empty() ? line : line + " : " + why;
}

}  // namespace

bool FitToWorkingImage(const cv::Mat& frame, cv::Mat& working) {
  cv::Mat bgr = frame;
  if (frame.type() != CV_8UC3)
    cv::cvtColor(frame, bgr, frame.channels() == 4 ? cv::COLOR_BGRA2BGR : cv::COLOR_GRAY2BGR);
  if (bgr.size() == working.size()) {
    bgr.copyTo(working);
    return true;
  }
  cv::resize(bgr, working, working.size(), 0, 0, cv::INTER_LINEAR);
  return false;
}

std::string EndedEarlyText(int read, int reported) {
  if (reported <= 0 || read >= reported) return "";
  return "the movie file ended early (it reports " + std::to_string(reported) + " frames)";
}

bool LiveInput::OpenMovie(const std::string& path) {
  movie_.reset();
  MovieOpen opened = open_movie_ ? open_movie_(path) : MovieOpen{};
  if (!opened.movie) {
    if (opened.failure == MovieOpen::Failure::kUndecodable)
      engine_log() << "cannot decode the movie " << path << " : " << opened.reason << std::endl;
    else
      engine_log() << "movie file had not been found" << std::endl;
    return false;
  }
  movie_ = std::move(opened.movie);
  kind_ = LiveKind::kMovie;
  camera_index_ = -1;
  source_size_ = cv::Size(movie_->Width(), movie_->Height());
  frame_rate_ = movie_->Rate();
  frames_ = 0;
  source_name_ = BaseName(path);
  engine_log() << "[File Input] " << std::endl;
  engine_log() << " size      : " << source_size_.width << " x " << source_size_.height
               << std::endl;
  engine_log() << " framerate : " << frame_rate_ << " fps" << std::endl;
  frame_.release();
  return true;
}

void LiveInput::DropCamera() {
  camera_.reset();
  engine_log() << "camera had not been found" << std::endl;
}

int LiveInput::ListCameras(std::vector<std::string>& names) {
  names.clear();
  if (!camera_ && make_camera_) camera_ = make_camera_();
  if (!camera_ || !camera_->Ready()) {
    DropCamera();
    return 0;
  }
  camera_->ListDevices(names);
  return static_cast<int>(names.size());
}

bool LiveInput::OpenCamera(int index) {
  opening_camera_ = -1;  // an open still waiting is given up by the new one
  if (!camera_ && make_camera_) camera_ = make_camera_();
  if (!camera_ || !camera_->Ready()) {
    DropCamera();
    return false;
  }
  std::vector<std::string> names;
  camera_->ListDevices(names);
  if (names.empty()) {
    DropCamera();
    return false;
  }
  if (index < 0 || index >= static_cast<int>(names.size())) index = 0;
  const std::string& name = names[static_cast<std::size_t>(index)];
  if (!camera_->OpenDevice(index)) {
    const std::string why = camera_->Failure();
    camera_.reset();
    engine_log() << WithReason("camera could not be opened : " + name, why) << std::endl;
    return false;
  }
  opening_camera_ = index;
  opening_name_ = name;
  opening_started_ = clock_();
  camera_open_text_ = "opening camera " + name + " ...";
  engine_log() << camera_open_text_ << std::endl;
  return true;
}

LiveInput::CameraOpening LiveInput::PollCameraOpen() {
  if (opening_camera_ < 0 || !camera_) return CameraOpening::kNone;
  int width = 0;
  int height = 0;
  switch (camera_->PollOpen(width, height)) {
    case CameraCapture::Open::kOpen:
      StartCamera(width, height);
      return CameraOpening::kRunning;
    case CameraCapture::Open::kFailed:
      return EndCameraOpen(
          CameraOpening::kFailed,
          WithReason("camera could not be opened : " + opening_name_, camera_->Failure()));
    case CameraCapture::Open::kOpening:
      break;
  }
  if (clock_() - opening_started_ < kCameraAnswerSeconds) return CameraOpening::kOpening;
  std::ostringstream line;
  line << "camera did not answer within " << kCameraAnswerSeconds << " s : " << opening_name_;
  return EndCameraOpen(CameraOpening::kTimedOut, line.str());
}

void LiveInput::CancelCameraOpen() {
  if (opening_camera_ >= 0)
    EndCameraOpen(CameraOpening::kNone, "camera opening cancelled : " + opening_name_);
}

// The camera (destroyed here) stops waiting for its device and leaves a
// device call that hangs to its own thread.
LiveInput::CameraOpening LiveInput::EndCameraOpen(CameraOpening outcome, const std::string& line) {
  camera_.reset();
  opening_camera_ = -1;
  camera_open_text_ = line;
  engine_log() << line << std::endl;
  return outcome;
}

// A movie open before stays open (unread) until the camera is closed.
void LiveInput::StartCamera(int width, int height) {
  kind_ = LiveKind::kCamera;
  camera_index_ = last_camera_ = opening_camera_;
  opening_camera_ = -1;
  source_size_ = cv::Size(width, height);
  frame_rate_ = 30.0;  // the device's own rate is not asked for
  frames_ = 0;
  source_name_ = opening_name_;
  camera_open_text_ = "capture from camera : " + opening_name_;
  engine_log() << "[Capture from camera] " << std::endl;
  engine_log() << " size      : " << width << " x " << height << std::endl;
  engine_log() << " framerate : " << frame_rate_ << " fps" << std::endl;
  camera_->Run();
  frame_.release();
}

std::string LiveInput::RateText() const {
  const double seconds = last_frame_at_ - first_frame_at_;
  const long long delivered = camera_ ? camera_->Delivered() : frames_;
  std::ostringstream line;
  line << std::fixed << std::setprecision(1)
       << "live rate : " << (seconds > 0.0 ? (frames_ - 1) / seconds : 0.0)
       << " mosaics a second : " << frames_ << " mosaics of " << delivered
       << " frames delivered in " << std::setprecision(2) << seconds << " s";
  return line.str();
}

bool LiveInput::Close() {
  if (kind_ != LiveKind::kCamera) return false;
  engine_log() << RateText() << std::endl;
  last_camera_ = camera_index_;
  if (camera_) {
    camera_->Stop();
    camera_.reset();
  }
  movie_.reset();
  kind_ = LiveKind::kNone;
  camera_index_ = -1;
  return true;
}

// The source's next frame into frame_.
LiveInput::Pull LiveInput::PullFrame() {
  if (kind_ == LiveKind::kMovie) return movie_ && movie_->Read(frame_) ? Pull::kNew : Pull::kEnd;
  if (!camera_) return Pull::kEnd;
  switch (camera_->CopyFrame(frame_)) {
    case CameraCapture::Frame::kLost:
      engine_log() << WithReason("camera was lost : live input ends after " +
                                     std::to_string(frames_) + " frames",
                                 camera_->Failure())
                   << std::endl;
      return Pull::kEnd;
    case CameraCapture::Frame::kNone:
      return Pull::kSame;
    case CameraCapture::Frame::kNew:
      return Pull::kNew;
  }
  return Pull::kEnd;
}

LiveInput::Pull LiveInput::NextFrame() {
  if (kind_ == LiveKind::kNone) return Pull::kEnd;
  const Pull pull = PullFrame();
  // A camera with nothing new keeps its last frame: the engine keeps its
  // mosaic, as the same frame would only be matched again.
  if (pull == Pull::kSame) return pull;
  if (pull == Pull::kEnd || frame_.empty() || frame_.type() != CV_8UC3) {
    EndSource();
    return Pull::kEnd;
  }
  last_frame_at_ = clock_();
  if (frames_++ == 0) first_frame_at_ = last_frame_at_;
  return Pull::kNew;
}

// A camera closes; a movie is released but stays the source, so that every
// later pull ends again.
void LiveInput::EndSource() {
  if (movie_) {  // once, when the running movie ends (a lost camera said so)
    const std::string early = EndedEarlyText(frames_, movie_->FrameCount());
    engine_log() << "live input : end after " << frames_ << " frames"
                 << (early.empty() ? "" : " : " + early) << std::endl;
    engine_log() << RateText() << std::endl;
  }
  Close();
  movie_.reset();
  frame_.release();
}

}  // namespace tessaline
