#include "settings/setting_bounds.h"

namespace tessaline {
namespace {

// Sizes in pixels unless said otherwise. The largest sides are the largest
// texture the GPUs we run on take; fractions are of the view. The engine's
// own sizes (the rows marked false) get their default back when out of range.
constexpr SettingBound kSettingBounds[] = {
    // tessaline.cfg
    {"mosaic", "matching_x", 1, 32, false},  // feature sub-cells per tile, across
    {"mosaic", "matching_y", 1, 32, false},
    {"mosaic", "sub_width", 1, 16384, false},  // the engine also keeps a tile inside the image
    {"mosaic", "sub_height", 1, 16384, false},
    {"mosaic", "search_num", 1, 50000, false},      // neighbours fetched per cell
    {"mosaic", "color_correction", 0, 1},           // a share; also kept in tessaline.ini
    {"mosaic", "repeat_distance", 0, 1000, false},  // cells
    {"mosaic", "max_uses", 0, 1000000, false},      // cells per photo
    {"mosaic", "steadiness", 0, 1},                 // a share of a cell's distance
    {"image", "image_width", 1, 16384, false},
    {"image", "image_height", 1, 16384, false},
    // Times the tile size: the lifted tile and every .tle file beside a photo.
    {"image", "touched_tile_scale", 1, 16},
    {"icon", "icon_width", 0.005, 0.2},  // half an icon's size
    {"icon", "icon_height", 0.005, 0.2},
    {"icon", "icon_top_margin", 0, 1},  // where the row of icons stands
    {"icon", "icon_left_margin", 0, 1},
    // tessaline.ini
    {"gl", "font", 6, 72},      // points at 72 dpi: FTGL caches a bitmap per glyph
    {"mosaic", "alpha", 0, 1},  // the fade steps up to it
};

}  // namespace

const SettingBound* FindSettingBound(const std::string& section, const std::string& key) {
  for (const SettingBound& bound : kSettingBounds)
    if (section == bound.section && key == bound.key) return &bound;
  return nullptr;
}

double BoundedValue(const SettingBound& bound, double value) {
  if (!(value >= bound.min)) return bound.min;
  return value > bound.max ? bound.max : value;
}

}  // namespace tessaline
