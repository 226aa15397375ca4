#pragma once
// How far a tile library load has come: its stage and the share of that
// stage done. The library gives it (TileLibrary::LoadProgress and its
// progress observer); the status line and the batch program's progress bar
// read it, and both name the stages with LoadStageName.

namespace tessaline {

struct LoadProgress {
  enum class Stage {
    kThumbnails,    // reading the pictures
    kIndex,         // building the feature index
    kTouchedTiles,  // writing the touched-tile files
    kDone,          // past the last stage
  };
  Stage stage = Stage::kThumbnails;
  double fraction = 0.0;  // of the stage, 0 to 1; 0 when the stage has no steps

  bool operator==(const LoadProgress& other) const {
    return stage == other.stage && fraction == other.fraction;
  }
};

// The progress at `value` on the library's count of 0 to 3, one unit a
// stage: a value on a boundary belongs to the stage it ends (1 is the
// thumbnails done), 3 is the touched tiles done, anything above it (or NaN)
// is kDone.
LoadProgress LoadProgressAt(double value);

// "creating thumbnails", "creating kd-tree", "creating tle files"; kDone is
// named as the last stage.
const char* LoadStageName(LoadProgress::Stage stage);

}  // namespace tessaline
