#pragma once
// Finding the tile pictures: the recursive scan of the images directory, the
// names the library knows them by, and the comparison of a scan with the
// library that tells which pictures are new and which entries are gone.
//
// Pure functions apart from reading the directory tree and writing the
// timing lines of DiffImageLists; callable from any thread.

#include <iosfwd>
#include <string>
#include <vector>

#include "mosaic/sub_image.h"

namespace tessaline {

// The substrings that make a path a picture candidate, in test order:
// "jpg", "JPG", "jpeg", "JPEG", "png", "PNG", "bmp", "BMP", "gif", "GIF".
const std::vector<std::string>& ImagePatterns();

// Full path strings of the files under `dir` whose whole path (directory
// part included) contains any of `patterns` as a case-sensitive substring.
// The walk is depth-first in the order the directory listing gives, and a
// subdirectory is entered where it is met, before the entries after it.
// Paths are `dir` + "/" + ... as the listing joins them ("dir/" + ... when
// `dir` ends with a separator). Symbolic links to directories are not
// followed (so a link loop cannot make the walk endless) and are not files
// either. Only regular files and links to them count as files: FIFOs,
// sockets and devices never do. A directory that cannot be read is
// skipped. A `dir` that is not an existing directory gives an empty list.
std::vector<std::string> ScanImageFiles(const std::string& dir,
                                        const std::vector<std::string>& patterns);

// The endings that make a file name a picture of the formats phones and
// cameras use beside the old ones, in any letter case: ".tif", ".tiff",
// ".webp", ".heic", ".heif".
const std::vector<std::string>& PictureExtensions();

// ScanImageFiles that also takes a file whose name ends with one of
// `extensions`, compared without regard to letter case.
std::vector<std::string> ScanImageFiles(const std::string& dir,
                                        const std::vector<std::string>& patterns,
                                        const std::vector<std::string>& extensions);

// The library name of a scanned path: the path without the leading `dir`
// when it begins with exactly those bytes (so usually a leading "/"
// remains), otherwise the whole path.
std::string ImageNameFromPath(const std::string& path, const std::string& dir);

// `dir` with "/" appended unless it already ends in "/" or "\\": the prefix
// that, followed by a library name, gives a picture's full path.
std::string ImagesPathOf(const std::string& dir);

// What a scan changes in the library.
struct ImageListDiff {
  std::vector<std::string> added;  // scanned names no entry has, in scan order
  std::vector<int> deleted;        // entries whose name was not scanned, ascending
};

// Compares the library with the scanned names by byte-equal names. Timed:
// writes a "diff" lap and the "total" line to `log` (see Stopwatch).
// Runs in time linear in the two list sizes, so a library of tens of
// thousands of tiles compares in milliseconds.
ImageListDiff DiffImageLists(const std::vector<SubImageInfo>& library,
                             const std::vector<std::string>& names, std::ostream& log);

}  // namespace tessaline
