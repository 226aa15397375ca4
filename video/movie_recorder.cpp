#include "video/movie_recorder.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <exception>

#include "settings/paths.h"
#include "video/movie_file.h"
#include "video/video_codec.h"

namespace tessaline {

cv::Mat BlendFrames(const cv::Mat& source, const cv::Mat& mosaic, double alpha) {
  if (mosaic.empty()) return cv::Mat();
  alpha = std::clamp(alpha, 0.0, 1.0);
  cv::Mat under = cv::Mat::zeros(mosaic.size(), mosaic.type());
  if (!source.empty() && source.type() == mosaic.type()) {
    if (source.size() == mosaic.size())
      under = source;
    else
      cv::resize(source, under, mosaic.size(), 0, 0, cv::INTER_AREA);
  }
  cv::Mat blended;
  // addWeighted rounds to nearest and saturates to 0..255 for 8-bit data.
  cv::addWeighted(under, 1.0 - alpha, mosaic, alpha, 0.0, blended);
  return blended;
}

double RecordingRate(double rate) { return rate < 1.0 ? 30.0 : rate; }

std::string RecordingBaseName(const std::string& path) { return BaseName(path); }

MovieRecorder::~MovieRecorder() {
  std::string ignored;
  Close(ignored);
}

bool MovieRecorder::Open(const std::string& path, double rate, cv::Size size,
                         std::string& message) {
  // An open movie is finished, never dropped unfinished.
  if (!Close(message)) return false;
  const int codec = CodecForPath(path);
  if (codec == -1) {
    message = "cannot record to " + path + " : the name ends in none of " + WritableMovieTypes();
    return false;
  }
  auto partial = std::make_unique<TemporaryFile>(path, MovieTemporarySuffix(path));
  if (partial->Descriptor() < 0) {
    message = "cannot record to " + path + " : " + partial->Error();
    return false;
  }
  try {
    writer_.open(partial->Name(), cv::CAP_FFMPEG, codec, RecordingRate(rate), size, true);
  } catch (const std::exception& error) {
    message = "cannot record to " + path + " : " + error.what();
    return false;
  }
  if (!writer_.isOpened()) {
    message = "cannot record to " + path + " : the video writer refuses the file, codec or size " +
              std::to_string(size.width) + " x " + std::to_string(size.height);
    return false;
  }
  path_ = path;
  partial_ = std::move(partial);
  size_ = size;
  frames_ = 0;
  return true;
}

bool MovieRecorder::Write(const cv::Mat& frame) {
  if (!writer_.isOpened() || frame.empty() || frame.type() != CV_8UC3) return false;
  if (frame.size() == size_) {
    writer_.write(frame);
  } else {
    cv::Mat scaled;
    cv::resize(frame, scaled, size_, 0, 0, cv::INTER_AREA);
    writer_.write(scaled);
  }
  ++frames_;
  return true;
}

bool MovieRecorder::Close(std::string& message) {
  if (!writer_.isOpened()) return true;
  // Releasing the writer writes the container's index and trailer.
  writer_.release();
  // Dropped at the return: an unfinished file goes with it.
  const std::unique_ptr<TemporaryFile> partial = std::move(partial_);
  std::string why = IncompleteMovieReason(*partial, frames_);
  if (why.empty() && !partial->Commit()) why = partial->Error();
  if (why.empty()) return true;
  message = "cannot finish the recording " + path_ + " : " + why;
  return false;
}

}  // namespace tessaline
