#include "view/command_text.h"

#include <gtest/gtest.h>

namespace tessaline {
namespace {

TEST(CommandText, NamesTheFirstCommandWordInTableOrder) {
  struct Row {
    const char* text;
    ViewCommand command;
  };
  const Row rows[] = {
      {"Generate", ViewCommand::kGenerate},
      {"Photomosaic/Generate", ViewCommand::kGenerate},
      {"Photomosaic/Random", ViewCommand::kRandom},
      {"Photomosaic/Preference...", ViewCommand::kPreference},
      {"Photomosaic/Auto Pilot", ViewCommand::kAutoPilot},
      {"Photomosaic/Update images", ViewCommand::kUpdateImages},
      {"Photomosaic/Choose images dir", ViewCommand::kChooseImagesDir},
      {"Input/Camera Input", ViewCommand::kCameraInput},
      {"Photomosaic/Tile size/48 x 27", ViewCommand::kTileSize},
      // Several words: the earlier one in the table decides, not the
      // earlier one in the text.
      {"Random/Generate", ViewCommand::kGenerate},
      {"Tile size/Auto Pilot", ViewCommand::kAutoPilot},
      // Matching is case sensitive and needs the whole word.
      {"generate", ViewCommand::kNone},
      {"Auto pilot", ViewCommand::kNone},
      {"Tile size", ViewCommand::kNone},
      {"", ViewCommand::kNone},
  };
  for (const Row& row : rows)
    EXPECT_EQ(ParseViewCommand(row.text), row.command) << "text: " << row.text;
}

TEST(CommandText, FindsTheFirstTileSizeLabelInListOrder) {
  const std::vector<std::string> labels = {"32 x 18", "48 x 27", "16 x 9"};
  struct Row {
    const char* text;
    int index;
  };
  const Row rows[] = {
      {"Photomosaic/Tile size/32 x 18", 0},
      {"Photomosaic/Tile size/48 x 27", 1},
      {"Photomosaic/Tile size/16 x 9", 2},
      {"Photomosaic/Tile size/64 x 36", -1},
      // A label inside a longer one is still found; list order decides.
      {"Photomosaic/Tile size/132 x 18", 0},
      {"Photomosaic/Tile size/16 x 9 and 48 x 27", 1},
  };
  for (const Row& row : rows)
    EXPECT_EQ(FindTileSizeLabel(row.text, labels), row.index) << "text: " << row.text;
  EXPECT_EQ(FindTileSizeLabel("Tile size/32 x 18", {}), -1);
}

TEST(CommandText, ProgressTextFollowsTheThreeLoadStages) {
  struct Row {
    double progress;
    const char* text;
  };
  const Row rows[] = {
      {0.0, "creating thumbnails - 0%"},
      {0.5, "creating thumbnails - 50%"},
      {1.0 / 3.0, "creating thumbnails - 33.3333%"},  // six significant digits
      {0.123456789, "creating thumbnails - 12.3457%"},
      {1.0, "creating thumbnails - 100%"},
      {1.0000001, "creating kd-tree"},
      {2.0, "creating kd-tree"},
      {2.25, "creating tle files - 25%"},
      {2.5, "creating tle files - 50%"},
      {3.0, "creating tle files - 100%"},
      {3.01, ""},
      {0.00001, "creating thumbnails - 0.001%"},
      {0.0000001, "creating thumbnails - 1e-05%"},  // default notation turns scientific
  };
  for (const Row& row : rows)
    EXPECT_EQ(LoadProgressText(row.progress), row.text) << "progress " << row.progress;
}

TEST(CommandText, TileSizeStepsWrapAroundAtBothEnds) {
  struct Row {
    int index;
    int count;
    int previous;
    int next;
  };
  const Row rows[] = {
      {0, 3, 2, 1},   {1, 3, 0, 2}, {2, 3, 1, 0},
      {0, 1, 0, 0},                                // one size: both ways reload the same one
      {0, 2, 1, 1},   {1, 2, 0, 0}, {5, 3, 2, 0},  // an index beyond the list comes back into it
      {-1, 3, 2, 0},                               // so does a negative one
      {0, 0, -1, -1},                              // nothing to step to
  };
  for (const Row& row : rows) {
    EXPECT_EQ(PreviousTileSizeIndex(row.index, row.count), row.previous)
        << row.index << " of " << row.count;
    EXPECT_EQ(NextTileSizeIndex(row.index, row.count), row.next)
        << row.index << " of " << row.count;
  }
}

}  // namespace
}  // namespace tessaline
