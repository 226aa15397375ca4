#pragma once
// A fresh folder under the test temporary directory, removed with all its
// contents when the object goes; small helpers that fill it; and a file
// size limit that stands for a full disk.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <csignal>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tessaline {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = ::testing::TempDir() + "/tessaline_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot make " << pattern;
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

// While it lives, no file of the process grows past `bytes`: a write there
// fails as on a full disk (EFBIG), its signal ignored as the programs do.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    if (getrlimit(RLIMIT_FSIZE, &old_) != 0) ADD_FAILURE() << "no file size limit to read";
    rlimit small = old_;
    small.rlim_cur = bytes;
    if (setrlimit(RLIMIT_FSIZE, &small) != 0) ADD_FAILURE() << "cannot limit the file size";
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit old_{};
  void (*old_handler_)(int) = SIG_DFL;
};

inline std::size_t FolderEntryCount(const std::string& folder) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tessaline
