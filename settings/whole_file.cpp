#include "settings/whole_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <random>
#include <system_error>

namespace tessaline {
namespace {

namespace fs = std::filesystem;

// The kernel's own limit on links followed in one path lookup.
constexpr int kMaxLinks = 40;
constexpr int kMaxTemporaryNames = 100;
// The longest file name (not path) the usual file systems take (NAME_MAX).
constexpr std::size_t kMaxNameBytes = 255;
constexpr std::size_t kRandomChars = 8;

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

// Letters and digits that no one can guess in advance, as mkstemp uses.
std::string RandomPart() {
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[kRandomChars];
  if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    std::random_device device;
    for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(device());
  }
  std::string part;
  for (unsigned char byte : bytes) part += kChars[byte % (sizeof kChars - 1)];
  return part;
}

// `text` cut to at most `bytes`, never inside a UTF-8 sequence.
std::string CutToBytes(const std::string& text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) --bytes;
  return text.substr(0, bytes);
}

// ".NAME.RANDOM" + suffix beside `target`: the target's name is shortened
// so that the whole name fits a file system's limit.
std::string TemporaryName(const fs::path& target, std::string suffix) {
  const std::size_t fixed = 2 + kRandomChars;  // the two dots and the random part
  if (fixed + suffix.size() > kMaxNameBytes) suffix = ".tmp";
  const std::string base =
      CutToBytes(target.filename().string(), kMaxNameBytes - fixed - suffix.size());
  return (target.parent_path() / ("." + base + "." + RandomPart() + suffix)).string();
}

bool WriteAll(int fd, std::string_view bytes) {
  std::string::size_type done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written == 0) errno = ENOSPC;
    if (written <= 0) return false;
    done += static_cast<std::string::size_type>(written);
  }
  return true;
}

}  // namespace

std::string FileErrorText(int error_number) {
  switch (error_number) {
    case ENOSPC:
      return "the disk is full";
    case EDQUOT:
      return "the disk quota is used up";
    case EFBIG:
      return "the file size limit is reached";
    case EACCES:
    case EPERM:
      return "permission denied";
    case EROFS:
      return "the disk is read-only";
    case ENOENT:
    case ENOTDIR:
      return "the folder does not exist";
    default:
      break;
  }
  std::string text = std::error_code(error_number, std::generic_category()).message();
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

TemporaryFile::TemporaryFile(const std::string& target, const std::string& suffix) {
  fs::path resolved = target;
  if (target.empty() || !ResolveLinks(&resolved)) {
    error_ = target.empty() ? "no file name" : "a symbolic link that leads nowhere";
    return;
  }
  struct stat old {};
  exists_ = stat(resolved.c_str(), &old) == 0;
  // Renaming over a device or a folder would not write it but replace it.
  if (exists_ && !S_ISREG(old.st_mode)) {
    error_ = "it is not a plain file";
    return;
  }
  mode_ = old.st_mode & 07777;
  target_ = resolved.string();
  for (int attempt = 0; attempt < kMaxTemporaryNames; ++attempt) {
    const std::string name = TemporaryName(resolved, suffix);
    // O_EXCL: whatever already has the name, a link too, is left alone.
    fd_ = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      name_ = name;
      return;
    }
    if (errno != EEXIST) break;
  }
  Fail(errno);
}

TemporaryFile::~TemporaryFile() {
  if (fd_ >= 0) close(fd_);
  if (!committed_ && !name_.empty()) unlink(name_.c_str());
}

bool TemporaryFile::Fail(int error_number) {
  error_ = FileErrorText(error_number);
  return false;
}

bool TemporaryFile::Write(std::string_view bytes) {
  if (fd_ < 0) return false;
  return WriteAll(fd_, bytes) || Fail(errno);
}

bool TemporaryFile::CanGrow() {
  struct stat now {};
  if (fd_ < 0) return false;
  if (fstat(fd_, &now) != 0) return Fail(errno);
  const std::string block(now.st_blksize > 0 ? static_cast<std::size_t>(now.st_blksize) : 4096,
                          '\0');
  off_t at = now.st_size;
  std::size_t done = 0;
  int error_number = 0;
  while (done < block.size()) {
    const ssize_t written = pwrite(fd_, block.data() + done, block.size() - done, at);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error_number = written == 0 ? ENOSPC : errno;
      break;
    }
    done += static_cast<std::size_t>(written);
    at += written;
  }
  if (ftruncate(fd_, now.st_size) != 0) return Fail(errno);
  return error_number == 0 || Fail(error_number);
}

bool TemporaryFile::Commit() {
  if (fd_ < 0) return false;
  bool ok = (!exists_ || fchmod(fd_, static_cast<mode_t>(mode_)) == 0) && fsync(fd_) == 0;
  int error_number = errno;
  if (close(fd_) != 0 && ok) {
    ok = false;
    error_number = errno;
  }
  fd_ = -1;
  if (ok && rename(name_.c_str(), target_.c_str()) != 0) {
    ok = false;
    error_number = errno;
  }
  if (!ok) return Fail(error_number);
  committed_ = true;
  return true;
}

bool ReplaceFile(const std::string& path, const std::string& bytes, std::string* reason) {
  return ReplaceFile(path, std::vector<std::string_view>{bytes}, reason);
}

bool ReplaceFile(const std::string& path, const std::vector<std::string_view>& pieces,
                 std::string* reason) {
  TemporaryFile file(path);
  bool ok = file.Descriptor() >= 0;
  for (std::string_view piece : pieces) ok = ok && file.Write(piece);
  ok = ok && file.Commit();
  if (!ok && reason != nullptr) *reason = file.Error();
  return ok;
}

}  // namespace tessaline
