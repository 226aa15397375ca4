#pragma once
// The process-wide window settings store (tessaline.ini): the main window's
// geometry and the view's display keys. Created on first use, deleted by the
// main window once it has saved it. GUI thread only.

#include <string>

#include "settings/ini_store.h"

namespace tessaline {

// Base name of the program's files: tessaline.ini, tessaline.cfg, tessaline.log.
extern const char* const kProgramName;

// The store, or null once it has been deleted.
qxINI* WindowSettings();
// Creates the store if it does not exist yet.
qxINI& CreateWindowSettings();
void DeleteWindowSettings();

}  // namespace tessaline
