#pragma once
// The mosaic configuration: the values of tessaline.cfg. The program keeps
// one copy (`Config()`), bound to the configuration keys by the view and read
// directly by the view and the engine; the engine writes the sizes it uses
// back into it, so a later save stores the sizes last in use. GUI thread,
// except that the load worker reads it while the GUI thread waits.

#include <iosfwd>
#include <string>

#include "library/tile_params.h"

namespace tessaline {

class qxINI;

struct MosaicConfig {
  int matching_x = 2;                    // columns of a tile's colour feature grid
  int matching_y = 2;                    // rows of the colour feature grid
  int sub_width = 32;                    // tile (cell) width in working-image pixels
  int sub_height = 18;                   // tile (cell) height
  int search_num = 1;                    // nearest tiles fetched per cell
  std::string sub_scale_list = "32,18";  // offered tile sizes: w,h,w,h...
  std::string image_default;             // default target picture
  std::string image_dir = "./images";    // the tile folder
  int image_width = 3840;                // working-image width in pixels
  int image_height = 2160;
  double touched_tile_scale = 7.0;  // enlargement of the lifted tile and .tle files
  double icon_width = 0.03;         // icon size and margins, fractions of the view
  double icon_height = 0.03;
  double icon_top_margin = 0.04;
  double icon_left_margin = 0.96;
  double color_correction = 0.0;  // share of each tile moved to its cell's colour, 0..1
  int repeat_distance = 0;        // cells within which no photo repeats; 0: no limit
  int max_uses = 0;               // cells one photo may fill in a mosaic; 0: no cap
  bool use_all = false;           // every photo in the mosaic (once each when cells are fewer)
  // Share by which a fresh tile must come nearer than a live frame's tile
  // of the frame before to replace it, 0..1; 0: every frame matched afresh.
  double steadiness = 0.3;
};

// The tile shape of `config`, as the tile library reads it at every load.
TileLibraryParams LibraryParams(const MosaicConfig& config);

// The program-wide configuration values.
MosaicConfig& Config();

// Binds the keys of tessaline.cfg to `config`, in file order (the fifteen
// original keys, then color_correction, repeat_distance, max_uses, use_all
// and steadiness); each variable is set to its key's default.
void RegisterMosaicKeys(qxINI& store, MosaicConfig& config);

// Replaces sizes that the engine cannot work with (outside the ranges of the
// settings table, settings/setting_bounds.h, or a tile larger than the
// working image) and a colour correction, a repeat distance, a cap or a
// steadiness outside its range by their defaults, logging one line per
// value. Values set after a
// file was read (the preference dialog, the batch's options) come here;
// those read from a file were already brought into range as they were read.
// Returns the number of values replaced.
int SanitizeMosaicConfig(MosaicConfig& config, std::ostream& log);

}  // namespace tessaline
