#include "view/mosaic_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "settings/ini_store.h"
#include "tests/mosaic/temp_folder.h"

namespace tessaline {
namespace {

MosaicSettings Sample() {
  MosaicSettings s;
  s.image_width = 1920;
  s.image_height = 1080;
  s.sub_width = 16;
  s.sub_height = 9;
  s.matching_x = 3;
  s.matching_y = 4;
  s.search_num = 5;
  s.sub_scale_list = "16,9, 32,18";
  s.image_dir = "/tiles";
  s.image_default = "/tiles/a.jpg";
  return s;
}

TEST(MosaicSettings, OnlyValuesTheEngineIsBuiltAroundCountAsAChangeOfShape) {
  struct Row {
    const char* field;
    std::function<void(MosaicSettings&)> change;
    bool reshapes;
  };
  const Row rows[] = {
      {"nothing", [](MosaicSettings&) {}, false},
      {"image_width", [](MosaicSettings& s) { s.image_width += 2; }, true},
      {"image_height", [](MosaicSettings& s) { s.image_height += 2; }, true},
      {"sub_width", [](MosaicSettings& s) { s.sub_width += 2; }, true},
      {"sub_height", [](MosaicSettings& s) { s.sub_height += 2; }, true},
      {"matching_x", [](MosaicSettings& s) { s.matching_x += 1; }, true},
      {"matching_y", [](MosaicSettings& s) { s.matching_y += 1; }, true},
      {"search_num", [](MosaicSettings& s) { s.search_num += 1; }, true},
      {"sub_scale_list", [](MosaicSettings& s) { s.sub_scale_list = "64,36"; }, false},
      {"image_dir", [](MosaicSettings& s) { s.image_dir = "other"; }, false},
      {"image_default", [](MosaicSettings& s) { s.image_default = "b.png"; }, false},
  };
  for (const Row& row : rows) {
    MosaicSettings after = Sample();
    row.change(after);
    EXPECT_EQ(EngineShapeChanged(Sample(), after), row.reshapes) << row.field;
  }
}

TEST(MosaicSettings, StoredValuesComeBackAndOtherKeysStay) {
  MosaicConfig config;
  config.touched_tile_scale = 3.5;
  StoreMosaicSettings(Sample(), config);
  const MosaicSettings back = CollectMosaicSettings(config);
  EXPECT_FALSE(EngineShapeChanged(Sample(), back));
  EXPECT_EQ(back.sub_scale_list, Sample().sub_scale_list);
  EXPECT_EQ(back.image_dir, Sample().image_dir);
  EXPECT_EQ(back.image_default, Sample().image_default);
  EXPECT_EQ(config.touched_tile_scale, 3.5);
  EXPECT_EQ(config.icon_width, MosaicConfig().icon_width);
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(MosaicSettings, SavedConfigReadsBackAndAFailedSaveKeepsTheOldFile) {
  TempFolder folder;
  const std::string path = folder / "tessaline.cfg";
  MosaicConfig config;
  qxINI store;
  RegisterMosaicKeys(store, config);
  StoreMosaicSettings(Sample(), config);
  std::string error;
  ASSERT_TRUE(SaveConfigFile(store, path, error)) << error;
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

  MosaicConfig loaded;
  qxINI reader;
  RegisterMosaicKeys(reader, loaded);
  ASSERT_TRUE(reader.Load(path));
  EXPECT_FALSE(EngineShapeChanged(Sample(), CollectMosaicSettings(loaded)));
  EXPECT_EQ(loaded.image_default, "/tiles/a.jpg");

  // The temporary file cannot be made: the saved file stays whole.
  const std::string before = ReadAll(path);
  std::filesystem::create_directory(path + ".tmp");
  config.sub_width = 64;
  EXPECT_FALSE(SaveConfigFile(store, path, error));
  EXPECT_NE(error.find(path), std::string::npos) << error;
  EXPECT_EQ(ReadAll(path), before);
}

}  // namespace
}  // namespace tessaline
