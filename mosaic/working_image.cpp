#include "mosaic/working_image.h"

#include <opencv2/imgproc.hpp>

#include "mosaic/live_source.h"

namespace tessaline {

void WorkingImage::Reset(cv::Size size) {
  size_ = size;
  frame_.release();
  stale_ = false;
  picture_.release();
  if (!size.empty()) picture_.create(size, CV_8UC3);
}

void WorkingImage::SetPicture(const cv::Mat& picture) {
  frame_.release();
  stale_ = false;
  if (picture.size() == size_)
    picture_ = picture;
  else
    cv::resize(picture, picture_, size_, 0, 0, cv::INTER_LINEAR);
}

void WorkingImage::SetFrame(const cv::Mat& frame) {
  if (frame.type() == CV_8UC3)
    frame.copyTo(frame_);
  else
    cv::cvtColor(frame, frame_, frame.channels() == 4 ? cv::COLOR_BGRA2BGR : cv::COLOR_GRAY2BGR);
  stale_ = true;
}

const cv::Mat& WorkingImage::Picture() const {
  if (stale_ && !size_.empty()) {
    picture_.create(size_, CV_8UC3);
    FitToWorkingImage(frame_, picture_);
  }
  stale_ = false;
  return picture_;
}

}  // namespace tessaline
