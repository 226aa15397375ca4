#include "mosaic/mosaic_config.h"

#include <cassert>
#include <ostream>

#include "settings/ini_store.h"
#include "settings/setting_bounds.h"

namespace tessaline {

TileLibraryParams LibraryParams(const MosaicConfig& config) {
  TileLibraryParams params;
  params.matching_x = config.matching_x;
  params.matching_y = config.matching_y;
  params.sub_width = config.sub_width;
  params.sub_height = config.sub_height;
  params.touched_tile_scale = config.touched_tile_scale;
  return params;
}

MosaicConfig& Config() {
  static MosaicConfig config;
  return config;
}

void RegisterMosaicKeys(qxINI& store, MosaicConfig& c) {
  const MosaicConfig d;
  store.Register("mosaic", "matching_x", &c.matching_x, d.matching_x);
  store.Register("mosaic", "matching_y", &c.matching_y, d.matching_y);
  store.Register("mosaic", "sub_width", &c.sub_width, d.sub_width);
  store.Register("mosaic", "sub_height", &c.sub_height, d.sub_height);
  store.Register("mosaic", "search_num", &c.search_num, d.search_num);
  store.Register("mosaic", "sub_scale_list", &c.sub_scale_list, d.sub_scale_list);
  store.Register("image", "image_default", &c.image_default, d.image_default);
  store.Register("image", "image_dir", &c.image_dir, d.image_dir);
  store.Register("image", "image_width", &c.image_width, d.image_width);
  store.Register("image", "image_height", &c.image_height, d.image_height);
  store.Register("image", "touched_tile_scale", &c.touched_tile_scale, d.touched_tile_scale);
  store.Register("icon", "icon_width", &c.icon_width, d.icon_width);
  store.Register("icon", "icon_height", &c.icon_height, d.icon_height);
  store.Register("icon", "icon_top_margin", &c.icon_top_margin, d.icon_top_margin);
  store.Register("icon", "icon_left_margin", &c.icon_left_margin, d.icon_left_margin);
  store.Register("mosaic", "color_correction", &c.color_correction, d.color_correction);
  store.Register("mosaic", "repeat_distance", &c.repeat_distance, d.repeat_distance);
  store.Register("mosaic", "max_uses", &c.max_uses, d.max_uses);
  store.Register("mosaic", "use_all", &c.use_all, d.use_all);
  store.Register("mosaic", "steadiness", &c.steadiness, d.steadiness);
}

namespace {

// The row of the settings table for a key of tessaline.cfg.
const SettingBound& BoundOf(const char* section, const char* key) {
  const SettingBound* bound = FindSettingBound(section, key);
  assert(bound != nullptr && "every checked size has a row in the settings table");
  return *bound;
}

int MaxOf(const char* section, const char* key) {
  return static_cast<int>(BoundOf(section, key).max);
}

// Puts the default back when `value` is below 1 or above `limit`.
bool ReplaceOutOfRange(int& value, int default_value, int limit, const char* key,
                       const char* limit_key, std::ostream& log) {
  if (value >= 1 && value <= limit) return false;
  log << "invalid " << key << " : " << value;
  if (value >= 1) log << " (larger than " << limit_key << " " << limit << ")";
  log << "; the default " << default_value << " is used" << std::endl;
  value = default_value;
  return true;
}

// Puts the default back when `value` lies outside the range of `key` (a
// share; NaN lies outside).
bool ReplaceOutsideShare(double& value, double default_value, const char* key, std::ostream& log) {
  const SettingBound& share = BoundOf("mosaic", key);
  if (value >= share.min && value <= share.max) return false;
  log << "invalid " << key << " : " << value << "; the default " << default_value << " is used"
      << std::endl;
  value = default_value;
  return true;
}

}  // namespace

int SanitizeMosaicConfig(MosaicConfig& c, std::ostream& log) {
  const MosaicConfig d;
  // The ranges are those of the settings table (settings/setting_bounds.h);
  // a tile must also fit in the working image.
  int replaced = 0;
  replaced += ReplaceOutOfRange(c.image_width, d.image_width, MaxOf("image", "image_width"),
                                "image_width", "the maximum", log);
  replaced += ReplaceOutOfRange(c.image_height, d.image_height, MaxOf("image", "image_height"),
                                "image_height", "the maximum", log);
  replaced +=
      ReplaceOutOfRange(c.sub_width, d.sub_width, c.image_width, "sub_width", "image_width", log);
  replaced += ReplaceOutOfRange(c.sub_height, d.sub_height, c.image_height, "sub_height",
                                "image_height", log);
  replaced += ReplaceOutOfRange(c.matching_x, d.matching_x, MaxOf("mosaic", "matching_x"),
                                "matching_x", "the maximum", log);
  replaced += ReplaceOutOfRange(c.matching_y, d.matching_y, MaxOf("mosaic", "matching_y"),
                                "matching_y", "the maximum", log);
  replaced += ReplaceOutOfRange(c.search_num, d.search_num, MaxOf("mosaic", "search_num"),
                                "search_num", "the maximum", log);
  replaced += ReplaceOutsideShare(c.color_correction, d.color_correction, "color_correction", log);
  replaced += ReplaceOutsideShare(c.steadiness, d.steadiness, "steadiness", log);
  if (c.repeat_distance < 0 || c.repeat_distance > MaxOf("mosaic", "repeat_distance")) {
    log << "invalid repeat_distance : " << c.repeat_distance << "; the default "
        << d.repeat_distance << " is used" << std::endl;
    c.repeat_distance = d.repeat_distance;
    ++replaced;
  }
  if (c.max_uses < 0 || c.max_uses > MaxOf("mosaic", "max_uses")) {
    log << "invalid max_uses : " << c.max_uses << "; the default " << d.max_uses << " is used"
        << std::endl;
    c.max_uses = d.max_uses;
    ++replaced;
  }
  return replaced;
}

}  // namespace tessaline
