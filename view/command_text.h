#pragma once
// The view's commands, the status line's load progress and walking the tile
// size list, as functions of their inputs. No widgets, GL or engine: tests
// call them directly.

#include <string>
#include <vector>

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

// The status text for the load progress p (0 to 3): thumbnails up to 1, the
// k-d tree up to 2, the enlarged tile files up to 3, nothing beyond.
// Percentages in the default stream notation (six significant digits).
std::string LoadProgressText(double progress);

// Neighbouring entries of a list of `count` tile sizes, wrapping around at
// both ends; -1 for an empty list.
int PreviousTileSizeIndex(int index, int count);
int NextTileSizeIndex(int index, int count);

}  // namespace tessaline
