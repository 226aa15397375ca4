#include "mosaic/image_write.h"

#include <fcntl.h>
#include <unistd.h>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <vector>

namespace tessaline {
namespace {

namespace fs = std::filesystem;

// Every extension here is encoded by the OpenCV 4.6 of Debian 12 without
// further codec packages.
constexpr const char* kWritableExtensions[] = {".png", ".bmp",  ".jpg",  ".jpeg",
                                               ".tif", ".tiff", ".webp", ".ppm"};

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

bool WriteAll(int fd, const std::vector<uchar>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Creates a fresh temporary file beside `path` that keeps its extension,
// e.g. "dir/.out.png.4711-0.png"; -1 when none can be made. O_EXCL makes the
// name ours even when two writers aim at the same folder.
int CreateTemporary(const fs::path& path, const std::string& extension, std::string& temp) {
  const std::string base = "." + path.filename().string() + "." + std::to_string(::getpid());
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = (path.parent_path() / (base + "-" + std::to_string(attempt) + extension)).string();
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Writes `bytes` to a temporary file and renames it to `path`; on failure
// the temporary is gone and `path` untouched.
ImageWriteResult ReplaceFile(const std::string& path, const std::string& extension,
                             const std::vector<uchar>& bytes) {
  std::string temp;
  const int fd = CreateTemporary(fs::path(path), extension, temp);
  if (fd < 0) return Failure(ImageWriteError::kWriteFailed, std::strerror(errno));
  bool written = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  int error = errno;
  if (::close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written && std::rename(temp.c_str(), path.c_str()) == 0) return ImageWriteResult{};
  if (written) error = errno;
  std::remove(temp.c_str());
  return Failure(ImageWriteError::kWriteFailed, std::strerror(error));
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
  std::vector<uchar> bytes;
  try {
    if (!cv::imencode(extension, bgr, bytes) || bytes.empty())
      return Failure(ImageWriteError::kEncodeFailed, "cannot encode the picture as " + extension);
  } catch (const cv::Exception& e) {
    // e.what() spans several lines; err is the one-line reason.
    return Failure(ImageWriteError::kEncodeFailed,
                   "cannot encode the picture as " + extension + " : " + e.err);
  } catch (const std::exception& e) {
    return Failure(ImageWriteError::kEncodeFailed,
                   "cannot encode the picture as " + extension + " : " + e.what());
  }
  return ReplaceFile(path, extension, bytes);
}

bool WriteImageWithOpenCv(const std::string& path, const cv::Mat& bgr) {
  return static_cast<bool>(WriteImageFile(path, bgr));
}

}  // namespace tessaline
