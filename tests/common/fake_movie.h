#pragma once
// A movie for the engine's live input made of frames held in memory: each
// read gives the next, and the movie ends when they run out. 320 x 180 at
// 29.97 frames per second, whatever the frames' own size.

#include <opencv2/core.hpp>

#include <deque>
#include <utility>

#include "mosaic/live_source.h"

namespace tessaline {

class FakeMovie : public LiveSource {
 public:
  explicit FakeMovie(std::deque<cv::Mat> frames) : frames_(std::move(frames)) {}
  bool Read(cv::Mat& frame) override {
    if (frames_.empty()) return false;
    frame = frames_.front();
    frames_.pop_front();
    return true;
  }
  int Width() const override { return 320; }
  int Height() const override { return 180; }
  double Rate() const override { return 29.97; }

 private:
  std::deque<cv::Mat> frames_;
};

}  // namespace tessaline
