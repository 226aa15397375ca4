#pragma once
// Which files are pictures: the one table of picture file types, by
// extension, that the tile scan, drops on the view, the file choosers, the
// result writer and the print export all read. Each row says what the
// program does with the type. The reader (picture_reader.h) tells formats
// by their first bytes; the name only decides which files are offered to
// it, and which encoder a written file gets.
//
// Extensions are lower case, without the dot (take them from a path with
// LowerExtension, settings/paths.h). Pure functions; any thread.

#include <string>
#include <vector>

namespace tessaline {

// The encoders of picture_writer.h.
enum class PictureFormat { kNone, kPng, kJpeg, kBmp, kPpm, kTiff, kWebp, kHeif };

enum class PictureUse {
  kRead,      // tiles, targets and dropped pictures
  kWrite,     // the mosaic picture (WriteImageFile: the view's export, batch --out)
  kSaveList,  // offered by the Save Image chooser (a part of kWrite)
  kPrint,     // a print export streams it (print_sinks.h)
};

// The extensions of `use` in the table's order: for kRead "bmp", "png",
// "jpg", "jpeg", "gif", "tif", "tiff", "webp", "heic", "heif".
std::vector<std::string> PictureExtensions(PictureUse use = PictureUse::kRead);

// True when `extension` is in the table for `use`.
bool IsPictureExtension(const std::string& extension, PictureUse use = PictureUse::kRead);

// The encoder for a written file of this extension; kNone when none.
PictureFormat PictureFormatOf(const std::string& extension);

// A file chooser's pattern list for `use`: "*.bmp;*.png;...".
std::string PictureFilterPatterns(PictureUse use = PictureUse::kRead);

// The extensions of `use` joined by `separator`: "bmp,png,...".
std::string PictureExtensionList(PictureUse use, const std::string& separator);

// The extensions of `use` for a message: ".tif, .tiff or .png".
std::string PictureTypesText(PictureUse use);

}  // namespace tessaline
