#pragma once
// Where the rows of a print-resolution mosaic go: a picture file written as
// the rows come (tiled TIFF, JPEG or PNG), or a deep-zoom pyramid
// (deep_zoom.h). A sink holds only a band of rows at a time, whatever the
// picture's size, and leaves nothing behind unless Finish succeeds: a file
// grows under a temporary name beside its place and is renamed into it at
// the end. One thread.

#include <cstdint>
#include <memory>
#include <string>

#include <opencv2/core.hpp>

namespace tessaline {

class PrintSink {
 public:
  virtual ~PrintSink() = default;
  // The next rows of the picture, top first: CV_8UC3 blue-green-red, the
  // picture's full width. False, with Error() set, when they cannot be
  // written; the sink takes nothing more then.
  virtual bool AddRows(const cv::Mat& rows) = 0;
  // Completes the output after the last row; false with Error() set.
  virtual bool Finish() = 0;
  const std::string& Error() const { return error_; }

 protected:
  std::string error_;
};

// True when `path`'s extension (any case) names a print picture type
// (PictureUse::kPrint in picture_types.h: TIFF, JPEG and PNG).
bool IsPrintPicturePath(const std::string& path);

// The print picture types for a message: ".png, .jpg, ... or .tiff".
std::string PrintPictureTypes();

// True when `path`'s extension (any case) is .jpg or .jpeg.
bool IsJpegPath(const std::string& path);

// The largest side a JPEG header can hold.
constexpr int kJpegMaxSide = 65500;

// The sink writing a width × height picture to `path`, its type by the
// extension; null with `error` set when the type is not a print type, the
// picture is too large for it, or the file cannot be made.
std::unique_ptr<PrintSink> OpenPrintPicture(const std::string& path, int width, int height,
                                            std::string& error);

}  // namespace tessaline
