#pragma once
// Replacing a file whole or not at all: the new bytes go to a temporary file
// in the same folder, which is flushed to the disk and then renamed over the
// old one, so a crash, a full disk or a failed write never leaves a file that
// is cut short. POSIX only. Any thread, as long as no two write one path.

#include <string>
#include <string_view>
#include <vector>

namespace tessaline {

// Writes `bytes` as the whole content of `path`. When `path` is a symbolic
// link, the file the link ends at is replaced and the link stays; a file that
// exists keeps its permission bits. False, with the old file untouched and no
// temporary file left, when any step fails or `path` is not a regular file.
bool ReplaceFile(const std::string& path, const std::string& bytes);

// The same with the content given as pieces, written one after the other:
// a file encoded in parts needs no joining copy first.
bool ReplaceFile(const std::string& path, const std::vector<std::string_view>& pieces);

}  // namespace tessaline
