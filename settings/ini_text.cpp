#include "settings/ini_text.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/trim.hpp>

#include <algorithm>

namespace tessaline {
namespace {

constexpr char kBlanks[] = " \t\r";

// `text` without the blanks at its ends.
std::string Trimmed(const std::string& text) {
  return boost::algorithm::trim_copy_if(text, boost::algorithm::is_any_of(kBlanks));
}

// Where the comment of a line begins, or npos.
std::string::size_type CommentStart(const std::string& line) {
  return std::min({line.find(';'), line.find('#'), line.find("//")});
}

char Unescaped(char c) {
  if (c == 'n') return '\n';
  if (c == 'r') return '\r';
  return c;
}

// Re-reads the value of a pair from the raw line when it is quoted. The
// first "=" of the raw line is the one that split the cleaned line, since
// neither a comment nor the trimmed blanks can hold it.
void ReadQuotedValue(const std::string& raw, IniLine* line) {
  const std::string::size_type open = raw.find_first_not_of(kBlanks, raw.find('=') + 1);
  if (open == std::string::npos || raw[open] != '"') return;
  std::string value;
  for (std::string::size_type i = open + 1; i < raw.size(); ++i) {
    if (raw[i] == '"') {
      line->value = value;
      return;
    }
    if (raw[i] == '\\' && i + 1 < raw.size()) {
      value += Unescaped(raw[++i]);
    } else {
      value += raw[i];
    }
  }
  line->kind = IniLine::Kind::kUnclosedQuote;
  line->value = raw.substr(open);
}

// True when "key=" + value reads back as value without quotes.
bool ReadsBackBare(const std::string& value) {
  if (!value.empty() && value[0] == '"') return false;
  return value.find_first_of(" \t\r\n;#") == std::string::npos &&
         value.find("//") == std::string::npos;
}

}  // namespace

std::string CleanIniLine(const std::string& raw) {
  // A CR is a blank too, so a file with CR LF line ends reads like one with LF.
  return Trimmed(raw.substr(0, CommentStart(raw)));
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
      result.section = Trimmed(line.substr(1, close - 1));
    }
    return result;
  }
  const std::string::size_type equals = line.find('=');
  if (equals == std::string::npos) {
    result.kind = IniLine::Kind::kMissingEquals;
    return result;
  }
  result.kind = IniLine::Kind::kPair;
  result.key = Trimmed(line.substr(0, equals));
  result.value = Trimmed(line.substr(equals + 1));
  ReadQuotedValue(raw, &result);
  return result;
}

std::string IniValueText(const std::string& value) {
  if (ReadsBackBare(value)) return value;
  std::string text = "\"";
  for (const char c : value) {
    if (c == '\n') {
      text += "\\n";
    } else if (c == '\r') {
      text += "\\r";
    } else {
      if (c == '"' || c == '\\') text += '\\';
      text += c;
    }
  }
  return text + '"';
}

}  // namespace tessaline
