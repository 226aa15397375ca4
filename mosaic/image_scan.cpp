#include "mosaic/image_scan.h"

#include <cctype>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <unordered_set>

#include "mosaic/stopwatch.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;

bool MatchesAnyPattern(const std::string& path, const std::vector<std::string>& patterns) {
  for (const std::string& pattern : patterns) {
    if (path.find(pattern) != std::string::npos) return true;
  }
  return false;
}

bool EndsWithIgnoringCase(const std::string& path, const std::string& ending) {
  if (path.size() < ending.size()) return false;
  const std::size_t start = path.size() - ending.size();
  for (std::size_t i = 0; i < ending.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[start + i]);
    if (std::tolower(c) != std::tolower(static_cast<unsigned char>(ending[i]))) return false;
  }
  return true;
}

bool HasAnyExtension(const std::string& path, const std::vector<std::string>& extensions) {
  for (const std::string& extension : extensions) {
    if (EndsWithIgnoringCase(path, extension)) return true;
  }
  return false;
}

// True when the entry is a real directory to walk into: symbolic links are
// never followed, whatever they point at.
bool IsWalkableDirectory(const fs::directory_entry& entry) {
  std::error_code error;
  return entry.is_directory(error) && !entry.is_symlink(error);
}

// True when the entry is a file candidate: a regular file or a link to
// one. A FIFO, socket or device named like a picture is not: opening a FIFO
// blocks until someone writes to it, which would hang the load for good.
// The type comes with the listing; only a link costs a stat of its target.
bool IsFileEntry(const fs::directory_entry& entry) {
  std::error_code error;
  return entry.is_regular_file(error);
}

}  // namespace

const std::vector<std::string>& ImagePatterns() {
  static const std::vector<std::string> patterns = {"jpg", "JPG", "jpeg", "JPEG", "png",
                                                    "PNG", "bmp", "BMP",  "gif",  "GIF"};
  return patterns;
}

const std::vector<std::string>& PictureExtensions() {
  static const std::vector<std::string> extensions = {".tif", ".tiff", ".webp", ".heic", ".heif"};
  return extensions;
}

std::vector<std::string> ScanImageFiles(const std::string& dir,
                                        const std::vector<std::string>& patterns) {
  return ScanImageFiles(dir, patterns, {});
}

std::vector<std::string> ScanImageFiles(const std::string& dir,
                                        const std::vector<std::string>& patterns,
                                        const std::vector<std::string>& extensions) {
  std::vector<std::string> found;
  std::error_code error;
  if (dir.empty() || !fs::is_directory(fs::path(dir), error)) return found;
  // One open listing per directory level; the back is the one being read.
  std::vector<fs::directory_iterator> stack;
  stack.emplace_back(fs::path(dir), error);
  if (error) return found;
  while (!stack.empty()) {
    fs::directory_iterator& it = stack.back();
    if (it == fs::directory_iterator()) {
      stack.pop_back();
      continue;
    }
    const fs::directory_entry entry = *it;
    it.increment(error);
    if (error) it = fs::directory_iterator();  // an unreadable rest ends this listing
    if (IsWalkableDirectory(entry)) {
      fs::directory_iterator child(entry.path(), error);
      if (!error) stack.push_back(std::move(child));
    } else {
      // The name first: a library folder holds as many touched-tile and
      // cache files as pictures, and those need no look at their type.
      const std::string path = entry.path().string();
      if ((MatchesAnyPattern(path, patterns) || HasAnyExtension(path, extensions)) &&
          IsFileEntry(entry))
        found.push_back(path);
    }
  }
  return found;
}

std::string ImageNameFromPath(const std::string& path, const std::string& dir) {
  if (path.compare(0, dir.size(), dir) == 0) return path.substr(dir.size());
  return path;
}

std::string ImagesPathOf(const std::string& dir) {
  if (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) return dir;
  return dir + "/";
}

ImageListDiff DiffImageLists(const std::vector<SubImageInfo>& library,
                             const std::vector<std::string>& names, std::ostream& log) {
  Stopwatch stopwatch;
  // Hash sets give the same answers as the linear searches "is there an
  // entry with this name", without their quadratic time.
  std::unordered_set<std::string_view> known;
  known.reserve(library.size());
  for (const SubImageInfo& info : library) known.insert(info.name);
  std::unordered_set<std::string_view> scanned(names.begin(), names.end());
  ImageListDiff diff;
  for (const std::string& name : names) {
    if (known.count(name) == 0) diff.added.push_back(name);
  }
  for (std::size_t i = 0; i < library.size(); ++i) {
    if (scanned.count(library[i].name) == 0) diff.deleted.push_back(static_cast<int>(i));
  }
  stopwatch.Lap("diff");
  stopwatch.PrintAll(log);
  return diff;
}

}  // namespace tessaline
