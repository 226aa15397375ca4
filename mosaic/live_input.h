#pragma once
// LiveInput: the engine's live target source, a movie file or a camera,
// opened through the opener and factory the view gives it (tests give
// fakes). A camera may take seconds to answer, so its open is a small state
// machine that the GUI thread polls. Each pull leaves the source's newest
// frame in Frame(); making its mosaic is the engine's
// (qxPhotoMosaic::NextLiveFrame). GUI thread only.

#include <opencv2/core.hpp>

#include <memory>
#include <string>
#include <vector>

#include "mosaic/live_source.h"
#include "settings/stopwatch.h"

namespace tessaline {

// What the live source is. A movie that has ended stays kMovie (every pull
// then gives kEnd) until another source opens.
enum class LiveKind { kNone, kMovie, kCamera };

class LiveInput {
 public:
  // Without an opener or a factory nothing opens.
  void SetMovieOpener(MovieOpener opener) { open_movie_ = std::move(opener); }
  void SetCameraFactory(CameraFactory factory) { make_camera_ = std::move(factory); }
  // The clock that times a camera's answer; tests give a fake.
  void SetClock(Stopwatch::Clock clock) { clock_ = std::move(clock); }

  // Makes the movie at `path` the source (a movie open before is released
  // first, even when this one fails); false with one line when it cannot.
  bool OpenMovie(const std::string& path);
  // The device names; 0, with one line, when there is no camera.
  int ListCameras(std::vector<std::string>& names);

  // OpenCamera starts opening device `index` (0 when out of range) and
  // returns at once (false, with one line, when it cannot even start).
  // PollCameraOpen, asked until it gives something other than kOpening,
  // makes the camera the source once it has answered, or gives up with one
  // line when it failed or has not answered within kCameraAnswerSeconds;
  // CancelCameraOpen gives up at once with one line. A source running
  // meanwhile stays the source unless the camera answers.
  static constexpr double kCameraAnswerSeconds = 10.0;
  enum class CameraOpening { kNone, kOpening, kRunning, kFailed, kTimedOut };
  bool OpenCamera(int index);
  CameraOpening PollCameraOpen();
  void CancelCameraOpen();
  // The line about the camera open's last turn: "opening camera NAME ...",
  // then how it went.
  const std::string& CameraOpenText() const { return camera_open_text_; }

  // kNew: the source's next frame is in Frame(); kSame: a camera has
  // nothing new yet; kEnd: there is no frame (no source, the movie ended or
  // the camera was lost, which closes it; either is told in one line).
  enum class Pull { kNew, kSame, kEnd };
  Pull NextFrame();
  // Stops a camera; false, changing nothing, for a movie or no source.
  bool Close();

  LiveKind Kind() const { return kind_; }
  // The running camera's device index, -1 when no camera is the source.
  int Camera() const { return kind_ == LiveKind::kCamera ? camera_index_ : -1; }
  // The device index of the camera closed last (0 before any), offered
  // first when the next camera is chosen.
  int LastCamera() const { return last_camera_; }
  // The source's name: the movie's file name or the camera's display name.
  const std::string& SourceName() const { return source_name_; }
  // As the source reports them; 960 x 720 at 30 fps before any opened.
  cv::Size SourceSize() const { return source_size_; }
  double FrameRate() const { return frame_rate_; }
  // Frames pulled from the current source since it was opened.
  int FrameCount() const { return frames_; }
  // The line telling the pace of the current source: "live rate : 24.9
  // mosaics a second : 250 mosaics of 251 frames delivered in 10.00 s",
  // the time running from the first frame pulled to the last (a camera's
  // frames that came while the last mosaic was made are dropped, so fewer
  // are pulled than delivered). Logged when a camera closes or is lost and
  // when a movie ends.
  std::string RateText() const;
  // The last frame pulled (CV_8UC3); empty before the first and at the end.
  const cv::Mat& Frame() const { return frame_; }

 private:
  void DropCamera();
  void StartCamera(int width, int height);
  CameraOpening EndCameraOpen(CameraOpening outcome, const std::string& line);
  Pull PullFrame();
  void EndSource();

  MovieOpener open_movie_;
  CameraFactory make_camera_;
  Stopwatch::Clock clock_ = Stopwatch::SteadySeconds;
  std::unique_ptr<LiveSource> movie_;
  std::unique_ptr<CameraCapture> camera_;
  cv::Mat frame_;
  LiveKind kind_ = LiveKind::kNone;
  int camera_index_ = -1;  // the running camera's device
  int last_camera_ = 0;
  std::string source_name_;
  cv::Size source_size_{960, 720};
  double frame_rate_ = 30.0;
  int frames_ = 0;
  double first_frame_at_ = 0.0;  // seconds on clock_, of the first and last frame pulled
  double last_frame_at_ = 0.0;
  int opening_camera_ = -1;  // the device being opened, -1 for none
  std::string opening_name_;
  double opening_started_ = 0.0;  // seconds on clock_
  std::string camera_open_text_;
};

}  // namespace tessaline
