#pragma once
// Entry points called by FLTK (callbacks, idle, event forwarding, draw) run
// their work through GuardEvent: an exception thrown below (OpenCV, the
// standard library) is logged as one line and goes no further, so it never
// unwinds through the toolkit's event loop. GUI thread.

#include <exception>
#include <ostream>

#include "settings/log_stream.h"

namespace tessaline {

// Runs `work`; on an exception logs "error : <what> : <reason>" and returns
// false.
template <typename Work>
bool GuardEvent(const char* what, Work&& work) {
  try {
    work();
    return true;
  } catch (const std::exception& error) {
    view_log() << "error : " << what << " : " << error.what() << std::endl;
  } catch (...) {
    view_log() << "error : " << what << " : unknown failure" << std::endl;
  }
  return false;
}

}  // namespace tessaline
