// LiveControl: movie and camera input, the camera-open poll and recording.

#include "view/live_control.h"

#include <ostream>

#include "settings/log_stream.h"
#include "view/event_guard.h"

namespace tessaline {

const char* const kLiveRecordingFile = "output.avi";

void LiveControl::ToggleVideoInput(const std::string& path) {
  // A camera still being opened is given up; a movie asked for goes on.
  if (camera_opening_) {
    CancelCameraOpen();
    if (path.empty()) {
      host_.UpdateMenuStates();
      return;
    }
  }
  // The load worker has the engine to itself until it ends.
  if (host_.RefuseWhileBusy()) {
    host_.UpdateMenuStates();
    return;
  }
  host_.MakeGlContextCurrent();
  if (Live()) {
    EndLiveInput();
  } else {
    if (!host_.Ready()) host_.Generate();  // the load runs while the source opens
    if (path.empty()) {
      if (OpenChosenCamera()) {
        camera_opening_ = true;
        host_.ShowStatus(engine_.CameraOpenText());
        host_.StartCameraPoll();
      }
    } else if (engine_.OpenMovie(path)) {
      StartLiveInput(false);
    }
  }
  host_.UpdateMenuStates();
}

bool LiveControl::PollCamera() {
  if (!camera_opening_) return false;
  // Cleared first: a poll that throws is not repeated.
  camera_opening_ = false;
  const LiveEngine::CameraOpening outcome = engine_.PollCameraOpen();
  if (outcome == LiveEngine::CameraOpening::kOpening) {
    camera_opening_ = true;
    return true;
  }
  // kNone: the engine that was opening it has been replaced meanwhile.
  if (outcome != LiveEngine::CameraOpening::kNone) host_.ShowStatus(engine_.CameraOpenText());
  if (outcome == LiveEngine::CameraOpening::kRunning) {
    host_.MakeGlContextCurrent();
    StartLiveInput(true);
  }
  host_.UpdateMenuStates();
  host_.Redraw();
  return false;
}

void LiveControl::CancelCameraOpen() {
  if (!camera_opening_) return;
  host_.StopCameraPoll();
  camera_opening_ = false;
  engine_.CancelCameraOpen();
  host_.ShowStatus(engine_.CameraOpenText());
  host_.Redraw();
}

void LiveControl::StartLiveInput(bool camera) {
  input_mode_ = kLiveInput;
  host_.LayoutScene();
  scene_.front = 0;
  if (camera) {
    host_.SetAnimation(1);  // a camera streams at once
  } else {
    host_.IdleStep();  // a movie shows its first frame and waits for Start/Stop
  }
}

void LiveControl::EndLiveInput() {
  view_log() << "live input : closed after " << engine_.LiveFrameCount() << " frames" << std::endl;
  engine_.CloseLiveInput();
  host_.SetAnimation(0);
  input_mode_ = kStillInput;
  scene_.press_armed = true;
  // The last frame stays the target: its still mosaic is made again.
  host_.Generate();
  if (recording_) SetRecording(0, kLiveRecordingFile);
}

// Lists the cameras, lets the user pick one and starts opening it.
bool LiveControl::OpenChosenCamera() {
  std::vector<std::string> names;
  if (engine_.ListCameras(names) == 0) return false;
  for (std::size_t i = 0; i < names.size(); ++i)
    view_log() << "Camera " << i << " : " << names[i] << std::endl;
  const std::optional<int> chosen = host_.ChooseCamera(names, engine_.LastCamera());
  if (!chosen) return false;
  host_.MakeGlContextCurrent();
  return engine_.OpenCamera(*chosen);
}

LiveControl::Step LiveControl::LiveStep() {
  const int frames_before = engine_.LiveFrameCount();
  if (!engine_.NextLiveFrame()) {
    host_.SetAnimation(0);
    if (recording_) SetRecording(0, kLiveRecordingFile);
    return Step::kEnded;
  }
  // A camera with nothing new yet: its last mosaic is on the screen.
  if (engine_.LiveFrameCount() == frames_before) return Step::kNothingNew;
  unsigned int image = 0;
  unsigned int mosaic = 0;
  if (engine_.FrameTextures(image, mosaic)) {
    // Both pairs show the newest frame, whichever of them is in front.
    for (int i = 0; i < 2; ++i) {
      scene_.ImageLayer(i).texture = image;
      scene_.MosaicLayer(i).texture = mosaic;
    }
  }
  for (int i = 0; i < 2; ++i) {
    scene_.ImageLayer(i).info_lines.clear();
    scene_.MosaicLayer(i).info_lines.clear();
    scene_.ImageLayer(i).alpha = 1.0;
    scene_.MosaicLayer(i).alpha = scene_.alpha;
  }
  if (recording_) WriteRecordingFrame();
  return Step::kNewMosaic;
}

void LiveControl::SetRecording(int on, const std::string& file) {
  GuardEvent("recording", [&] {
    recording_ = on != 0;
    if (recording_)
      StartRecordingFile(file);
    else
      FinishRecordingFile();
  });
  host_.UpdateMenuStates();
  host_.Redraw();
}

void LiveControl::StartRecordingFile(const std::string& file) {
  // The frames are the working size: the mosaic texture's and the source's.
  // A camera or a movie without a rate is recorded at 30 frames per second.
  const double rate = RecordingRate(engine_.FrameRate());
  std::string message;
  if (!recorder_.Open(file, rate, engine_.WorkingSize(), message)) {
    recording_ = false;
    view_log() << message << std::endl;
    return;
  }
  output_file_ = file;
  view_log() << "Output : " << file << std::endl;
  host_.SetOutputText(RecordingBaseName(file));
}

void LiveControl::FinishRecordingFile() {
  if (!recorder_.IsOpen()) return;
  const int frames = recorder_.FramesWritten();
  std::string message;
  if (recorder_.Close(message)) {
    view_log() << "recording end : " << output_file_ << " : " << frames << " frames" << std::endl;
    return;
  }
  // No movie came of the recording: the user must not take one for written.
  view_log() << message << std::endl;
  // The status line is narrow: the file's name there, its path in the log.
  const std::size_t at = message.find(output_file_);
  if (at != std::string::npos)
    message.replace(at, output_file_.size(), RecordingBaseName(output_file_));
  host_.ShowFailure(message);
}

bool LiveControl::WriteRecordingFrame() {
  if (!recorder_.IsOpen()) return false;
  bool written = false;
  GuardEvent("recording frame", [&] {
    // The mosaic is read back from its texture, in the view's context.
    host_.MakeGlContextCurrent();
    const cv::Mat frame = engine_.RecordingFrame(scene_.alpha);
    if (frame.empty()) return;
    written = recorder_.Write(frame);
  });
  return written;
}

}  // namespace tessaline
