#pragma once
// Writing result pictures: the exported mosaic (view and batch command
// alike), encoded by picture_writer.h.
//
// The picture type follows the path's extension, in any case: the types of
// PictureUse::kWrite in picture_types.h (BMP, PNG, JPEG, TIFF, WebP, PPM and
// HEIF). A file is written whole or not at all: the picture is encoded in
// memory and then replaces `path` through ReplaceFile (a temporary file
// renamed into place); on any failure an existing file at `path` is left as
// it was. Never throws.

#include <opencv2/core.hpp>

#include <string>

namespace tessaline {

enum class ImageWriteError {
  kNone,
  kEmptyPicture,  // nothing to write
  kUnknownType,   // the extension names no picture type we write
  kNoFolder,      // the folder of the path does not exist
  kEncodeFailed,  // the encoder refused the picture
  kWriteFailed,   // the file could not be replaced
};

struct ImageWriteResult {
  ImageWriteError error = ImageWriteError::kNone;
  std::string message;  // one line saying why, empty on success
  explicit operator bool() const { return error == ImageWriteError::kNone; }
};

// Writes `bgr` (CV_8UC3, blue-green-red) to `path`.
ImageWriteResult WriteImageFile(const std::string& path, const cv::Mat& bgr);

// WriteImageFile without the reason.
bool WritePictureFile(const std::string& path, const cv::Mat& bgr);

// True when the extension of `path` names a picture type this writer makes.
bool IsWritableImagePath(const std::string& path);

// The extensions this writer makes, for messages: ".bmp, .png, ... or .heif".
std::string WritableImageTypes();

}  // namespace tessaline
