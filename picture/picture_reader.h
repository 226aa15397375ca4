#pragma once
// Reading picture files upright, and no larger than the caller needs.
//
// Phone photos are large (12 megapixels) and often stored sideways with an
// orientation tag, yet a tile keeps only a thumbnail and a touched tile of a
// few hundred pixels. A JPEG is therefore decoded with libjpeg's scaled
// inverse DCT at the smallest power-of-two reduction (1/2, 1/4, 1/8) that
// still covers the size asked for, which cuts the decode cost several
// times; a 1/2^k decode keeps each block's mean, so means over the picture
// stay within a level of the full decode's.
//
// Formats, recognised by their first bytes whatever the name: JPEG, PNG,
// BMP (uncompressed), GIF (first frame, gif_reader.h), TIFF, WebP and
// HEIC/HEIF. Every result is 8-bit blue-green-red (CV_8UC3, top row first)
// turned upright by the picture's EXIF orientation (JPEG APP1, TIFF tag,
// WebP EXIF chunk, PNG eXIf); HEIF pictures are turned by libheif's own
// transforms. Grey pictures give three equal channels, alpha is dropped
// (not blended), 16-bit samples keep their high byte.
//
// Never throws for a bad file: an unreadable, corrupt or unknown file gives
// an empty picture and the kind of fault. A JPEG cut short keeps the rows
// its data reaches (grey below, as libjpeg fills them); one whose data ends
// before a single row of blocks is no picture. Any thread.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include <opencv2/core.hpp>

#include "picture/picture_header.h"

struct TIFFOpenOptions;

namespace tessaline {

// Why a read gave no picture, or only part of one.
enum class PictureFault {
  kNone,          // read whole
  kCutShort,      // the pixels are there, but the file ends part-way: grey below
  kNoSuchFile,    // no file by that name (or a folder on the way is missing)
  kFolder,        // a folder
  kNoPermission,  // the file or a folder on the way may not be read
  kCannotRead,    // not a plain file (a FIFO, a device), or the system failed
  kNotAPicture,   // empty, of an unknown format, damaged, or without image data
};

struct DecodedPicture {
  DecodedPicture() = default;
  DecodedPicture(cv::Mat pixels_, PictureSize full_, PictureFault fault_ = PictureFault::kNone,
                 std::string detail_ = std::string())
      : pixels(std::move(pixels_)), full(full_), fault(fault_), detail(std::move(detail_)) {}

  cv::Mat pixels;    // upright CV_8UC3; empty when the file cannot be read
  PictureSize full;  // the upright size at full scale (pixels may be smaller)
  PictureFault fault = PictureFault::kNone;
  // For messages only: what the file is (kNotAPicture), how far its data
  // reaches (kCutShort), or the system's reason (kCannotRead).
  std::string detail;
};

// The cause of a failed read for a message line, such as "no such file" or
// "not a picture this program reads (a JPEG without image data)".
std::string PictureFaultText(const DecodedPicture& picture);

// The EXIF orientation (1..8) held in a TIFF-structured block (starting
// "II*\0" or "MM\0*", optionally after "Exif\0\0"); 1 when there is none or
// the value is out of range.
int ExifOrientation(std::string_view exif);

// `stored` turned upright for EXIF orientation `orientation` (1..8).
cv::Mat ApplyOrientation(const cv::Mat& stored, int orientation);

// The picture in `bytes`; `needed` (upright, 0 × 0 for full size) lets a
// JPEG decode reduced, never below `needed` in either direction. `path` is
// used only by the readers that read files themselves (GIF, TIFF).
DecodedPicture DecodePicture(std::string_view bytes, const std::string& path,
                             PictureSize needed = {});

// DecodePicture on the file at `path`. A picture cut short is told in one
// line of the log (support_log) naming the file.
DecodedPicture ReadUprightPicture(const std::string& path, PictureSize needed = {});

// The reduction 1, 2, 4 or 8 a JPEG of stored size `stored` is decoded at
// so that both sides still cover `needed` (same orientation as `stored`).
int JpegReduction(PictureSize stored, PictureSize needed);

// Open options for one libtiff handle (TIFFOpenExt, TIFFFdOpenExt,
// TIFFClientOpenExt) that drop libtiff's own error and warning messages for
// that handle only: our readers and writers report a failure in one line of
// their own. The process-wide handlers, and so every other handle, keep
// printing, and handles opened on several threads at once do not interfere.
// The options may go once the handle is open. Get() is null when libtiff
// could not allocate them; the handle then prints as usual.
class QuietTiffOptions {
 public:
  QuietTiffOptions();
  ~QuietTiffOptions();
  QuietTiffOptions(const QuietTiffOptions&) = delete;
  QuietTiffOptions& operator=(const QuietTiffOptions&) = delete;
  TIFFOpenOptions* Get() const { return options_; }

 private:
  TIFFOpenOptions* options_;
};

}  // namespace tessaline
