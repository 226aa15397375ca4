#include "view/preference_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mosaic/mosaic_config.h"

namespace tessaline {
namespace {

// Records what the command asked for, in order.
class FakePreferenceHost : public PreferenceHost {
 public:
  bool RefuseWhileBusy() override { return false; }
  std::optional<PreferenceChoice> ChoosePreferences(const MosaicSettings&) override {
    return std::nullopt;
  }
  int MaxTextureSide() const override { return max_texture_side; }
  void ShowStatus(const std::string& text) override { calls.push_back("status " + text); }
  void ReplaceEngine() override { calls.push_back("replace"); }
  void SetTileSizes(const std::string& list) override { calls.push_back("sizes " + list); }
  bool StillMosaicShown() const override { return still_shown; }
  void Generate() override { calls.push_back("generate"); }

  int max_texture_side = 16384;
  bool still_shown = true;
  std::vector<std::string> calls;
};

// The program-wide configuration, as it was before each test.
class PreferenceApply : public testing::Test {
 protected:
  void TearDown() override { Config() = saved_; }

  MosaicConfig saved_ = Config();
  FakePreferenceHost host_;
  PreferenceCommand command_{host_};
};

TEST_F(PreferenceApply, EachChangeAsksForItsOwnWork) {
  struct Row {
    const char* name;
    void (*change)(MosaicSettings&);
    bool still_shown;
    std::vector<std::string> calls;
  };
  const Row rows[] = {
      {"nothing", [](MosaicSettings&) {}, true, {}},
      {"tile size", [](MosaicSettings& s) { s.sub_width = 16; }, true, {"replace", "generate"}},
      {"tile size while live",
       [](MosaicSettings& s) { s.sub_width = 16; },
       false,
       {"replace", "generate"}},
      {"size list",
       [](MosaicSettings& s) { s.sub_scale_list = "16,9,32,18"; },
       true,
       {"sizes 16,9,32,18"}},
      {"repeat", [](MosaicSettings& s) { s.repeat_distance = 3; }, true, {"generate"}},
      {"every photo, at most once",
       [](MosaicSettings& s) { s.max_uses = 1, s.use_all = true; },
       true,
       {"generate"}},
      // A live source takes the rule with its next frame.
      {"repeat while live", [](MosaicSettings& s) { s.repeat_distance = 3; }, false, {}},
      {"folder", [](MosaicSettings& s) { s.image_dir = "elsewhere"; }, true, {}},
  };
  for (const Row& row : rows) {
    Config() = saved_;
    const MosaicSettings before = CollectMosaicSettings(Config());
    MosaicSettings after = before;
    row.change(after);
    host_.still_shown = row.still_shown;
    host_.calls.clear();
    command_.Apply(before, after, false);
    EXPECT_EQ(host_.calls, row.calls) << row.name;
    EXPECT_FALSE(AssignmentRuleChanged(CollectMosaicSettings(Config()), after)) << row.name;
    EXPECT_EQ(Config().image_dir, after.image_dir) << row.name;
  }
}

TEST_F(PreferenceApply, RefusedSettingsChangeNothing) {
  const MosaicSettings before = CollectMosaicSettings(Config());
  MosaicSettings after = before;
  after.sub_width = 16;
  after.repeat_distance = 3;
  host_.max_texture_side = 256;  // smaller than the working image
  command_.Apply(before, after, true);
  ASSERT_EQ(host_.calls.size(), 1u);
  EXPECT_EQ(host_.calls[0].rfind("status ", 0), 0u);
  EXPECT_EQ(Config().image_width, before.image_width);
  EXPECT_EQ(Config().repeat_distance, before.repeat_distance);
}

}  // namespace
}  // namespace tessaline
