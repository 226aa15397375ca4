#include "picture/picture_types.h"

#include <algorithm>
#include <cctype>

namespace tessaline {

const std::vector<std::string>& PictureExtensions() {
  static const std::vector<std::string> extensions = {"bmp", "png",  "jpg",  "jpeg", "gif",
                                                      "tif", "tiff", "webp", "heic", "heif"};
  return extensions;
}

bool IsPictureExtension(const std::string& extension) {
  const std::vector<std::string>& table = PictureExtensions();
  return std::find(table.begin(), table.end(), extension) != table.end();
}

std::string FileExtension(const std::string& path) {
  const std::size_t name_start = path.find_last_of("/\\");
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (name_start != std::string::npos && dot < name_start)) return "";
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

std::string PictureFilterPatterns() {
  std::string patterns;
  for (const std::string& extension : PictureExtensions()) {
    if (!patterns.empty()) patterns += ';';
    patterns += "*." + extension;
  }
  return patterns;
}

}  // namespace tessaline
