#include "settings/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace tessaline {
namespace {

namespace fs = std::filesystem;

// The kernel's own limit on links followed in one path lookup.
constexpr int kMaxLinks = 40;
constexpr int kMaxTemporaryNames = 100;

// Follows `*path` through symbolic links to the file they end at, which need
// not exist yet. False for a loop or an unreadable link.
bool ResolveLinks(fs::path* path) {
  std::error_code error;
  for (int i = 0; i < kMaxLinks; ++i) {
    if (!fs::is_symlink(fs::symlink_status(*path, error))) return true;
    const fs::path target = fs::read_symlink(*path, error);
    if (error) return false;
    // A relative link is relative to the folder the link stands in.
    *path = target.is_absolute() ? target : path->parent_path() / target;
  }
  return false;
}

// Creates a new, empty file beside `target`, named after it and this process,
// and opens it for writing; -1 when none can be made (e.g. a read-only folder).
int CreateTemporary(const fs::path& target, std::string* name) {
  const std::string stem = "." + target.filename().string() + "." + std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < kMaxTemporaryNames; ++attempt) {
    *name = (target.parent_path() / (stem + std::to_string(attempt) + ".tmp")).string();
    // O_EXCL: a name left over by a crashed run is never written through.
    const int fd = open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool WriteAll(int fd, std::string_view bytes) {
  std::string::size_type done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<std::string::size_type>(written);
  }
  return true;
}

}  // namespace

bool ReplaceFile(const std::string& path, const std::string& bytes) {
  return ReplaceFile(path, std::vector<std::string_view>{bytes});
}

bool ReplaceFile(const std::string& path, const std::vector<std::string_view>& pieces) {
  fs::path target = path;
  if (path.empty() || !ResolveLinks(&target)) return false;
  struct stat old {};
  const bool exists = stat(target.c_str(), &old) == 0;
  // Renaming over a device or a folder would not write it but replace it.
  if (exists && !S_ISREG(old.st_mode)) return false;
  std::string temporary;
  const int fd = CreateTemporary(target, &temporary);
  if (fd < 0) return false;
  bool ok = !exists || fchmod(fd, old.st_mode & 07777) == 0;
  for (std::string_view piece : pieces) ok = ok && WriteAll(fd, piece);
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temporary.c_str());
  return ok;
}

}  // namespace tessaline
