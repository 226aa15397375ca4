#pragma once
// qxFlRadioDialog: a modal list of texts shown as radio buttons; the caller
// shows it, runs Fl::wait until it is hidden, then reads Accepted() and
// Selected(), the index of the chosen text. Selected() starts at the default
// index, which may lie outside the list (then no button is on). Closing the
// window through the window manager counts as Cancel. GUI thread only.

#include <FL/Fl_Window.H>

#include <string>
#include <vector>

class Fl_Button;
class Fl_Group;
class Fl_Round_Button;

namespace tessaline {

class qxFlRadioDialog : public Fl_Window {
 public:
  // Window width max(200, 12 * longest text + 40) and height
  // 20 * items + 80 pixels; `owner` is the window that asked (may be null).
  qxFlRadioDialog(const char* title, const std::vector<std::string>& items, int default_index,
                  Fl_Window* owner);
  ~qxFlRadioDialog() override;

  bool Accepted() const { return accepted_; }
  int Selected() const { return selected_; }
  Fl_Window* Owner() const { return owner_; }

  // The widgets, for tests.
  Fl_Group* Group() const { return group_; }
  const std::vector<Fl_Round_Button*>& Buttons() const { return buttons_; }
  Fl_Button* OkButton() const { return ok_; }
  Fl_Button* CancelButton() const { return cancel_; }

 private:
  void BuildButtons(int default_index);
  static void OnItem(Fl_Widget* button, void* dialog);
  static void OnOk(Fl_Widget*, void* dialog);
  static void OnCancel(Fl_Widget*, void* dialog);

  int selected_;
  Fl_Window* owner_;
  std::vector<std::string> items_;
  bool accepted_ = false;
  Fl_Group* group_ = nullptr;
  std::vector<Fl_Round_Button*> buttons_;
  Fl_Button* ok_ = nullptr;
  Fl_Button* cancel_ = nullptr;
};

}  // namespace tessaline
