#include "view/command_text.h"

#include <gtest/gtest.h>

namespace tessaline {
namespace {

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
    EXPECT_EQ(LoadProgressText(LoadProgressAt(row.progress)), row.text)
        << "progress " << row.progress;
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
