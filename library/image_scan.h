#pragma once
// Finding the tile pictures: the recursive scan of the images directory, the
// names the library knows them by, and the comparison of a scan with the
// library that tells which pictures are new and which entries are gone.
//
// Pure functions apart from reading the directory tree and writing the
// timing lines of DiffImageLists; callable from any thread.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "library/sub_image.h"

namespace tessaline {

// True when the file name at the end of `path` names a tile picture: its
// extension is in the picture table (picture_types.h), in any letter case,
// and the name does not begin with ".". Hidden files are never tiles: the
// program's writers make their temporary files beside their targets under
// hidden names (".beach.tle.Xk3p9QaZ.tmp", ".clip.mp4.Xk3p9QaZ.part.mp4"), and copies from
// other systems bring hidden companions named like pictures ("._IMG_1.jpg")
// that are none. Folder names do not count, so neither a folder named
// "png_tiles" nor one named ".photos" changes what is found inside it.
bool IsTilePictureName(const std::string& path);

// Full path strings of the files under `dir` whose names are tile picture
// names (IsTilePictureName). The walk is depth-first in the order the
// directory listing gives, and a subdirectory is entered where it is met,
// before the entries after it. Paths are `dir` + "/" + ... as the listing
// joins them ("dir/" + ... when `dir` ends with a separator). Symbolic links
// to directories are not followed (so a link loop cannot make the walk
// endless) and are not files either. Only regular files and links to them
// count as files: FIFOs, sockets and devices never do. A directory that
// cannot be read is skipped. A `dir` that is not an existing directory
// gives an empty list.
std::vector<std::string> ScanImageFiles(const std::string& dir);

// The library name of a scanned path: the path without the leading `dir`
// when it begins with exactly those bytes (so usually a leading "/"
// remains), otherwise the whole path.
std::string ImageNameFromPath(const std::string& path, const std::string& dir);

// `dir` without the separators ("/" or "\\") at its end, so that "T" and
// "T/" name one folder with one cache and one set of names; a `dir` of
// separators only gives the first of them (the root stays the root).
std::string WithoutTrailingSeparators(const std::string& dir);

// `dir` with "/" appended unless it already ends in "/" or "\\": the prefix
// that, followed by a library name, gives a picture's full path.
std::string ImagesPathOf(const std::string& dir);

// What a scan changes in the library.
struct ImageListDiff {
  std::vector<std::string> added;  // scanned names no entry has, in scan order
  std::vector<int> deleted;        // entries whose name was not scanned, ascending
  // Names of pictures changed on disk (also in `added`, their entries in
  // `deleted`): read again like new ones.
  std::vector<std::string> changed;
};

// Compares the library with the scanned names by byte-equal names. When
// `stamps` is not empty it holds the stamp of each scanned name (same
// order; none where it could not be had): an entry whose name was scanned
// with a stamp other than its own is changed, and counts as deleted while
// its name counts as added. Entries or names without a stamp are compared
// by name only. Timed: writes a "diff" lap and the "total" line to `log`
// (see Stopwatch). Runs in time linear in the two list sizes, so a library
// of tens of thousands of tiles compares in milliseconds.
ImageListDiff DiffImageLists(const std::vector<SubImageInfo>& library,
                             const std::vector<std::string>& names, std::ostream& log,
                             const std::vector<std::optional<FileStamp>>& stamps = {});

}  // namespace tessaline
