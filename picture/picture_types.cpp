#include "picture/picture_types.h"

namespace tessaline {
namespace {

struct PictureType {
  const char* extension;
  PictureFormat format;  // the encoder of a written file, kNone: not written
  bool read;
  bool save_list;
  bool print;
};

// HEIF is written when a name asks for it, but the Save Image chooser does
// not list it.
constexpr PictureType kTypes[] = {
    {"bmp", PictureFormat::kBmp, true, true, false},
    {"png", PictureFormat::kPng, true, true, true},
    {"jpg", PictureFormat::kJpeg, true, true, true},
    {"jpeg", PictureFormat::kJpeg, true, true, true},
    {"gif", PictureFormat::kNone, true, false, false},
    {"tif", PictureFormat::kTiff, true, true, true},
    {"tiff", PictureFormat::kTiff, true, true, true},
    {"webp", PictureFormat::kWebp, true, true, false},
    {"ppm", PictureFormat::kPpm, false, true, false},
    {"heic", PictureFormat::kHeif, true, false, false},
    {"heif", PictureFormat::kHeif, true, false, false},
};

bool HasUse(const PictureType& type, PictureUse use) {
  switch (use) {
    case PictureUse::kRead:
      return type.read;
    case PictureUse::kWrite:
      return type.format != PictureFormat::kNone;
    case PictureUse::kSaveList:
      return type.save_list;
    case PictureUse::kPrint:
      return type.print;
  }
  return false;
}

}  // namespace

std::vector<std::string> PictureExtensions(PictureUse use) {
  std::vector<std::string> extensions;
  for (const PictureType& type : kTypes)
    if (HasUse(type, use)) extensions.emplace_back(type.extension);
  return extensions;
}

bool IsPictureExtension(const std::string& extension, PictureUse use) {
  for (const PictureType& type : kTypes)
    if (extension == type.extension) return HasUse(type, use);
  return false;
}

PictureFormat PictureFormatOf(const std::string& extension) {
  for (const PictureType& type : kTypes)
    if (extension == type.extension) return type.format;
  return PictureFormat::kNone;
}

std::string PictureExtensionList(PictureUse use, const std::string& separator) {
  std::string list;
  for (const std::string& extension : PictureExtensions(use))
    list += (list.empty() ? "" : separator) + extension;
  return list;
}

std::string PictureFilterPatterns(PictureUse use) {
  return "*." + PictureExtensionList(use, ";*.");
}

std::string PictureTypesText(PictureUse use) {
  const std::vector<std::string> extensions = PictureExtensions(use);
  std::string text;
  for (std::size_t i = 0; i < extensions.size(); ++i) {
    if (i > 0) text += i + 1 == extensions.size() ? " or " : ", ";
    text += "." + extensions[i];
  }
  return text;
}

}  // namespace tessaline
