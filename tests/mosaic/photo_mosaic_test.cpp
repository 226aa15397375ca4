#include "mosaic/photo_mosaic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "settings/ini_store.h"
#include "settings/log_stream.h"

namespace tessaline {
namespace {

// The lines the engine logged since `before` history entries.
std::vector<std::string> LoggedSince(std::size_t history_before) {
  std::vector<std::string> history = LogHistory();
  std::vector<std::string> lines;
  for (std::size_t i = history_before; i < history.size(); ++i)
    if (!history[i].empty()) lines.push_back(history[i].substr(0, history[i].size() - 1));
  return lines;
}

class FakeGpu : public MosaicGpu {
 public:
  void CreateCellTable(int div_x, int div_y) override { table_calls.push_back({div_x, div_y}); }
  void CreateOffscreenTargets(int w, int h, int mw, int mh) override {
    targets.push_back({w, h, mw, mh});
  }
  std::vector<std::vector<int>> table_calls;
  std::vector<std::vector<int>> targets;
};

TEST(PhotoMosaic, DefaultsGiveTheDefaultGrid) {
  MosaicConfig config;
  qxPhotoMosaic engine(config);
  EXPECT_EQ(engine.Geometry().Grid().div_x, 120);
  EXPECT_EQ(engine.Geometry().Grid().div_y, 120);
  EXPECT_EQ(engine.Geometry().Grid().matching_w, 240);
  EXPECT_EQ(engine.Geometry().Grid().matching_h, 240);
  ASSERT_EQ(engine.Geometry().TileSizes().size(), 1u);
  EXPECT_EQ(engine.Geometry().TileSizeIndex(), 0);
  EXPECT_EQ(engine.CellAssignment().size(), 120u * 120u);
}

TEST(PhotoMosaic, PrintsItsSettingsSummary) {
  MosaicConfig config;
  config.sub_scale_list = "16,9, 32,18";
  config.sub_width = 48;
  config.sub_height = 27;
  // History keeps the last 25 entries: compare the tail.
  qxPhotoMosaic engine(config);
  const std::size_t before = LogHistory().size() - 1;
  engine.PrintSettings();
  std::vector<std::string> lines = LoggedSince(before > 10 ? before - 10 : 0);
  const std::vector<std::string> expected = {"matching : 2 x 2",
                                             "sub : 48 x 27",
                                             "div : 80 x 80",
                                             "images dir : ./images",
                                             "search : 1",
                                             "tile scales : 16,9, 32,18",
                                             "16, 9",
                                             "32, 18",
                                             "48, 27"};
  ASSERT_GE(lines.size(), expected.size());
  lines.erase(lines.begin(), lines.end() - expected.size());
  EXPECT_EQ(lines, expected);
}

TEST(PhotoMosaic, ConfiguredTileSizeMissingFromTheListIsAppended) {
  MosaicConfig config;
  config.sub_scale_list = "16,9, 32,18";
  config.sub_width = 64;
  config.sub_height = 32;
  qxPhotoMosaic engine(config);
  ASSERT_EQ(engine.Geometry().TileSizes().size(), 3u);
  EXPECT_EQ(engine.Geometry().TileSizes().back(), (TileSize{64, 32}));
  EXPECT_EQ(engine.Geometry().TileSizeIndex(), 2);

  engine.SetTileSize(16, 9, false);
  EXPECT_EQ(engine.Geometry().TileSizeIndex(), 0);
  EXPECT_EQ(config.sub_width, 16);  // written back for a later save
  EXPECT_EQ(engine.Geometry().Grid().div_x, 240);
  engine.SetTileSize(0, -1, false);  // no change
  EXPECT_EQ(engine.Geometry().SubWidth(), 16);
  EXPECT_EQ(engine.Geometry().SubHeight(), 9);
}

// A new list from the preference dialog replaces the menu's sizes; the size
// in use is found again, or kept as the last entry when the list lacks it.
TEST(PhotoMosaic, ParseTileSizesReplacesTheListAndFindsTheCurrentSize) {
  MosaicConfig config;
  config.sub_scale_list = "32,18, 48,27";
  config.sub_width = 48;
  config.sub_height = 27;
  qxPhotoMosaic engine(config);
  ASSERT_EQ(engine.Geometry().TileSizeIndex(), 1);

  engine.ParseTileSizes("16,9, 64,36, 48,27");
  EXPECT_EQ(engine.Geometry().TileSizes(), (std::vector<TileSize>{{16, 9}, {64, 36}, {48, 27}}));
  EXPECT_EQ(engine.Geometry().TileSizeIndex(), 2);

  engine.ParseTileSizes("16,9");
  engine.ParseTileSizes("16,9");
  EXPECT_EQ(engine.Geometry().TileSizes(), (std::vector<TileSize>{{16, 9}, {48, 27}}));
  EXPECT_EQ(engine.Geometry().TileSizeIndex(), 1);
  EXPECT_EQ(engine.Geometry().SubWidth(), 48);
}

TEST(PhotoMosaic, SetImageSizeRemakesWorkingImageAndTargets) {
  MosaicConfig config;
  qxPhotoMosaic engine(config);
  auto gpu = std::make_unique<FakeGpu>();
  FakeGpu* fake = gpu.get();
  engine.SetGpu(std::move(gpu));
  engine.SetImageSize(1920, 1080);
  EXPECT_EQ(engine.Target().working_image.Picture().cols, 1920);
  EXPECT_EQ(engine.Target().working_image.Picture().rows, 1080);
  EXPECT_EQ(engine.Target().working_image.Picture().type(), CV_8UC3);
  EXPECT_EQ(config.image_width, 1920);
  ASSERT_EQ(fake->table_calls.size(), 1u);
  EXPECT_EQ(fake->table_calls[0], (std::vector<int>{60, 60}));
  ASSERT_EQ(fake->targets.size(), 1u);
  EXPECT_EQ(fake->targets[0], (std::vector<int>{1920, 1080, 120, 120}));
}

struct BadValueRow {
  const char* key;
  int MosaicConfig::*field;
  int bad;
  int expected;
};

TEST(PhotoMosaic, SizesItCannotUseFallBackToDefaults) {
  const BadValueRow rows[] = {
      {"sub_width", &MosaicConfig::sub_width, 0, 32},
      {"sub_height", &MosaicConfig::sub_height, -3, 18},
      {"image_width", &MosaicConfig::image_width, 0, 3840},
      {"image_height", &MosaicConfig::image_height, -1, 2160},
      {"matching_x", &MosaicConfig::matching_x, 0, 2},
      {"matching_y", &MosaicConfig::matching_y, -7, 2},
      {"search_num", &MosaicConfig::search_num, 0, 1},
      {"sub_width", &MosaicConfig::sub_width, 5000, 32},  // wider than the working image
      {"image_width", &MosaicConfig::image_width, 1000000, 3840},
      {"repeat_distance", &MosaicConfig::repeat_distance, -1, 0},
      {"max_uses", &MosaicConfig::max_uses, -2, 0},
  };
  for (const BadValueRow& r : rows) {
    SCOPED_TRACE(testing::Message() << r.key << " = " << r.bad);
    MosaicConfig config;
    config.*r.field = r.bad;
    std::ostringstream log;
    EXPECT_EQ(SanitizeMosaicConfig(config, log), 1);
    EXPECT_EQ(config.*r.field, r.expected);
    EXPECT_NE(log.str().find(r.key), std::string::npos) << log.str();
    EXPECT_NE(log.str().find(std::to_string(r.bad)), std::string::npos) << log.str();
  }
}

TEST(PhotoMosaic, ZeroTileSizeInTheFileDoesNotDivideByZero) {
  MosaicConfig config;
  config.sub_width = 0;
  config.sub_height = 0;
  qxPhotoMosaic engine(config);
  EXPECT_EQ(engine.Geometry().Grid().div_x, 120);
  EXPECT_EQ(engine.Geometry().Grid().div_y, 120);
}

TEST(PhotoMosaic, SharesOutsideZeroToOneFallBackToTheirDefaults) {
  for (double MosaicConfig::*share : {&MosaicConfig::color_correction, &MosaicConfig::steadiness}) {
    for (double bad : {-0.1, 1.5, std::nan("")}) {
      MosaicConfig config;
      config.*share = bad;
      std::ostringstream log;
      EXPECT_EQ(SanitizeMosaicConfig(config, log), 1) << bad;
      EXPECT_EQ(config.*share, MosaicConfig().*share);
    }
  }
}

TEST(MosaicConfigFile, DefaultsAreWrittenInOrderWithFullPrecision) {
  const std::string path = testing::TempDir() + "/tessaline_defaults.cfg";
  std::ostringstream console;
  qxINI store(console);
  MosaicConfig config;
  RegisterMosaicKeys(store, config);
  ASSERT_TRUE(store.Save(&store, path));
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "[mosaic]\nmatching_x=2\nmatching_y=2\nsub_width=32\nsub_height=18\nsearch_num=1\n"
            "sub_scale_list=32,18\n[image]\nimage_default=\nimage_dir=./images\n"
            "image_width=3840\nimage_height=2160\ntouched_tile_scale=7\n[icon]\n"
            "icon_width=0.029999999999999999\nicon_height=0.029999999999999999\n"
            "icon_top_margin=0.040000000000000001\nicon_left_margin=0.95999999999999996\n"
            "[mosaic]\ncolor_correction=0\nrepeat_distance=0\nmax_uses=0\nuse_all=0\n"
            "steadiness=0.29999999999999999\n");
}

TEST(MosaicConfigFile, AFileWithSomeKeysKeepsTheOtherDefaults) {
  const std::string path = testing::TempDir() + "/tessaline_some.cfg";
  {
    std::ofstream out(path);
    out << "[mosaic]\nsub_width=48\nsub_height=27\n";
  }
  std::ostringstream console;
  qxINI store(console);
  MosaicConfig config;
  RegisterMosaicKeys(store, config);
  ASSERT_TRUE(store.Load(path));
  EXPECT_EQ(config.sub_width, 48);
  EXPECT_EQ(config.sub_height, 27);
  EXPECT_EQ(config.image_dir, "./images");
  EXPECT_EQ(config.image_width, 3840);
  EXPECT_DOUBLE_EQ(config.touched_tile_scale, 7.0);
}

TEST(MosaicConfigFile, DefaultsLieInTheirRangesAndHugeSizesAreMended) {
  std::ostringstream console;
  qxINI store(console);
  MosaicConfig config;
  RegisterMosaicKeys(store, config);
  std::ostringstream log;
  EXPECT_EQ(store.MendValues(log), 0) << log.str();
  std::istringstream file("[image]\nimage_width = 100000\ntouched_tile_scale=1e9\n");
  store.Parse(file);
  // The working size is the engine's to check: its default comes back.
  EXPECT_EQ(store.MendValues(log), 1);
  EXPECT_EQ(config.touched_tile_scale, 16.0);
  SanitizeMosaicConfig(config, log);
  EXPECT_EQ(config.image_width, MosaicConfig().image_width);
}

}  // namespace
}  // namespace tessaline
