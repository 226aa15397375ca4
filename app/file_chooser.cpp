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
Fl_File_Input* KeepTypedNamesAbsolute() {
  auto* field = dynamic_cast<Fl_File_Input*>(Fl::focus());
  if (field) field->position(field->size());
  return field;
}

// A name typed as an absolute path would land after the folder's path the
// field starts with ("/home/me//srv/out.png", which the chooser folds into
// a path inside the folder). So a "/" typed as the first key of a name
// clears the folder's path first, and the chooser's name completion is
// turned off for the rest of the name: it reads partial absolute names
// against the process's folder and garbles them. ("~" needs nothing: the
// chooser expands "folder/~/name" to the home folder itself.)
//
// A "/" in a relative name makes the chooser read that folder while it
// handles the key, and the read runs the event loop: keys typed meanwhile
// (a busy program, a fast typist) are handled inside it, after which the
// chooser puts the cursor back where it was before them (and may complete
// the name it had then), so that the keys that follow land in the middle of
// the name ("sub/un.pngr"). So a key inside which others were handled
// leaves the field as the last of them did.
struct ChooserKeys {
  Fl_File_Input* field = nullptr;
  std::string folder;
  Fl_Event_Dispatch next = nullptr;
  int handled = 0;         // keys of the field handled so far
  std::string last_value;  // the text, cursor and mark the last handled key left
  int last_position = 0;
  int last_mark = 0;
};
ChooserKeys chooser_keys;

int Dispatch(int event, Fl_Window* window) {
  return chooser_keys.next ? chooser_keys.next(event, window) : Fl::handle_(event, window);
}

void ClearFolderBeforeAbsoluteName(Fl_File_Input* field) {
  if (Fl::event_text()[0] == '/' && field->position() == field->size() &&
      chooser_keys.folder == field->value()) {
    field->value("");
    field->when(FL_WHEN_ENTER_KEY_ALWAYS);
  }
}

int HandleChooserEvent(int event, Fl_Window* window) {
  ChooserKeys& keys = chooser_keys;
  Fl_File_Input* field = keys.field;
  if (event != FL_KEYBOARD || !field || Fl::focus() != field) return Dispatch(event, window);
  ClearFolderBeforeAbsoluteName(field);
  const int handled_before = keys.handled;
  const int result = Dispatch(event, window);
  if (keys.handled != handled_before) {
    field->value(keys.last_value.c_str());
    field->position(keys.last_position, keys.last_mark);
  }
  keys.last_value = field->value() ? field->value() : "";
  keys.last_position = field->position();
  keys.last_mark = field->mark();
  ++keys.handled;
  return result;
}

// Installs the hook for one chooser's lifetime.
class ChooserKeyHook {
 public:
  explicit ChooserKeyHook(Fl_File_Input* field) {
    if (!field) return;
    chooser_keys = ChooserKeys();
    chooser_keys.field = field;
    chooser_keys.folder = field->value() ? field->value() : "";
    chooser_keys.next = Fl::event_dispatch();
    Fl::event_dispatch(HandleChooserEvent);
  }
  ~ChooserKeyHook() {
    if (!chooser_keys.field) return;
    Fl::event_dispatch(chooser_keys.next);
    chooser_keys = ChooserKeys();
  }
  ChooserKeyHook(const ChooserKeyHook&) = delete;
  ChooserKeyHook& operator=(const ChooserKeyHook&) = delete;
};

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
  const ChooserKeyHook hook(KeepTypedNamesAbsolute());
  // Modal in effect: the menu command returns only when the chooser closes.
  while (chooser.shown()) Fl::wait();
  for (int i = 1; i <= chooser.count(); ++i) {
    const char* value = chooser.value(i);
    if (value) paths.emplace_back(value);
  }
  return static_cast<int>(paths.size());
}

}  // namespace tessaline
