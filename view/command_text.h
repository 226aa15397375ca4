#pragma once
// The view's commands, the status line's load progress and walking the tile
// size list, as functions of their inputs. No widgets, GL or engine: tests
// call them directly.

#include <string>
#include <vector>

#include "library/load_progress.h"

namespace tessaline {

enum class ViewCommand {
  kNone,
  kGenerate,
  kRandom,
  kPreference,
  kAutoPilot,
  kUpdateImages,
  kChooseImagesDir,
  kCameraInput,
  kTileSize,
};

// The status text for the load progress: the stage's name, and for the
// thumbnails and the touched tiles the share done in per cent in the default
// stream notation (six significant digits); nothing once the load is done.
std::string LoadProgressText(const LoadProgress& progress);

// Neighbouring entries of a list of `count` tile sizes, wrapping around at
// both ends; -1 for an empty list.
int PreviousTileSizeIndex(int index, int count);
int NextTileSizeIndex(int index, int count);

}  // namespace tessaline
