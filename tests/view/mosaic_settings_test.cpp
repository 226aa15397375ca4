#include "view/mosaic_settings.h"

#include <gtest/gtest.h>

namespace tessaline {
namespace {

const MosaicSettings kSample{1920, 1080, 16, 9, 3, 4, 5, "16,9, 32,18", "/tiles", "/tiles/a.jpg"};

TEST(MosaicSettings, OnlyValuesTheEngineIsBuiltAroundChangeItsShape) {
  for (int MosaicSettings::*field :
       {&MosaicSettings::image_width, &MosaicSettings::image_height, &MosaicSettings::sub_width,
        &MosaicSettings::sub_height, &MosaicSettings::matching_x, &MosaicSettings::matching_y,
        &MosaicSettings::search_num}) {
    MosaicSettings after = kSample;
    after.*field += 2;
    EXPECT_TRUE(EngineShapeChanged(kSample, after));
  }
  MosaicSettings after = kSample;
  after.sub_scale_list = "64,36";
  after.image_dir = "other";
  after.image_default = "";
  EXPECT_FALSE(EngineShapeChanged(kSample, after));
  EXPECT_FALSE(EngineShapeChanged(kSample, kSample));
}

TEST(MosaicSettings, ATileChoiceRuleChangeRematchesWithoutANewEngine) {
  const struct {
    const char* name;
    void (*change)(MosaicSettings&);
  } rows[] = {{"repeat", [](MosaicSettings& s) { s.repeat_distance = 4; }},
              {"cap", [](MosaicSettings& s) { s.max_uses = 2; }},
              {"every photo", [](MosaicSettings& s) { s.use_all = true; }}};
  for (const auto& row : rows) {
    MosaicSettings after = kSample;
    row.change(after);
    EXPECT_TRUE(AssignmentRuleChanged(kSample, after)) << row.name;
    EXPECT_FALSE(EngineShapeChanged(kSample, after)) << row.name;
    // The rule goes into the configuration and comes back from it.
    MosaicConfig config;
    StoreMosaicSettings(after, config);
    EXPECT_FALSE(AssignmentRuleChanged(after, CollectMosaicSettings(config))) << row.name;
  }
  MosaicSettings other = kSample;
  other.search_num += 1;
  other.image_dir = "x";
  EXPECT_FALSE(AssignmentRuleChanged(kSample, other));
}

TEST(MosaicSettings, StoredValuesComeBackAndTheOtherKeysStay) {
  MosaicConfig config;
  config.touched_tile_scale = 3.5;
  StoreMosaicSettings(kSample, config);
  const MosaicSettings back = CollectMosaicSettings(config);
  EXPECT_FALSE(EngineShapeChanged(kSample, back));
  EXPECT_EQ(back.sub_scale_list, kSample.sub_scale_list);
  EXPECT_EQ(back.image_dir, kSample.image_dir);
  EXPECT_EQ(back.image_default, kSample.image_default);
  EXPECT_EQ(config.touched_tile_scale, 3.5);
}

}  // namespace
}  // namespace tessaline
