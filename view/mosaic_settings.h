#pragma once
// MosaicSettings: the mosaic values the preference dialog edits, taken
// from and stored back into the mosaic configuration. Pure data and
// comparisons: no widgets, no GL.

#include <string>

#include "mosaic/mosaic_config.h"

namespace tessaline {

struct MosaicSettings {
  int image_width = 0;  // working image, pixels
  int image_height = 0;
  int sub_width = 0;  // tile size, working-image pixels
  int sub_height = 0;
  int matching_x = 0;  // feature grid per tile
  int matching_y = 0;
  int search_num = 0;          // nearest tiles fetched per cell
  std::string sub_scale_list;  // offered tile sizes "w,h,w,h..."
  std::string image_dir;       // the tile folder
  std::string image_default;   // default target picture
  int repeat_distance = 0;     // cells within which no photo repeats; 0: no limit
  int max_uses = 0;            // cells one photo may fill; 0: no cap
  bool use_all = false;        // every photo in the mosaic
};

// The dialog's values as `config` holds them now.
MosaicSettings CollectMosaicSettings(const MosaicConfig& config);

// Writes every value of `settings` into `config`; the other keys stay.
void StoreMosaicSettings(const MosaicSettings& settings, MosaicConfig& config);

// True when a value the engine is built around (working image size, tile
// size, matching grid, neighbours searched) differs: the engine must then be
// made anew. The list and the two paths do not count.
bool EngineShapeChanged(const MosaicSettings& before, const MosaicSettings& after);

// True when a value that only steers the choice of tiles differs (the repeat
// distance, the cap per photo, the every-photo rule): the engine and its
// library stay, the mosaic is made again.
bool AssignmentRuleChanged(const MosaicSettings& before, const MosaicSettings& after);

// Why the engine could not work with `settings` stored into a copy of
// `config` (after the engine's own mending of out-of-range values), for a
// GPU whose textures are at most `max_texture_side` per side; empty when it
// could.
std::string SettingsRefusal(const MosaicSettings& settings, const MosaicConfig& config,
                            int max_texture_side);

}  // namespace tessaline
