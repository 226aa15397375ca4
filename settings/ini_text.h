#pragma once
// The line syntax of the INI files the program reads (tessaline.ini and
// tessaline.cfg), parsed in memory so that the store, its tests and the fuzzer
// run the same code.
//
// A line is cleaned before it is looked at: everything from the first ";",
// "#" or "//" on is a comment (also in the middle of a value), then every
// space, TAB and carriage return is deleted wherever it stands. What remains
// is nothing, a "[section]" header or a "key=value" pair.

#include <string>

namespace tessaline {

struct IniLine {
  enum class Kind {
    kBlank,           // nothing left after cleaning
    kHeader,          // "[section]"; anything after the "]" is ignored
    kPair,            // "key=value"; either side may be empty
    kUnclosedHeader,  // starts with "[" but has no "]"
    kMissingEquals,   // neither a header nor a pair
  };
  Kind kind = Kind::kBlank;
  std::string cleaned;  // the line after comment cutting and blank removal
  std::string section;  // kHeader only
  std::string key;      // kPair only: the text before the first "="
  std::string value;    // kPair only: all the text after the first "="
};

// The line without its comment and without any space, TAB or CR.
std::string CleanIniLine(const std::string& raw);

// Classifies one raw line (without its line feed).
IniLine ParseIniLine(const std::string& raw);

}  // namespace tessaline
