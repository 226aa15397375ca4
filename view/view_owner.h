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
};

}  // namespace tessaline
