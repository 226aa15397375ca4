#pragma once
// The texts of the view's command side, as functions of their inputs: which
// command a menu or button text names, the status line's load progress, and
// walking the tile size list. No widgets, GL or engine: tests call them
// directly.

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

// The command a text names. The words are searched in a fixed order
// ("Generate", "Random", "Preference", "Auto Pilot", "Update images",
// "Choose images dir", "Camera Input", "Tile size/"); the first found wins,
// so a menu path with several of them is read the same way every time.
ViewCommand ParseViewCommand(const std::string& text);

// The index of the first label (in list order) that occurs in `text`, or -1.
int FindTileSizeLabel(const std::string& text, const std::vector<std::string>& labels);

// The status text for the load progress p (0 to 3): thumbnails up to 1, the
// k-d tree up to 2, the enlarged tile files up to 3, nothing beyond.
// Percentages in the default stream notation (six significant digits).
std::string LoadProgressText(double progress);

// Neighbouring entries of a list of `count` tile sizes, wrapping around at
// both ends; -1 for an empty list.
int PreviousTileSizeIndex(int index, int count);
int NextTileSizeIndex(int index, int count);

}  // namespace tessaline
