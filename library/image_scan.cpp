#include "library/image_scan.h"

#include <filesystem>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "picture/picture_types.h"
#include "settings/paths.h"
#include "settings/stopwatch.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;

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

bool IsTilePictureName(const std::string& path) {
  const std::string name = BaseName(path);
  if (!name.empty() && name[0] == '.') return false;
  return IsPictureExtension(LowerExtension(name));
}

std::vector<std::string> ScanImageFiles(const std::string& dir) {
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
      if (IsTilePictureName(path) && IsFileEntry(entry)) found.push_back(path);
    }
  }
  return found;
}

std::string ImageNameFromPath(const std::string& path, const std::string& dir) {
  if (path.compare(0, dir.size(), dir) == 0) return path.substr(dir.size());
  return path;
}

std::string WithoutTrailingSeparators(const std::string& dir) {
  const std::size_t last = dir.find_last_not_of("/\\");
  if (last == std::string::npos) return dir.substr(0, 1);
  return dir.substr(0, last + 1);
}

std::string ImagesPathOf(const std::string& dir) {
  if (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) return dir;
  return dir + "/";
}

ImageListDiff DiffImageLists(const std::vector<SubImageInfo>& library,
                             const std::vector<std::string>& names, std::ostream& log,
                             const std::vector<std::optional<FileStamp>>& stamps) {
  Stopwatch stopwatch;
  // Hash tables give the same answers as the linear searches "is there an
  // entry with this name", without their quadratic time.
  std::unordered_map<std::string_view, const SubImageInfo*> known;
  known.reserve(library.size());
  for (const SubImageInfo& info : library) known.emplace(info.name, &info);
  std::unordered_set<std::string_view> scanned;
  scanned.reserve(names.size());
  ImageListDiff diff;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const auto entry = known.find(names[i]);
    const bool changed = entry != known.end() && i < stamps.size() && stamps[i] &&
                         entry->second->stamp && *entry->second->stamp != *stamps[i];
    if (changed) diff.changed.push_back(names[i]);
    if (entry == known.end() || changed) {
      diff.added.push_back(names[i]);
    } else {
      scanned.insert(names[i]);
    }
  }
  // A changed picture's entry is gone like one whose file is.
  for (std::size_t i = 0; i < library.size(); ++i) {
    if (scanned.count(library[i].name) == 0) diff.deleted.push_back(static_cast<int>(i));
  }
  stopwatch.Lap("diff");
  stopwatch.PrintAll(log);
  return diff;
}

}  // namespace tessaline
