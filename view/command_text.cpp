#include "view/command_text.h"

#include <sstream>

namespace tessaline {

std::string LoadProgressText(const LoadProgress& progress) {
  if (progress.stage == LoadProgress::Stage::kDone) return "";
  std::ostringstream text;  // default notation: six significant digits
  text << LoadStageName(progress.stage);
  if (progress.stage != LoadProgress::Stage::kIndex)
    text << " - " << progress.fraction * 100.0 << "%";
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
