#pragma once
// Which files are pictures: the one table of picture file types, by
// extension, that the tile scan, drops on the view and the open-image
// chooser all read. The reader (picture_reader.h) tells formats by their
// first bytes; the name only decides which files are offered to it.
//
// Pure functions; any thread.

#include <string>
#include <vector>

namespace tessaline {

// The extensions of the picture types the program reads, lower case and
// without the dot: "bmp", "png", "jpg", "jpeg", "gif", "tif", "tiff", "webp",
// "heic", "heif".
const std::vector<std::string>& PictureExtensions();

// True when `extension` (lower case, without the dot) is in the table.
bool IsPictureExtension(const std::string& extension);

// The extension of the file name at the end of `path`: the text after the
// name's last ".", lower-cased; empty when the name has no ".". Dots in
// folder names do not count; "/" and "\\" both end a folder name.
std::string FileExtension(const std::string& path);

// A file chooser's pattern list for the table: "*.bmp;*.png;...".
std::string PictureFilterPatterns();

}  // namespace tessaline
