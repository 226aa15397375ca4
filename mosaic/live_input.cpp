// qxPhotoMosaic: movie and camera input. Every pulled frame becomes the
// working image and gets a fresh mosaic, composed as GenerateMosaic does.

#include <opencv2/imgproc.hpp>

#include <sstream>

#include "mosaic/photo_mosaic.h"
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
  if (frame.size() == working.size()) {
    frame.copyTo(working);
    return true;
  }
  cv::resize(frame, working, working.size(), 0, 0, cv::INTER_LINEAR);
  return false;
}

std::string EndedEarlyText(int read, int reported) {
  if (reported <= 0 || read >= reported) return "";
  return "the movie file ended early (it reports " + std::to_string(reported) + " frames)";
}

bool qxPhotoMosaic::OpenMovie(const std::string& path) {
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
  input_source_ = -2;
  source_width_ = movie_->Width();
  source_height_ = movie_->Height();
  frame_rate_ = movie_->Rate();
  live_frames_ = 0;
  repeat_warned_ = false;
  target_tile_ = -1;  // no tile is the target: every tile may be used
  target_name_ = BaseName(path);
  engine_log() << "[File Input] " << std::endl;
  engine_log() << " size      : " << source_width_ << " x " << source_height_ << std::endl;
  engine_log() << " framerate : " << frame_rate_ << " fps" << std::endl;
  frame_.release();
  return true;
}

void qxPhotoMosaic::DropCamera() {
  camera_.reset();
  engine_log() << "camera had not been found" << std::endl;
}

int qxPhotoMosaic::ListCameras(std::vector<std::string>& names) {
  names.clear();
  if (!camera_ && make_camera_) camera_ = make_camera_();
  if (!camera_ || !camera_->Ready()) {
    DropCamera();
    return 0;
  }
  camera_->ListDevices(names);
  return static_cast<int>(names.size());
}

bool qxPhotoMosaic::OpenCamera(int index) {
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

qxPhotoMosaic::CameraOpening qxPhotoMosaic::PollCameraOpen() {
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

void qxPhotoMosaic::CancelCameraOpen() {
  if (opening_camera_ >= 0)
    EndCameraOpen(CameraOpening::kNone, "camera opening cancelled : " + opening_name_);
}

// The camera (destroyed here) stops waiting for its device and leaves a
// device call that hangs to its own thread.
qxPhotoMosaic::CameraOpening qxPhotoMosaic::EndCameraOpen(CameraOpening outcome,
                                                          const std::string& line) {
  camera_.reset();
  opening_camera_ = -1;
  camera_open_text_ = line;
  engine_log() << line << std::endl;
  return outcome;
}

void qxPhotoMosaic::StartCamera(int width, int height) {
  input_source_ = last_camera_ = opening_camera_;
  opening_camera_ = -1;
  source_width_ = width;
  source_height_ = height;
  frame_rate_ = 30.0;  // the device's own rate is not asked for
  live_frames_ = 0;
  repeat_warned_ = false;
  target_tile_ = -1;
  target_name_ = opening_name_;
  camera_open_text_ = "capture from camera : " + opening_name_;
  engine_log() << "[Capture from camera] " << std::endl;
  engine_log() << " size      : " << width << " x " << height << std::endl;
  engine_log() << " framerate : " << frame_rate_ << " fps" << std::endl;
  camera_->Run();
  frame_.release();
}

bool qxPhotoMosaic::CloseLiveInput() {
  if (input_source_ < 0) return false;
  last_camera_ = input_source_;
  if (camera_) {
    camera_->Stop();
    camera_.reset();
  }
  movie_.reset();
  input_source_ = -1;
  return true;
}

// The source's next frame into frame_.
qxPhotoMosaic::LivePull qxPhotoMosaic::PullLiveFrame() {
  if (input_source_ == -2) return movie_ && movie_->Read(frame_) ? LivePull::kNew : LivePull::kEnd;
  if (!camera_) return LivePull::kEnd;
  switch (camera_->CopyFrame(frame_)) {
    case CameraCapture::Frame::kLost:
      engine_log() << WithReason("camera was lost : live input ends after " +
                                     std::to_string(live_frames_) + " frames",
                                 camera_->Failure())
                   << std::endl;
      return LivePull::kEnd;
    case CameraCapture::Frame::kNone:
      return LivePull::kSame;
    case CameraCapture::Frame::kNew:
      return LivePull::kNew;
  }
  return LivePull::kEnd;
}

bool qxPhotoMosaic::NextLiveFrame() {
  if (input_source_ == -1) return false;
  const LivePull pull = PullLiveFrame();
  // A camera with nothing new keeps its last mosaic: the same frame would
  // only be matched again.
  if (pull == LivePull::kSame) return true;
  if (pull == LivePull::kEnd || frame_.empty() || frame_.type() != CV_8UC3) {
    if (movie_) {  // once, when the running movie ends (a lost camera said so)
      const std::string early = EndedEarlyText(live_frames_, movie_->FrameCount());
      engine_log() << "live input : end after " << live_frames_ << " frames"
                   << (early.empty() ? "" : " : " + early) << std::endl;
    }
    CloseLiveInput();
    movie_.reset();
    frame_.release();
    return false;
  }
  ++live_frames_;
  MakeLiveMosaic();
  return true;
}

// The frame's mosaic: the working image turns the picture ring, then a fresh
// assignment is composed into the current mosaic target.
void qxPhotoMosaic::MakeLiveMosaic() {
  if (working_image_.empty())
    working_image_.create(config_.image_height, config_.image_width, CV_8UC3);
  FitToWorkingImage(frame_, working_image_);
  if (gpu_) gpu_->UploadWorkingImage(working_image_);
  target_loaded_ = true;
  mosaic_valid_ = ComputeMosaic(kCurrentMosaic, working_image_, true);
}

}  // namespace tessaline
