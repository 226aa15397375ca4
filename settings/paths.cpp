#include "settings/paths.h"

#include <cctype>

namespace tessaline {
namespace {

// Where the base name starts.
std::size_t NameStart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

// The position of the base name's last ".", npos when it has none.
std::size_t ExtensionDot(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  return dot == std::string::npos || dot < NameStart(path) ? std::string::npos : dot;
}

}  // namespace

std::string BaseName(const std::string& path) { return path.substr(NameStart(path)); }

std::string FolderOf(const std::string& path) {
  const std::size_t start = NameStart(path);
  if (start == 0) return "";
  return start == 1 ? "/" : path.substr(0, start - 1);
}

std::string LowerExtension(const std::string& path) {
  const std::size_t dot = ExtensionDot(path);
  if (dot == std::string::npos) return "";
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

std::string WithExtension(const std::string& path, const std::string& extension) {
  const std::size_t dot = ExtensionDot(path);
  return (dot == std::string::npos ? path : path.substr(0, dot)) + "." + extension;
}

}  // namespace tessaline
