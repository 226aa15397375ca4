#pragma once
// Live target sources seen from the engine: a movie file and a camera. The
// engine keeps only these interfaces, so it needs no video library; the
// OpenCV and Video4Linux implementations live in video/ and reach the
// engine through the factories below (given by the view). Tests use fakes.
//
// Frames are CV_8UC3, blue-green-red, top row first. GUI thread only; an
// implementation may read on a thread of its own behind these calls.

#include <opencv2/core.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tessaline {

// An open movie file.
class LiveSource {
 public:
  virtual ~LiveSource() = default;
  // The next frame into `frame`; false at the end of the movie or at the
  // first frame that cannot be decoded.
  virtual bool Read(cv::Mat& frame) = 0;
  // As the file reports them (0 when it does not).
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual double Rate() const = 0;
  // The frame count the file reports; 0 when it reports none.
  virtual int FrameCount() const { return 0; }
};

// For a movie that gave `read` frames and reports `reported`: "the movie
// file ended early (it reports 200 frames)" when it gave fewer, else empty
// (an unknown count, 0, says nothing).
std::string EndedEarlyText(int read, int reported);

// What opening a movie file gave: the movie, or why there is none.
struct MovieOpen {
  enum class Failure { kNone, kMissing, kUndecodable };
  std::unique_ptr<LiveSource> movie;  // null unless failure is kNone
  Failure failure = Failure::kMissing;
  std::string reason;  // kUndecodable: why, as a short phrase
};

// Opens `path`. kMissing: there is no file of that name (or the path is
// empty); kUndecodable: the file is there but is no movie that can be read.
using MovieOpener = std::function<MovieOpen(const std::string& path)>;

// The camera side. Creating the object finds the devices; destroying it
// stops a running one and releases everything it holds.
class CameraCapture {
 public:
  enum class Frame { kNew, kNone, kLost };

  virtual ~CameraCapture() = default;
  // Whether any capture device was found at creation.
  virtual bool Ready() const = 0;
  // Display names of the devices, in device order.
  virtual void ListDevices(std::vector<std::string>& names) = 0;
  // Starts opening device `index` and returns at once: a device may take
  // seconds to answer, or never answer. False when the open cannot even
  // start (no such device). PollOpen then tells how it goes.
  virtual bool OpenDevice(int index) = 0;
  // The open started by OpenDevice: answered once the device has delivered
  // its first frame (of width x height, given with kOpen). Never waits.
  enum class Open { kOpening, kOpen, kFailed };
  virtual Open PollOpen(int& width, int& height) = 0;
  // Why the open failed or the device was lost, as a short phrase; empty
  // when the device gave no reason.
  virtual std::string Failure() const { return std::string(); }
  // Starts streaming: from now on the newest frame is kept.
  virtual void Run() = 0;
  // kNew: the newest frame, not handed out before, is now in `frame`;
  // kNone: nothing new yet (`frame` untouched); kLost: the device stopped
  // delivering (unplugged, the stream ended) and will not come back.
  virtual Frame CopyFrame(cv::Mat& frame) = 0;
  // Frames the device has delivered since the open was answered, counted
  // on the reader's side: those not copied before a newer one came were
  // dropped for it.
  virtual long long Delivered() const { return 0; }
  // Stops streaming, or gives up an open still waiting for its device.
  // Returns at once: a device stuck in a call is left to finish on its own.
  virtual void Stop() = 0;
};

// Creates a camera object (the devices are looked up anew each time).
using CameraFactory = std::function<std::unique_ptr<CameraCapture>()>;

// Puts `frame` into `working` (already allocated at the working size): a
// plain copy when the sizes agree, else a bilinear stretch to the full size
// (the aspect ratio is not kept). A frame of one or four channels is made
// blue-green-red first. `working` keeps its own buffer, never sharing the
// frame's: a source may write into its frames' buffers on a thread of its
// own. Returns true when it was copied.
bool FitToWorkingImage(const cv::Mat& frame, cv::Mat& working);

}  // namespace tessaline
