#pragma once
// The sane range of every setting that sizes something (a font, an icon, a
// working image, a grid, a search, a scale that allocates), for both files
// the program reads: tessaline.ini and tessaline.cfg. A hand-edited value
// beyond its range would otherwise crash the font cache, take gigabytes or
// keep the GUI thread busy for seconds; read from a file, it is moved to the
// nearest end of its range (qxINI::MendValues). Pure: no I/O.
//
// The window's geometry is not here: what fits depends on the screens, and
// the main window checks it against them (app/window_geometry.h).

#include <string>

namespace tessaline {

struct SettingBound {
  const char* section;
  const char* key;
  double min;  // inclusive
  double max;  // inclusive
  // False for the sizes of tessaline.cfg that the engine checks itself when
  // it starts (SanitizeMosaicConfig): there a value out of range puts the
  // default back, and a file read leaves it for that check.
  bool mend_when_read = true;
};

// The row of (section, key), or null when the setting has no bound.
const SettingBound* FindSettingBound(const std::string& section, const std::string& key);

// `value` moved into the row's range: below min gives min, above max gives
// max, NaN gives min.
double BoundedValue(const SettingBound& bound, double value);

}  // namespace tessaline
