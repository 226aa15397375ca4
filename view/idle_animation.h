#pragma once
// IdleAnimation: the view's one animation callback. Everything that moves
// (load progress, zoom, fade, auto pilot, live frames) is a step run from
// the toolkit's idle callback, registered only while the animation is on.
// A step may ask for a pause (the zoom's "Sleep "): the idle callback is
// removed and a toolkit timeout brings it back, so events are handled
// meanwhile and the GUI thread never sleeps. GUI thread only.

#include <functional>
#include <utility>

namespace tessaline {

class IdleAnimation {
 public:
  explicit IdleAnimation(std::function<void()> step) : step_(std::move(step)) {}
  // Removes the idle callback and a pending resume.
  ~IdleAnimation() { Set(0); }
  IdleAnimation(const IdleAnimation&) = delete;
  IdleAnimation& operator=(const IdleAnimation&) = delete;

  // 1 on, 0 off, -1 toggle.
  void Set(int on);
  // On (stepping or paused).
  bool Running() const { return running_; }
  // The running animation waits `seconds` before its next step; nothing
  // when it is off, already paused, or `seconds` is not above 0.
  void Pause(double seconds);

 private:
  static void IdleCallback(void* animation);
  static void ResumeCallback(void* animation);

  std::function<void()> step_;
  bool running_ = false;
  bool paused_ = false;  // on, waiting for ResumeCallback
};

}  // namespace tessaline
