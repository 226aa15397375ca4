#include "app/file_chooser.h"

#include <FL/Fl.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_File_Input.H>

#include <algorithm>

namespace tessaline {
namespace {

// The non-empty pieces of `text` between the `separator`s.
std::vector<std::string> Pieces(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  std::string::size_type start = 0;
  while (start <= text.size()) {
    std::string::size_type end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    if (end > start) pieces.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

// "*.bmp;*.png" gives "*.{bmp,png}", "*.*" and "*" give "*", "*.gif" "*.gif".
std::string PatternExpression(const std::string& patterns) {
  std::vector<std::string> names = Pieces(patterns, ';');
  // Each piece loses its leading "*." (its first two characters); a piece
  // with nothing after them ("*") names no extension.
  for (std::string& name : names) name.erase(0, 2);
  names.erase(std::remove(names.begin(), names.end(), std::string()), names.end());
  if (names.empty()) return "*";
  if (names.size() == 1) return names[0] == "*" ? "*" : "*." + names[0];
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : ",") + name;
  return "*.{" + joined + "}";
}

// The chooser opens with its folder's absolute path selected in the name
// field, so the first key typed replaces it with a relative name; its name
// completion then inserts at offsets into the absolute path and garbles the
// field. With the cursor after the folder's path instead, typed names stay
// absolute. The field has the focus right after show().
void KeepTypedNamesAbsolute() {
  auto* field = dynamic_cast<Fl_File_Input*>(Fl::focus());
  if (field) field->position(field->size());
}

}  // namespace

std::string ChooserPattern(const std::string& filter) {
  const std::vector<std::string> pieces = Pieces(filter, '|');
  std::string pattern;
  for (std::size_t i = 0; i + 1 < pieces.size(); i += 2) {
    if (!pattern.empty()) pattern += '\t';
    pattern += pieces[i] + " (" + PatternExpression(pieces[i + 1]) + ")";
  }
  return pattern;
}

int ShowFileChooser(std::vector<std::string>& paths, const std::string& title,
                    const std::string& filter, bool multi, bool save) {
  int type = multi ? Fl_File_Chooser::MULTI : Fl_File_Chooser::SINGLE;
  if (save) type |= Fl_File_Chooser::CREATE;
  const std::string pattern = ChooserPattern(filter);
  // The chooser keeps pointers to the pattern and title: both outlive it.
  Fl_File_Chooser chooser(".", pattern.c_str(), type, title.c_str());
  chooser.show();
  KeepTypedNamesAbsolute();
  // Modal in effect: the menu command returns only when the chooser closes.
  while (chooser.shown()) Fl::wait();
  for (int i = 1; i <= chooser.count(); ++i) {
    const char* value = chooser.value(i);
    if (value) paths.emplace_back(value);
  }
  return static_cast<int>(paths.size());
}

}  // namespace tessaline
