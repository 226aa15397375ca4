#pragma once
// LiveControl: live input and its recording. A movie or a camera replaces
// the still target; every idle step pulls one frame, whose mosaic the
// engine composes, and the layers show it. A camera is opened without
// waiting for it: the view polls it from a timer (PollCamera) and the
// status line says so until it answers, times out or is given up. While
// live input runs the view can be recorded to a movie file (the "Output "
// switch), one frame per new source frame.
//
// No toolkit and no GL: what needs the engine goes through LiveEngine, what
// needs the window (timer, dialog, status line, GL context) through
// LiveHost, so that tests drive it with fakes. GUI thread only; the camera
// reads on its own thread (video/).

#include <opencv2/core.hpp>

#include <optional>
#include <string>
#include <vector>

#include "mosaic/live_input.h"
#include "render/view_scene.h"
#include "video/movie_recorder.h"
#include "view/input_mode.h"

namespace tessaline {

// What live input asks of the engine (see qxPhotoMosaic's live input).
class LiveEngine {
 public:
  // How a camera being opened stands: kNone when the engine is not opening
  // one (it was replaced meanwhile).
  using CameraOpening = LiveInput::CameraOpening;
  virtual ~LiveEngine() = default;
  virtual bool OpenMovie(const std::string& path) = 0;
  virtual int ListCameras(std::vector<std::string>& names) = 0;
  virtual int LastCamera() const = 0;
  virtual bool OpenCamera(int index) = 0;
  virtual CameraOpening PollCameraOpen() = 0;
  virtual std::string CameraOpenText() const = 0;
  virtual void CancelCameraOpen() = 0;
  virtual bool CloseLiveInput() = 0;
  virtual bool NextLiveFrame() = 0;
  virtual int LiveFrameCount() const = 0;
  virtual double FrameRate() const = 0;
  virtual cv::Size WorkingSize() const = 0;
  // The newest frame's picture and mosaic textures; false while the engine
  // has no GPU side.
  virtual bool FrameTextures(unsigned int& image, unsigned int& mosaic) const = 0;
  // The frame a recording takes: the mosaic (read back from its texture,
  // in the view's context) blended at `alpha` over the source frame. Empty
  // when there is no mosaic.
  virtual cv::Mat RecordingFrame(double alpha) = 0;
};

// What live input asks of the view.
class LiveHost {
 public:
  virtual ~LiveHost() = default;
  virtual void SetAnimation(int on) = 0;  // 1 on, 0 off, -1 toggle
  virtual void LayoutScene() = 0;
  virtual void ShowStatus(const std::string& text) = 0;
  // A failure on the status line that the frame rate must not overwrite.
  virtual void ShowFailure(const std::string& text) = 0;
  virtual void SetOutputText(const std::string& text) = 0;
  virtual void UpdateMenuStates() = 0;
  virtual void Redraw() = 0;
  // Makes the view's GL context current.
  virtual void MakeGlContextCurrent() = 0;
  // True, with the reason on the status line, while a load has the engine.
  virtual bool RefuseWhileBusy() = 0;
  virtual bool Ready() const = 0;
  virtual void Generate() = 0;
  virtual void IdleStep() = 0;
  // The camera poll: PollCamera from a timer until it answers false.
  virtual void StartCameraPoll() = 0;
  virtual void StopCameraPoll() = 0;
  // Lets the user pick one of `names` (`preselected` first); none when the
  // choice was cancelled.
  virtual std::optional<int> ChooseCamera(const std::vector<std::string>& names,
                                          int preselected) = 0;
};

// The file a recording ends in when live input ends by itself.
extern const char* const kLiveRecordingFile;

// How long the view waits before it looks again at a camera that had
// nothing new: a frame is taken within this of its arrival, and the loop
// does not spin on the mutex of the camera's reader meanwhile.
constexpr double kLivePollSeconds = 0.004;

class LiveControl {
 public:
  LiveControl(ViewScene& scene, LiveEngine& engine, LiveHost& host)
      : scene_(scene), engine_(engine), host_(host) {}
  LiveControl(const LiveControl&) = delete;
  LiveControl& operator=(const LiveControl&) = delete;

  // The engine was replaced: a live source went with the old one (a camera
  // being opened is cancelled before).
  void ForgetSource() { input_mode_ = kStillInput; }

  int InputMode() const { return input_mode_; }
  bool Live() const { return input_mode_ == kLiveInput; }
  bool CameraOpening() const { return camera_opening_; }
  bool Recording() const { return recording_; }

  // A movie (`path`) or, with an empty path, a camera chosen by the user
  // becomes the source; while live input runs, ends it. A camera still
  // being opened is given up (and a movie asked for opens after that).
  void ToggleVideoInput(const std::string& path);
  // The timer's look at the camera being opened; true while it should look
  // again.
  bool PollCamera();
  // Gives up a camera that has not answered yet.
  void CancelCameraOpen();
  // One frame of live input: pulls it and shows its mosaic. kNothingNew: a
  // camera had no new frame, so there is nothing to draw; kEnded: the input
  // ended, no mosaic came of the step.
  enum class Step { kNothingNew, kNewMosaic, kEnded };
  Step LiveStep();
  // on = 1 opens `file` and records, on = 0 finishes the file.
  void SetRecording(int on, const std::string& file);
  // Appends the current frame; false when no file is open.
  bool WriteRecordingFrame();
  // Finishes an open recording file and logs how it ended (the program
  // ends, or the recording is switched off).
  void FinishRecordingFile();

 private:
  void StartLiveInput(bool camera);
  void EndLiveInput();
  bool OpenChosenCamera();
  void StartRecordingFile(const std::string& file);

  ViewScene& scene_;
  LiveEngine& engine_;
  LiveHost& host_;
  int input_mode_ = kStillInput;
  bool camera_opening_ = false;  // a chosen camera has not answered yet
  bool recording_ = false;       // a recording of the view runs
  MovieRecorder recorder_;       // open only while recording_
  std::string output_file_;      // the file most recently opened for recording
};

}  // namespace tessaline
