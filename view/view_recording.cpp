// qxFlGLWindow: recording the view to a movie file while live input runs.

#include <GL/glew.h>

#include <type_traits>
#include <utility>

#include "mosaic/photo_mosaic.h"
#include "settings/log_stream.h"
#include "view/event_guard.h"
#include "view/gl_window.h"

namespace tessaline {
namespace {

template <typename Engine, typename = void>
struct HasFrameRate : std::false_type {};
template <typename Engine>
struct HasFrameRate<Engine, std::void_t<decltype(std::declval<Engine&>().FrameRate())>>
    : std::true_type {};

// The live source's frames per second. An engine without movie input
// reports none, and the recording then runs at the camera rate of 30.
template <typename Engine>
double SourceFrameRate(Engine& engine) {
  if constexpr (HasFrameRate<Engine>::value)
    return static_cast<double>(engine.FrameRate());
  else
    return 0.0;
}

}  // namespace

void qxFlGLWindow::SetRecording(int on, const std::string& file) {
  GuardEvent("recording", [&] {
    recording_ = on != 0;
    if (recording_)
      StartRecordingFile(file);
    else
      FinishRecordingFile();
  });
  owner_->UpdateMenuStates();
  redraw();
}

void qxFlGLWindow::StartRecordingFile(const std::string& file) {
  // The frames are the working size: the mosaic texture's and the source's.
  const cv::Size size(engine_->ImageWidth(), engine_->ImageHeight());
  const double rate = RecordingRate(SourceFrameRate(*engine_));
  std::string message;
  if (!video_writer_.Open(file, rate, size, message)) {
    recording_ = false;
    view_log() << message << std::endl;
    return;
  }
  output_file_ = file;
  view_log() << "Output : " << file << std::endl;
  owner_->SetOutputText(RecordingBaseName(file));
}

void qxFlGLWindow::FinishRecordingFile() {
  if (!video_writer_.IsOpen()) return;
  const int frames = video_writer_.FramesWritten();
  std::string message;
  if (video_writer_.Close(message))
    view_log() << "recording end : " << output_file_ << " : " << frames << " frames" << std::endl;
  else
    view_log() << message << std::endl;
}

bool qxFlGLWindow::WriteRecordingFrame() {
  if (!video_writer_.IsOpen()) return false;
  bool written = false;
  GuardEvent("recording frame", [&] {
    // The mosaic is read back from its texture, in this view's context.
    make_current();
    const cv::Mat mosaic = engine_->MosaicImage();
    if (mosaic.empty()) return;
    written = video_writer_.Write(BlendFrames(engine_->WorkingImage(), mosaic, scene_.alpha));
  });
  return written;
}

}  // namespace tessaline
