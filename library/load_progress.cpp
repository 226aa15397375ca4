#include "library/load_progress.h"

namespace tessaline {

LoadProgress LoadProgressAt(double value) {
  using Stage = LoadProgress::Stage;
  if (value <= 1.0) return {Stage::kThumbnails, value};
  if (value <= 2.0) return {Stage::kIndex, value - 1.0};
  if (value <= 3.0) return {Stage::kTouchedTiles, value - 2.0};
  return {Stage::kDone, 1.0};
}

const char* LoadStageName(LoadProgress::Stage stage) {
  switch (stage) {
    case LoadProgress::Stage::kThumbnails:
      return "creating thumbnails";
    case LoadProgress::Stage::kIndex:
      return "creating kd-tree";
    case LoadProgress::Stage::kTouchedTiles:
    case LoadProgress::Stage::kDone:
      break;
  }
  return "creating tle files";
}

}  // namespace tessaline
