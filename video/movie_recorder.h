#pragma once
// MovieRecorder: writes a movie file frame by frame with OpenCV's video
// writer, and the pure helpers the view's recording uses (the blend of the
// mosaic over the source frame, the rate, the name shown for the file).
//
// The frames go to a new hidden file beside the chosen path (TemporaryFile,
// ending ".part.avi" for "run1.avi") that is renamed onto the chosen path
// only when the writer has finished it and the file is checked to be whole
// (IncompleteMovieReason), so the chosen path holds a whole, playable movie
// or what it held before. Frames are
// 8-bit BGR; the codec follows the extension (CodecForPath). GUI thread in
// the program; the class itself has no thread of its own.

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <memory>
#include <string>

#include "settings/whole_file.h"

namespace tessaline {

// source × (1 − alpha) + mosaic × alpha per byte, rounded and clamped to
// 0..255; `alpha` is clamped to 0..1. A source of another size is scaled to
// the mosaic's; an empty source counts as black. Empty for an empty mosaic.
cv::Mat BlendFrames(const cv::Mat& source, const cv::Mat& mosaic, double alpha);

// The rate a recording is written at: `rate` frames per second, or 30 when
// the source reports less than 1 (or no rate at all).
double RecordingRate(double rate);

// The text after the last backslash, else after the last slash, else the
// whole path.
std::string RecordingBaseName(const std::string& path);

class MovieRecorder {
 public:
  MovieRecorder() = default;
  ~MovieRecorder();  // finishes an open file
  MovieRecorder(const MovieRecorder&) = delete;
  MovieRecorder& operator=(const MovieRecorder&) = delete;

  // Starts a movie at `path` of `size` pixels and `rate` frames per second,
  // finishing a file still open first. False with one line in `message`
  // when the extension is not a known movie type or the writer refuses the
  // path, codec or size; nothing is left at `path` then.
  bool Open(const std::string& path, double rate, cv::Size size, std::string& message);
  // Appends one BGR frame, scaled to the movie's size when it differs.
  // False when no file is open or the frame is empty or not 8-bit BGR.
  bool Write(const cv::Mat& frame);
  // Finishes the file and moves it onto the path given to Open. False with
  // one line in `message`, naming the reason, when the file came out
  // incomplete (a full disk) or cannot be moved; it is removed then. True
  // when nothing was open.
  bool Close(std::string& message);

  bool IsOpen() const { return writer_.isOpened(); }
  const std::string& Path() const { return path_; }
  int FramesWritten() const { return frames_; }

 private:
  cv::VideoWriter writer_;
  std::string path_;                        // where the finished movie goes
  std::unique_ptr<TemporaryFile> partial_;  // where the writer writes meanwhile
  cv::Size size_;
  int frames_ = 0;
};

}  // namespace tessaline
