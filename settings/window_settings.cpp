#include "settings/window_settings.h"

#include <memory>

namespace tessaline {

const char* const kProgramName = "tessaline";

namespace {

std::unique_ptr<qxINI>& Store() {
  static std::unique_ptr<qxINI> store = std::make_unique<qxINI>();
  return store;
}

}  // namespace

qxINI* WindowSettings() { return Store().get(); }

qxINI& CreateWindowSettings() {
  if (!Store()) Store() = std::make_unique<qxINI>();
  return *Store();
}

void DeleteWindowSettings() { Store().reset(); }

}  // namespace tessaline
