#include "view/mosaic_settings.h"

#include <sstream>

#include "mosaic/size_limits.h"

namespace tessaline {

MosaicSettings CollectMosaicSettings(const MosaicConfig& config) {
  MosaicSettings s;
  s.image_width = config.image_width;
  s.image_height = config.image_height;
  s.sub_width = config.sub_width;
  s.sub_height = config.sub_height;
  s.matching_x = config.matching_x;
  s.matching_y = config.matching_y;
  s.search_num = config.search_num;
  s.sub_scale_list = config.sub_scale_list;
  s.image_dir = config.image_dir;
  s.image_default = config.image_default;
  s.repeat_distance = config.repeat_distance;
  s.max_uses = config.max_uses;
  s.use_all = config.use_all;
  return s;
}

void StoreMosaicSettings(const MosaicSettings& s, MosaicConfig& config) {
  config.image_width = s.image_width;
  config.image_height = s.image_height;
  config.sub_width = s.sub_width;
  config.sub_height = s.sub_height;
  config.matching_x = s.matching_x;
  config.matching_y = s.matching_y;
  config.search_num = s.search_num;
  config.sub_scale_list = s.sub_scale_list;
  config.image_dir = s.image_dir;
  config.image_default = s.image_default;
  config.repeat_distance = s.repeat_distance;
  config.max_uses = s.max_uses;
  config.use_all = s.use_all;
}

bool EngineShapeChanged(const MosaicSettings& a, const MosaicSettings& b) {
  return a.matching_x != b.matching_x || a.matching_y != b.matching_y ||
         a.search_num != b.search_num || a.image_width != b.image_width ||
         a.image_height != b.image_height || a.sub_width != b.sub_width ||
         a.sub_height != b.sub_height;
}

bool AssignmentRuleChanged(const MosaicSettings& a, const MosaicSettings& b) {
  return a.repeat_distance != b.repeat_distance || a.max_uses != b.max_uses ||
         a.use_all != b.use_all;
}

std::string SettingsRefusal(const MosaicSettings& settings, const MosaicConfig& config,
                            int max_texture_side) {
  MosaicConfig trial = config;
  StoreMosaicSettings(settings, trial);
  // The new engine mends these values and logs them itself.
  std::ostringstream unheard;
  SanitizeMosaicConfig(trial, unheard);
  return SizeRefusal(trial, max_texture_side);
}

}  // namespace tessaline
