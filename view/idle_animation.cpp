// IdleAnimation: the toolkit's idle callback and the pause's timeout.

#include "view/idle_animation.h"

#include <FL/Fl.H>

namespace tessaline {

void IdleAnimation::Set(int on) {
  const bool run = on < 0 ? !running_ : on != 0;
  if (run == running_) return;
  if (run) {
    if (!paused_) Fl::add_idle(IdleCallback, this);
  } else {
    Fl::remove_idle(IdleCallback, this);
    Fl::remove_timeout(ResumeCallback, this);
    paused_ = false;
  }
  running_ = run;
}

void IdleAnimation::Pause(double seconds) {
  if (!running_ || paused_ || seconds <= 0.0) return;
  Fl::remove_idle(IdleCallback, this);
  paused_ = true;
  Fl::add_timeout(seconds, ResumeCallback, this);
}

void IdleAnimation::ResumeCallback(void* animation) {
  auto* self = static_cast<IdleAnimation*>(animation);
  self->paused_ = false;
  if (self->running_) Fl::add_idle(IdleCallback, self);
}

void IdleAnimation::IdleCallback(void* animation) {
  static_cast<IdleAnimation*>(animation)->step_();
}

}  // namespace tessaline
