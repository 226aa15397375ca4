#pragma once
// The line syntax of the INI files the program reads (tessaline.ini and
// tessaline.cfg), parsed in memory so that the store, its tests and the fuzzer
// run the same code.
//
// A line is cleaned before it is looked at: everything from the first ";",
// "#" or "//" on is a comment (also in the middle of a value), then the
// blanks (space, TAB, carriage return) at both ends are trimmed. What remains
// is nothing, a "[section]" header or a "key=value" pair. Section names, keys
// and values are trimmed of the blanks around them and keep the blanks inside
// them: "image_dir = ./My Photos" gives the key image_dir and the value
// "./My Photos", "[ gl ]" the section gl. A comment marker still ends an
// unquoted value, so a path holding "//", "#" or ";" must be quoted.
//
// Quoted values: when the first non-blank character after the "=" is a double
// quote, the value is read from the raw line up to the next unescaped double
// quote, with its blanks and comment markers (nothing inside the quotes is
// trimmed); a backslash takes the next character as it is, except that "\n"
// and "\r" stand for LF and CR. Whatever follows the closing quote is ignored
// like a comment.

#include <string>

namespace tessaline {

struct IniLine {
  enum class Kind {
    kBlank,           // nothing left after cleaning
    kHeader,          // "[section]"; anything after the "]" is ignored
    kPair,            // "key=value"; either side may be empty
    kUnclosedHeader,  // starts with "[" but has no "]"
    kMissingEquals,   // neither a header nor a pair
    kUnclosedQuote,   // a pair whose value opens a quote and never closes it
  };
  Kind kind = Kind::kBlank;
  std::string cleaned;  // the line after comment cutting and trimming
  std::string section;  // kHeader only
  std::string key;      // kPair and kUnclosedQuote: the text before the first "=", trimmed
  // kPair: all the text after the first "=" trimmed, or the quoted text unescaped;
  // kUnclosedQuote: the raw text from the opening quote on.
  std::string value;
};

// The line without its comment and without the blanks at its ends.
std::string CleanIniLine(const std::string& raw);

// Classifies one raw line (without its line feed).
IniLine ParseIniLine(const std::string& raw);

// What a file holds after "key=" for `value`: the value itself when a bare
// value reads back unchanged (every file the program wrote before quoting
// existed stays byte-identical), else the value quoted and escaped.
std::string IniValueText(const std::string& value);

}  // namespace tessaline
