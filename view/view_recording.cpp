// qxFlGLWindow: recording the view to a movie file while live input runs.

#include <GL/glew.h>

#include "mosaic/photo_mosaic.h"
#include "settings/log_stream.h"
#include "view/event_guard.h"
#include "view/gl_window.h"

namespace tessaline {

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
  const cv::Size size(engine_->Geometry().ImageWidth(), engine_->Geometry().ImageHeight());
  // A camera or a movie without a rate is recorded at 30 frames per second.
  const double rate = RecordingRate(engine_->Live().FrameRate());
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
  if (video_writer_.Close(message)) {
    view_log() << "recording end : " << output_file_ << " : " << frames << " frames" << std::endl;
    return;
  }
  // No movie came of the recording: the user must not take one for written.
  view_log() << message << std::endl;
  // The status line is narrow: the file's name there, its path in the log.
  const std::size_t at = message.find(output_file_);
  if (at != std::string::npos)
    message.replace(at, output_file_.size(), RecordingBaseName(output_file_));
  ShowStatus(message);
  status_held_ = true;
}

bool qxFlGLWindow::WriteRecordingFrame() {
  if (!video_writer_.IsOpen()) return false;
  bool written = false;
  GuardEvent("recording frame", [&] {
    // The mosaic is read back from its texture, in this view's context.
    make_current();
    const cv::Mat mosaic = engine_->MosaicImage();
    if (mosaic.empty()) return;
    written =
        video_writer_.Write(BlendFrames(engine_->Target().working_image, mosaic, scene_.alpha));
  });
  return written;
}

}  // namespace tessaline
