#include "picture/image_write.h"

#include <exception>
#include <filesystem>
#include <vector>

#include "picture/picture_types.h"
#include "picture/picture_writer.h"
#include "settings/paths.h"
#include "settings/whole_file.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;

ImageWriteResult Failure(ImageWriteError error, std::string message) {
  return ImageWriteResult{error, std::move(message)};
}

}  // namespace

bool IsWritableImagePath(const std::string& path) {
  return IsPictureExtension(LowerExtension(path), PictureUse::kWrite);
}

std::string WritableImageTypes() { return PictureTypesText(PictureUse::kWrite); }

ImageWriteResult WriteImageFile(const std::string& path, const cv::Mat& bgr) {
  if (bgr.empty()) return Failure(ImageWriteError::kEmptyPicture, "no picture to write");
  const std::string extension = LowerExtension(path);
  if (extension.empty())
    return Failure(ImageWriteError::kUnknownType,
                   "the name has no picture type, give one of " + WritableImageTypes());
  if (!IsWritableImagePath(path))
    return Failure(ImageWriteError::kUnknownType, "unknown picture type '." + extension + "'");
  std::error_code ignored;
  const std::string folder = FolderOf(path);
  if (!folder.empty() && !fs::is_directory(folder, ignored))
    return Failure(ImageWriteError::kNoFolder, "no folder " + folder);
  EncodedPicture encoded;
  std::string reason;
  if (!EncodePicturePieces(PictureFormatOf(extension), bgr, encoded, reason))
    return Failure(ImageWriteError::kEncodeFailed,
                   "cannot encode the picture as ." + extension + " : " + reason);
  std::string why;
  if (!ReplaceFile(path, encoded.pieces, &why)) return Failure(ImageWriteError::kWriteFailed, why);
  return ImageWriteResult{};
}

bool WritePictureFile(const std::string& path, const cv::Mat& bgr) {
  return static_cast<bool>(WriteImageFile(path, bgr));
}

}  // namespace tessaline
