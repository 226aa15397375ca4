#pragma once
// qxFlDndBox: an invisible box over the view that accepts drags and takes the
// paste of a drop, so that files dropped on the view reach the main window.

#include <FL/Fl_Box.H>

#include <string>

namespace tessaline {

class qxFlDndBox : public Fl_Box {
 public:
  qxFlDndBox(int x, int y, int w, int h);
  ~qxFlDndBox() override;

  int handle(int event) override;

  int Event() const { return event_; }
  const std::string& Text() const { return text_; }

 private:
  static void DeferredCallback(void* box);

  int event_ = 0;
  std::string text_;
  int length_ = 0;
};

}  // namespace tessaline
