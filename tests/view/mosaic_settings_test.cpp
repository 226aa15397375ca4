#include "view/mosaic_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "settings/ini_store.h"
#include "tests/mosaic/temp_folder.h"

namespace tessaline {
namespace {

const MosaicSettings kSample{1920, 1080, 16, 9, 3, 4, 5, "16,9,32,18", "/tiles", "/tiles/a.jpg"};

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

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Stored, saved, loaded into a fresh configuration and collected again, the
// ten values come back; a save that cannot finish leaves the old file.
TEST(MosaicSettings, ValuesSurviveASaveAndAFailedSaveKeepsTheOldFile) {
  TempFolder folder;
  const std::string path = folder / "tessaline.cfg";
  MosaicConfig config;
  qxINI store;
  RegisterMosaicKeys(store, config);
  StoreMosaicSettings(kSample, config);
  std::string error;
  ASSERT_TRUE(SaveConfigFile(store, path, error)) << error;

  MosaicConfig loaded;
  qxINI reader;
  RegisterMosaicKeys(reader, loaded);
  ASSERT_TRUE(reader.Load(path));
  const MosaicSettings back = CollectMosaicSettings(loaded);
  EXPECT_FALSE(EngineShapeChanged(kSample, back));
  EXPECT_EQ(back.sub_scale_list, kSample.sub_scale_list);
  EXPECT_EQ(back.image_dir, kSample.image_dir);
  EXPECT_EQ(back.image_default, kSample.image_default);

  const std::string saved = ReadAll(path);
  std::filesystem::create_directory(path + ".tmp");  // the temporary file cannot be made
  config.sub_width = 64;
  EXPECT_FALSE(SaveConfigFile(store, path, error));
  EXPECT_NE(error.find(path), std::string::npos) << error;
  EXPECT_EQ(ReadAll(path), saved);
}

}  // namespace
}  // namespace tessaline
