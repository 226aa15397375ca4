#pragma once
// The mosaic movie of a whole movie file: every frame is brought to the
// working size (copied when it has that size, else stretched bilinearly),
// handed to a compose function, blended with the frame by alpha and written,
// at the source frame rate, to a new movie whose codec follows the output's
// extension (CodecForPath).
//
// Three stages overlap: a decode thread, the compose stage on the calling
// thread (so a GL context current there can compose) and an encode thread,
// joined by queues of a few frames. Frames keep their order. An exception on
// any stage ends the run with one message; all threads are joined before
// MakeMosaicMovie returns. A corrupt or truncated input ends the movie at
// its last good frame. The output is written under a new temporary name
// beside it (TemporaryFile) and renamed over it only once it is checked to
// be whole (IncompleteMovieReason): a full disk, the file size limit or a
// refused folder leaves the earlier file as it was and no temporary file.

#include <functional>
#include <opencv2/core.hpp>
#include <string>

namespace tessaline {

// Frames per second to write for a source that reports `reported`: the
// source's own rate, or 30 when it reports less than 1 (unknown).
double MovieFrameRate(double reported);

// mosaic × alpha + source × (1 − alpha), rounded and clamped per byte;
// both CV_8UC3 of one size. alpha 1 gives the mosaic itself.
cv::Mat BlendMosaic(const cv::Mat& mosaic, const cv::Mat& source, double alpha);

struct MovieMosaicJob {
  std::string in_path;
  std::string out_path;
  int width = 0;  // the working size, also the output movie's frame size
  int height = 0;
  double alpha = 1.0;
  // Makes the mosaic (CV_8UC3, width × height) of one working-size frame;
  // runs on the calling thread. Throws, or returns an empty Mat, to stop.
  std::function<cv::Mat(const cv::Mat& frame)> compose;
  // After each written frame is composed: frames done and the frame count
  // the source reports (0 when unknown). Calling thread.
  std::function<void(int done, int total)> progress;
  int queue_frames = 4;  // frames each queue holds
};

// Busy seconds of each stage (they overlap, so they add up to more than the
// wall time when the pipeline works).
struct MovieStageTimes {
  double decode = 0.0;   // reading, decoding and scaling frames
  double compose = 0.0;  // assignment, composition and the blend
  double encode = 0.0;   // encoding and writing
  double wall = 0.0;     // the whole run
};

struct MovieMosaicResult {
  bool ok = false;
  std::string message;  // one line when !ok
  int frames = 0;       // frames written
  // The frame count the input reports (0 when it reports none): more than
  // `frames` when the input ended early.
  int source_frames = 0;
  double rate = 0.0;  // frames per second of the output
  MovieStageTimes times;
};

MovieMosaicResult MakeMosaicMovie(const MovieMosaicJob& job);

}  // namespace tessaline
