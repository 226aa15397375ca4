#include "batch/batch_options.h"

#include <gtest/gtest.h>

namespace tessaline {
namespace {

TEST(BatchOptions, AcceptsEveryOptionInBothForms) {
  struct Row {
    std::vector<std::string> args;
    BatchOptions expected;
  };
  auto with = [](std::string dir, int tw, int th, int gx, int gy, bool help) {
    BatchOptions o;
    o.tiles_dir = std::move(dir);
    o.tile_width = tw;
    o.tile_height = th;
    o.grid_x = gx;
    o.grid_y = gy;
    o.help = help;
    return o;
  };
  const Row rows[] = {
      {{}, with("", 0, 0, 0, 0, false)},
      {{"--tiles", "pics"}, with("pics", 0, 0, 0, 0, false)},
      {{"--tiles=pics dir"}, with("pics dir", 0, 0, 0, 0, false)},
      {{"--tiles", "a=b"}, with("a=b", 0, 0, 0, 0, false)},  // "=" inside a separate value
      {{"--tiles", "p", "--tile", "16x9", "--grid", "3X1"}, with("p", 16, 9, 3, 1, false)},
      {{"--tile=48x27", "--grid=1x32"}, with("", 48, 27, 1, 32, false)},
      {{"--tiles", "a", "--tiles", "b"}, with("b", 0, 0, 0, 0, false)},  // the last one counts
      {{"--help"}, with("", 0, 0, 0, 0, true)},
      {{"--tiles", "--help"}, with("--help", 0, 0, 0, 0, false)},  // a value, not an option
  };
  for (const Row& row : rows) {
    BatchOptions options;
    std::string error;
    ASSERT_TRUE(ParseBatchArguments(row.args, options, error)) << error;
    EXPECT_EQ(options.tiles_dir, row.expected.tiles_dir);
    EXPECT_EQ(options.tile_width, row.expected.tile_width);
    EXPECT_EQ(options.tile_height, row.expected.tile_height);
    EXPECT_EQ(options.grid_x, row.expected.grid_x);
    EXPECT_EQ(options.grid_y, row.expected.grid_y);
    EXPECT_EQ(options.help, row.expected.help);
  }
}

TEST(BatchOptions, ReadsTheMosaicOptions) {
  struct Row {
    std::vector<std::string> args;
    std::string target, out;
    int width, height, k;
    bool has_seed;
    unsigned int seed;
    bool gpu;
  };
  const Row rows[] = {
      {{"--target", "a.jpg", "--out", "m.png"}, "a.jpg", "m.png", 0, 0, 0, false, 0, false},
      {{"--target", "-1", "--out=m.BMP"}, "-1", "m.BMP", 0, 0, 0, false, 0, false},
      {{"--target=-1", "--out", "d/m.jpeg", "--gpu"}, "-1", "d/m.jpeg", 0, 0, 0, false, 0, true},
      {{"--target", "a", "--out", "m.JPG", "--size", "320x180", "--k", "3", "--seed", "0"},
       "a",
       "m.JPG",
       320,
       180,
       3,
       true,
       0,
       false},
      {{"--size=16384X1", "--k=1000", "--seed=4294967295", "--target", "a", "--out", "m.png"},
       "a",
       "m.png",
       16384,
       1,
       1000,
       true,
       4294967295u,
       false},
      {{"--seed", "007", "--target", "a", "--out", "m.png"}, "a", "m.png", 0, 0, 0, true, 7, false},
  };
  for (const Row& row : rows) {
    BatchOptions o;
    std::string error;
    ASSERT_TRUE(ParseBatchArguments(row.args, o, error)) << error;
    EXPECT_EQ(o.target, row.target);
    EXPECT_EQ(o.out_path, row.out);
    EXPECT_EQ(o.image_width, row.width);
    EXPECT_EQ(o.image_height, row.height);
    EXPECT_EQ(o.search_num, row.k);
    EXPECT_EQ(o.has_seed, row.has_seed);
    EXPECT_EQ(o.seed, row.seed);
    EXPECT_EQ(o.gpu, row.gpu);
  }
}

TEST(BatchOptions, ReadsTheRepeatDistance) {
  const std::pair<std::vector<std::string>, int> rows[] = {
      {{"--target", "a", "--out", "m.png"}, -1},
      {{"--target", "a", "--out", "m.png", "--repeat", "0"}, 0},
      {{"--movie", "a.mp4", "--out", "m.avi", "--repeat=08"}, 8},
      {{"--target", "a", "--out", "m.png", "--repeat", "1000000"}, 1000000},
  };
  for (const auto& [args, repeat] : rows) {
    BatchOptions o;
    std::string error;
    ASSERT_TRUE(ParseBatchArguments(args, o, error)) << error;
    EXPECT_EQ(o.repeat_distance, repeat);
  }
}

TEST(BatchOptions, ReadsTheMovieOptions) {
  struct Row {
    std::vector<std::string> args;
    double alpha;
    bool has_steady;
    double steady;
  };
  const Row rows[] = {
      {{"--movie", "a.mp4", "--out", "m.avi"}, 1.0, false, 0.0},
      {{"--movie=a.mp4", "--out=m.avi", "--alpha", "0", "--steady", "0"}, 0.0, true, 0.0},
      {{"--alpha=.25", "--movie", "a.mp4", "--out", "m.avi", "--gpu", "--k", "2", "--steady=.3"},
       0.25,
       true,
       0.3},
  };
  for (const Row& row : rows) {
    BatchOptions o;
    std::string error;
    ASSERT_TRUE(ParseBatchArguments(row.args, o, error)) << error;
    EXPECT_EQ(o.movie, "a.mp4");
    EXPECT_EQ(o.out_path, "m.avi");
    EXPECT_TRUE(o.target.empty());
    EXPECT_DOUBLE_EQ(o.alpha, row.alpha);
    EXPECT_EQ(o.has_steady, row.has_steady);
    EXPECT_DOUBLE_EQ(o.steady, row.steady);
  }
  EXPECT_EQ(MovieProgressText(25, 50, 10), "[#####     ]  50% frame 25 of 50");
  EXPECT_EQ(MovieProgressText(7, 0, 10), "frame 7");
}

TEST(BatchOptions, RejectsBadArgumentsWithOneLineNamingThem) {
  struct Row {
    std::vector<std::string> args;
    std::string named;  // must appear in the message
  };
  const Row rows[] = {
      {{"--bogus"}, "--bogus"},
      {{"-t", "x"}, "-t"},
      {{"pics"}, "pics"},
      {{"--tiles"}, "--tiles"},
      {{"--tiles="}, "--tiles"},
      {{"--tile", "32"}, "32"},
      {{"--tile", "0x18"}, "0x18"},
      {{"--tile", "32x"}, "32x"},
      {{"--tile", "-3x4"}, "-3x4"},
      {{"--tile", "32x18x2"}, "32x18x2"},
      {{"--tile", "32 x18"}, "32 x18"},
      {{"--tile", "99999999999x1"}, "99999999999x1"},
      {{"--tile", "16385x9"}, "16385x9"},
      {{"--grid", "33x1"}, "33x1"},
      {{"--grid", "2x"}, "2x"},
      {{"--help=yes"}, "--help"},
      // The mosaic options: values, and what they need beside them.
      {{"--target", "a.png"}, "--out"},
      {{"--target=", "--out", "m.png"}, "--target"},
      {{"--out", "m.png"}, "--target"},
      {{"--target", "a", "--out", "m.gif"}, "m.gif"},
      {{"--target", "a", "--out", "m"}, "'m'"},
      {{"--target", "a", "--out", "png"}, "'png'"},
      {{"--target", "a", "--out", "d.png/m"}, "d.png/m"},
      {{"--target", "a", "--out", "m.png", "--size", "0x10"}, "0x10"},
      {{"--target", "a", "--out", "m.png", "--size", "16385x10"}, "16385x10"},
      {{"--target", "a", "--out", "m.png", "--k", "0"}, "'0'"},
      {{"--target", "a", "--out", "m.png", "--k", "1001"}, "1001"},
      {{"--target", "a", "--out", "m.png", "--k", "-2"}, "-2"},
      {{"--target", "a", "--out", "m.png", "--seed", "4294967296"}, "4294967296"},
      {{"--target", "a", "--out", "m.png", "--seed", "-1"}, "'-1'"},
      {{"--target", "a", "--out", "m.png", "--seed", "1e3"}, "1e3"},
      {{"--target", "a", "--out", "m.png", "--gpu=1"}, "--gpu"},
      {{"--tiles", "p", "--size", "320x180"}, "--target"},
      {{"--tiles", "p", "--k", "2"}, "--target"},
      {{"--tiles", "p", "--seed", "2"}, "--target"},
      {{"--tiles", "p", "--gpu"}, "--target"},
      {{"--target", "a", "--out", "m.png", "--repeat", "-1"}, "'-1'"},
      {{"--target", "a", "--out", "m.png", "--repeat", "1000001"}, "1000001"},
      {{"--target", "a", "--out", "m.png", "--repeat", "2.5"}, "2.5"},
      {{"--target", "a", "--out", "m.png", "--repeat="}, "--repeat"},
      {{"--tiles", "p", "--repeat", "2"}, "--target"},
      // The movie options.
      {{"--movie", "a.mp4"}, "--out"},
      {{"--movie=", "--out", "m.mp4"}, "--movie"},
      {{"--movie", "a.mp4", "--target", "a.png", "--out", "m.png"}, "--movie"},
      {{"--movie", "a.mp4", "--out", "m.mp4", "--alpha", "1.5"}, "1.5"},
      {{"--movie", "a.mp4", "--out", "m.mp4", "--alpha", "-0.1"}, "-0.1"},
      {{"--movie", "a.mp4", "--out", "m.mp4", "--alpha", "0.5x"}, "0.5x"},
      {{"--movie", "a.mp4", "--out", "m.mp4", "--alpha", "nan"}, "nan"},
      {{"--target", "a", "--out", "m.png", "--alpha", "0.5"}, "--movie"},
      {{"--movie", "a.mp4", "--out", "m.mp4", "--steady", "1.2"}, "1.2"},
      {{"--target", "a", "--out", "m.png", "--steady", "0.3"}, "--movie"},
      {{"--target", "a", "--out", "m.png", "--color", "1.01"}, "1.01"},
      {{"--target", "a", "--out", "m.png", "--color", "nan"}, "nan"},
      {{"--tiles", "p", "--color", "0.3"}, "--target"},
  };
  for (const Row& row : rows) {
    BatchOptions options;
    std::string error;
    EXPECT_FALSE(ParseBatchArguments(row.args, options, error)) << row.named;
    EXPECT_NE(error.find(row.named), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
}

TEST(BatchOptions, ProgressBarFollowsTheStages) {
  struct Row {
    double p;
    std::string text;
  };
  const Row rows[] = {
      {0.0, "[          ]   0% creating thumbnails"},
      {0.25, "[##        ]  25% creating thumbnails"},
      {1.0, "[##########] 100% creating thumbnails"},
      {2.0, "[##########] 100% creating kd-tree"},
      {2.5, "[#####     ]  50% creating tle files"},
      {3.0, "[##########] 100% creating tle files"},
      {-1.0, "[          ]   0% creating thumbnails"},  // out of range stays in the bar
      {7.0, "[##########] 100% creating tle files"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(ProgressBarText(LoadProgressAt(row.p), 10), row.text) << row.p;
}

}  // namespace
}  // namespace tessaline
