#include "view/command_text.h"

#include <sstream>

namespace tessaline {

std::string LoadProgressText(double progress) {
  std::ostringstream text;  // default notation: six significant digits
  if (progress <= 1.0)
    text << "creating thumbnails - " << progress * 100.0 << "%";
  else if (progress <= 2.0)
    text << "creating kd-tree";
  else if (progress <= 3.0)
    text << "creating tle files - " << (progress - 2.0) * 100.0 << "%";
  return text.str();
}

int PreviousTileSizeIndex(int index, int count) {
  if (count <= 0) return -1;
  return index <= 0 || index >= count ? count - 1 : index - 1;
}

int NextTileSizeIndex(int index, int count) {
  if (count <= 0) return -1;
  return index < 0 || index >= count - 1 ? 0 : index + 1;
}

}  // namespace tessaline
