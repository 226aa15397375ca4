#include "settings/ini_text.h"

#include <algorithm>

namespace tessaline {
namespace {

// Cutting at each marker in turn leaves the text before the earliest one.
void CutAt(std::string& line, const char* marker) {
  const std::string::size_type at = line.find(marker);
  if (at != std::string::npos) line.erase(at);
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

}  // namespace

std::string CleanIniLine(const std::string& raw) {
  std::string line = raw;
  CutAt(line, ";");
  CutAt(line, "#");
  CutAt(line, "//");
  // A CR is a blank too, so a file with CR LF line ends reads like one with LF.
  line.erase(std::remove_if(line.begin(), line.end(), IsBlank), line.end());
  return line;
}

IniLine ParseIniLine(const std::string& raw) {
  IniLine result;
  result.cleaned = CleanIniLine(raw);
  const std::string& line = result.cleaned;
  if (line.empty()) return result;
  if (line[0] == '[') {
    const std::string::size_type close = line.find(']');
    if (close == std::string::npos) {
      result.kind = IniLine::Kind::kUnclosedHeader;
    } else {
      result.kind = IniLine::Kind::kHeader;
      result.section = line.substr(1, close - 1);
    }
    return result;
  }
  const std::string::size_type equals = line.find('=');
  if (equals == std::string::npos) {
    result.kind = IniLine::Kind::kMissingEquals;
    return result;
  }
  result.kind = IniLine::Kind::kPair;
  result.key = line.substr(0, equals);
  result.value = line.substr(equals + 1);
  return result;
}

}  // namespace tessaline
