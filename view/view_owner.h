#pragma once
// What the view needs from the window that holds it. The main window
// implements this; keeping it abstract lets the view library stay below the
// application shell (and lets tests give the view a fake owner).

#include <string>

namespace tessaline {

class ViewOwner {
 public:
  virtual ~ViewOwner() = default;
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void SetOutputText(const std::string& text) = 0;
  virtual void UpdateMenuStates() = 0;
  virtual void ToggleFullScreen() = 0;
  virtual bool IsFullScreen() const = 0;
  // The view's GL context lacks what the program needs (`message`, one
  // line, already in the log): the view draws nothing more, and the owner
  // tells the user and ends the program.
  virtual void EndForUnusableGl(const std::string& message) = 0;
};

}  // namespace tessaline
