#include "picture/image_write.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <filesystem>
#include <vector>

#include "picture/picture_writer.h"
#include "settings/whole_file.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;

// Every extension here has an encoder in picture_writer.h.
constexpr const char* kWritableExtensions[] = {".png",  ".bmp",  ".jpg", ".jpeg", ".tif",
                                               ".tiff", ".webp", ".ppm", ".heic", ".heif"};

// ".png" for "a/b.PNG"; empty when the last path component has no dot.
std::string LowerExtension(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

ImageWriteResult Failure(ImageWriteError error, std::string message) {
  return ImageWriteResult{error, std::move(message)};
}

}  // namespace

bool IsWritableImagePath(const std::string& path) {
  const std::string extension = LowerExtension(path);
  return std::find(std::begin(kWritableExtensions), std::end(kWritableExtensions), extension) !=
         std::end(kWritableExtensions);
}

std::string WritableImageTypes() {
  std::string types;
  for (const char* extension : kWritableExtensions)
    types += (types.empty() ? "" : ", ") + std::string(extension);
  return types;
}

ImageWriteResult WriteImageFile(const std::string& path, const cv::Mat& bgr) {
  if (bgr.empty()) return Failure(ImageWriteError::kEmptyPicture, "no picture to write");
  const std::string extension = LowerExtension(path);
  if (extension.empty())
    return Failure(ImageWriteError::kUnknownType,
                   "the name has no picture type, give one of " + WritableImageTypes());
  if (!IsWritableImagePath(path))
    return Failure(ImageWriteError::kUnknownType, "unknown picture type '" + extension + "'");
  std::error_code ignored;
  const fs::path folder = fs::path(path).parent_path();
  if (!folder.empty() && !fs::is_directory(folder, ignored))
    return Failure(ImageWriteError::kNoFolder, "no folder " + folder.string());
  EncodedPicture encoded;
  std::string reason;
  if (!EncodePicturePieces(FormatForExtension(extension), bgr, encoded, reason))
    return Failure(ImageWriteError::kEncodeFailed,
                   "cannot encode the picture as " + extension + " : " + reason);
  std::string why;
  if (!ReplaceFile(path, encoded.pieces, &why)) return Failure(ImageWriteError::kWriteFailed, why);
  return ImageWriteResult{};
}

bool WriteImageWithOpenCv(const std::string& path, const cv::Mat& bgr) {
  return static_cast<bool>(WriteImageFile(path, bgr));
}

}  // namespace tessaline
