#pragma once
// Replacing a file whole or not at all: the new bytes go to a temporary file
// in the same folder, which is flushed to the disk and then renamed over the
// old one, so a crash, a full disk or a failed write never leaves a file that
// is cut short. POSIX only. Any thread, as long as no two write one path.
//
// Every writer of the program makes its temporary file with TemporaryFile:
// a new name with a random part, created exclusively (O_CREAT | O_EXCL), so
// a file or a symbolic link already under that name is never written
// through, and only a file this object made is ever removed.

#include <string>
#include <string_view>
#include <vector>

namespace tessaline {

// A fresh file beside `target` that is to become the target's next content:
// renamed over the target by Commit, removed when dropped uncommitted.
//
// When `target` is a symbolic link, the file the link ends at is replaced
// and the link stays; a file that exists keeps its permission bits, a new one
// gets the usual ones (0666 less the umask). The temporary's name is hidden
// (a leading dot), named after the target (shortened so that the whole name
// stays within 255 bytes), and ends in `suffix`: a writer that picks its
// format by the extension of the path it is given needs it (".part.avi").
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& target, const std::string& suffix = ".tmp");
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Open for writing from creation to Commit; -1 when no file could be made
  // (Error() says why) or after Commit.
  int Descriptor() const { return fd_; }
  // The temporary's path, for a library that opens files by name itself.
  const std::string& Name() const { return name_; }
  // Appends `bytes` at the descriptor; false with Error() set.
  bool Write(std::string_view bytes);
  // Whether the file can still grow by one block of the disk: for a library
  // that writes by name and does not report failed writes, the sign that
  // its file was cut short by a full disk or the file size limit. False with
  // Error() set; the file's content is left as it was.
  bool CanGrow();
  // Flushes the file to the disk and renames it over the target; false with
  // Error() set, the temporary then removed and the target as it was.
  bool Commit();
  // The last failure as a short phrase ("the disk is full"); empty if none.
  const std::string& Error() const { return error_; }

 private:
  bool Fail(int error_number);

  std::string target_;  // the file the links end at
  std::string name_;
  std::string error_;
  int fd_ = -1;
  bool exists_ = false;  // whether the target was there already
  unsigned mode_ = 0;    // its permission bits
  bool committed_ = false;
};

// Why a file operation that set `error_number` (an errno value) failed, as
// a short phrase for a message: "the disk is full", "permission denied".
std::string FileErrorText(int error_number);

// Writes `bytes` as the whole content of `path` through a TemporaryFile.
// False, with the old file untouched and no temporary file left, when any
// step fails or `path` is not a regular file; `reason` (when given) then
// says why.
bool ReplaceFile(const std::string& path, const std::string& bytes, std::string* reason = nullptr);

// The same with the content given as pieces, written one after the other:
// a file encoded in parts needs no joining copy first.
bool ReplaceFile(const std::string& path, const std::vector<std::string_view>& pieces,
                 std::string* reason = nullptr);

}  // namespace tessaline
