#pragma once
// WorkingImage: the target picture at the working size. A still target is
// held at that size. A live frame is held as it came: its mosaic needs only
// area means of the stretched picture, which StretchedAreaMeans takes from
// the frame, and the view draws the frame's own texture scaled by GL, so
// the stretch to the working size is made only when someone asks for the
// picture (the recording's blend, the print's cell means), once per frame.
// GUI thread only.

#include <opencv2/core.hpp>

namespace tessaline {

class WorkingImage {
 public:
  // A blank (uninitialised) picture of `size`.
  void Reset(cv::Size size);
  // `picture` (CV_8UC3) becomes the target: taken as it is when it has the
  // working size, else stretched to it now.
  void SetPicture(const cv::Mat& picture);
  // `frame` (8-bit, 1, 3 or 4 channels, any size) becomes the target: kept
  // as a copy of its own (a source may reuse its frames' buffers) and
  // stretched when Picture() is first asked for.
  void SetFrame(const cv::Mat& frame);

  // The target at the working size, CV_8UC3 (empty before Reset).
  const cv::Mat& Picture() const;
  // The live frame given last, blue-green-red as it came; empty when a
  // picture was given after it.
  const cv::Mat& Frame() const { return frame_; }
  cv::Size Size() const { return size_; }
  bool Empty() const { return size_.empty(); }

 private:
  cv::Size size_;
  cv::Mat frame_;
  mutable cv::Mat picture_;
  mutable bool stale_ = false;  // picture_ does not yet show frame_
};

}  // namespace tessaline
