#include "app/drop_paths.h"

#include <algorithm>
#include <cctype>

#include "picture/picture_types.h"
#include "settings/paths.h"
#include "video/movie_file.h"

namespace tessaline {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "%XX" becomes the byte XX; a "%" without two hex digits after it stays.
std::string PercentDecoded(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = HexDigit(text[i + 1]);
      const int low = HexDigit(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  });
}

}  // namespace

std::string LocalPathOfUri(const std::string& text) {
  const std::string scheme = "file://";
  if (!StartsWithNoCase(text, scheme)) return text;
  // The host part runs up to the path's first "/"; only this machine's
  // files can be opened.
  const std::size_t path_start = text.find('/', scheme.size());
  if (path_start == std::string::npos) return text;
  const std::string host = text.substr(scheme.size(), path_start - scheme.size());
  const bool local = host.empty() || (host.size() == 9 && StartsWithNoCase(host, "localhost"));
  if (!local) return text;
  return PercentDecoded(text.substr(path_start));
}

std::vector<std::string> DroppedPaths(const std::string& text) {
  std::vector<std::string> paths;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string piece = text.substr(start, end - start);
    if (!piece.empty() && piece.back() == '\r') piece.pop_back();
    if (piece.empty()) break;
    paths.push_back(LocalPathOfUri(piece));
    start = end + 1;
  }
  return paths;
}

std::string DropExtension(const std::string& path) {
  std::string extension = LowerExtension(path);
  extension.erase(std::remove_if(extension.begin(), extension.end(),
                                 [](char c) { return c == ' ' || c == '\0'; }),
                  extension.end());
  return extension;
}

DropKind DropKindOf(const std::string& extension) {
  if (IsMovieExtension(extension)) return DropKind::kMovie;
  return IsPictureExtension(extension) ? DropKind::kImage : DropKind::kNothing;
}

}  // namespace tessaline
