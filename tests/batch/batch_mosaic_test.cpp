#include "batch/batch_mosaic.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/temp_folder.h"

namespace tessaline {
namespace {

// Tiles of one flat colour each (blue, green, red), far apart from each
// other: a thumbnail of any size and any resize method keeps the colour, so
// every cell of a mosaic must be exactly one of these colours.
const std::vector<cv::Vec3b> kColours = {
    {20, 20, 220},   {20, 220, 20},   {220, 20, 20}, {20, 220, 220}, {220, 220, 20}, {220, 20, 220},
    {120, 120, 120}, {240, 240, 240}, {10, 10, 10},  {20, 120, 220}, {220, 120, 20}, {120, 220, 20},
};

void WriteTiles(const TempFolder& folder, int count) {
  std::filesystem::create_directories(folder / "tiles");
  for (int i = 0; i < count; ++i) {
    const cv::Mat tile(30, 40, CV_8UC3, cv::Scalar(kColours[i][0], kColours[i][1], kColours[i][2]));
    cv::imwrite(folder / ("tiles/t" + std::to_string(i) + ".png"), tile);
  }
}

// A 320 × 180 target in four quadrants of tile colours 0, 1, 2 and 3
// (top left, top right, bottom left, bottom right); with 16 × 9 tiles each
// quadrant is exactly 10 × 10 cells.
std::string WriteQuadrantTarget(const TempFolder& folder) {
  cv::Mat target(180, 320, CV_8UC3);
  for (int q = 0; q < 4; ++q)
    target(cv::Rect((q % 2) * 160, (q / 2) * 90, 160, 90)).setTo(cv::Scalar(kColours[q]));
  const std::string path = folder / "target.png";
  cv::imwrite(path, target);
  return path;
}

MosaicConfig SmallConfig() {
  MosaicConfig config;
  config.image_width = 320;
  config.image_height = 180;
  config.sub_width = 16;
  config.sub_height = 9;
  config.sub_scale_list = "16,9";
  config.touched_tile_scale = 1.0;
  return config;
}

struct RunResult {
  int status;
  std::string errors;
};

RunResult MakeMosaic(const TempFolder& folder, const std::string& target, const std::string& out,
                     int k, unsigned int seed = 1) {
  MosaicConfig config = SmallConfig();
  config.search_num = k;
  BatchMosaicJob job;
  job.tiles_dir = folder / "tiles";
  job.target = target;
  job.out_path = out;
  job.has_seed = true;
  job.seed = seed;
  std::ostringstream errors;
  const int status = MakeBatchMosaic(job, config, errors);
  return {status, errors.str()};
}

// The colour of every 16 × 9 cell of `mosaic`; a cell that is not of one
// colour gives (1, 2, 3), which no tile has.
std::vector<cv::Vec3b> CellColours(const cv::Mat& mosaic) {
  std::vector<cv::Vec3b> colours;
  for (int y = 0; y + 9 <= mosaic.rows; y += 9) {
    for (int x = 0; x + 16 <= mosaic.cols; x += 16) {
      const cv::Mat cell = mosaic(cv::Rect(x, y, 16, 9));
      const cv::Vec3b first = cell.at<cv::Vec3b>(0, 0);
      const bool flat =
          cv::norm(cell, cv::Mat(cell.size(), CV_8UC3, cv::Scalar(first)), cv::NORM_INF) == 0.0;
      colours.push_back(flat ? first : cv::Vec3b(1, 2, 3));
    }
  }
  return colours;
}

TEST(BatchMosaic, EachCellIsTheTileNearestToItsPartOfTheTarget) {
  TempFolder folder;
  WriteTiles(folder, 12);
  const RunResult run = MakeMosaic(folder, WriteQuadrantTarget(folder), folder / "m.png", 1);
  ASSERT_EQ(run.status, kBatchDone) << run.errors;
  EXPECT_EQ(run.errors, "");
  const cv::Mat mosaic = cv::imread(folder / "m.png");
  ASSERT_EQ(mosaic.size(), cv::Size(320, 180));
  const std::vector<cv::Vec3b> colours = CellColours(mosaic);
  ASSERT_EQ(colours.size(), 400u);
  for (int cell = 0; cell < 400; ++cell) {
    const int cx = cell % 20, cy = cell / 20;
    const int quadrant = (cx >= 10 ? 1 : 0) + (cy >= 10 ? 2 : 0);
    EXPECT_EQ(colours[cell], kColours[quadrant]) << "cell " << cx << ", " << cy;
  }
}

// A GPU whose textures are shorter than the working image: the run stops
// before the load, in one line, and writes nothing.
TEST(BatchMosaic, AGpuTooSmallForTheWorkingSizeMakesNoMosaic) {
  struct SmallGpu : MosaicGpu {
    explicit SmallGpu(int& made) : targets_made(made) {}
    void CreateCellTable(int, int) override {}
    void CreateOffscreenTargets(int, int, int, int) override { ++targets_made; }
    int MaxTextureSide() const override { return 256; }
    int& targets_made;
  };
  int targets_made = 0;
  TempFolder folder;
  WriteTiles(folder, 12);
  MosaicConfig config = SmallConfig();
  BatchMosaicJob job;
  job.tiles_dir = folder / "tiles";
  job.target = WriteQuadrantTarget(folder);
  job.out_path = folder / "m.png";
  job.gpu = std::make_unique<SmallGpu>(targets_made);
  std::ostringstream errors;
  EXPECT_EQ(MakeBatchMosaic(job, config, errors), kBatchFailed);
  EXPECT_EQ(errors.str(),
            "tessaline-batch: the working size 320 x 180 is larger than the largest texture "
            "side 256 : no mosaic is made\n");
  EXPECT_EQ(targets_made, 0);
  EXPECT_FALSE(std::filesystem::exists(folder / "m.png"));
  EXPECT_FALSE(std::filesystem::exists(folder / "tiles/mosaic_info2x2-16x9.pmc"));
}

TEST(BatchMosaic, TheSameSeedGivesTheSameFileAndAnotherSeedAnotherMosaic) {
  TempFolder folder;
  WriteTiles(folder, 12);
  const std::string target = WriteQuadrantTarget(folder);
  // k = 4: every cell draws among four tiles, so the seed decides the picture.
  ASSERT_EQ(MakeMosaic(folder, target, folder / "a.png", 4, 99).status, kBatchDone);
  ASSERT_EQ(MakeMosaic(folder, target, folder / "b.png", 4, 99).status, kBatchDone);
  ASSERT_EQ(MakeMosaic(folder, target, folder / "c.png", 4, 100).status, kBatchDone);
  EXPECT_EQ(ReadBytes(folder / "a.png"), ReadBytes(folder / "b.png"));
  EXPECT_NE(ReadBytes(folder / "a.png"), ReadBytes(folder / "c.png"));
  // Every cell is still one whole tile of the library.
  const std::set<cv::Vec3b, bool (*)(const cv::Vec3b&, const cv::Vec3b&)> tiles(
      kColours.begin(), kColours.end(), [](const cv::Vec3b& a, const cv::Vec3b& b) {
        return std::lexicographical_compare(a.val, a.val + 3, b.val, b.val + 3);
      });
  for (const cv::Vec3b& colour : CellColours(cv::imread(folder / "c.png")))
    EXPECT_EQ(tiles.count(colour), 1u) << colour;
}

TEST(BatchMosaic, ARandomTileIsTheTargetAndStaysOutOfItsMosaic) {
  // Two tiles and k = 2: were the target tile not kept out, cells would mix
  // both colours; as it is, the whole mosaic is the other tile.
  TempFolder folder;
  WriteTiles(folder, 2);
  for (unsigned int seed : {1u, 2u, 3u, 4u}) {
    const RunResult run = MakeMosaic(folder, "-1", folder / "r.bmp", 2, seed);
    ASSERT_EQ(run.status, kBatchDone) << run.errors;
    const std::vector<cv::Vec3b> colours = CellColours(cv::imread(folder / "r.bmp"));
    ASSERT_EQ(colours.size(), 400u);
    EXPECT_TRUE(colours[0] == kColours[0] || colours[0] == kColours[1]) << colours[0];
    for (const cv::Vec3b& colour : colours) EXPECT_EQ(colour, colours[0]) << "seed " << seed;
  }
}

TEST(BatchMosaic, WritesEveryPictureTypeAtTheWorkingSize) {
  TempFolder folder;
  WriteTiles(folder, 6);
  const std::string target = WriteQuadrantTarget(folder);
  for (const std::string name : {"m.png", "m.bmp", "m.jpg", "m.JPEG"}) {
    ASSERT_EQ(MakeMosaic(folder, target, folder / name, 1).status, kBatchDone) << name;
    EXPECT_EQ(cv::imread(folder / name).size(), cv::Size(320, 180)) << name;
  }
}

TEST(BatchMosaic, FailuresEndWithOneLineAndNoFile) {
  TempFolder folder;
  WriteTiles(folder, 6);
  std::filesystem::create_directories(folder / "empty");
  WriteBytes(folder / "broken.png", "not a picture");
  struct Row {
    std::string tiles, target, out, named;
  };
  const std::string target = WriteQuadrantTarget(folder);
  const Row rows[] = {
      {"empty", target, "m1.png", "no tile pictures in " + (folder / "empty")},
      {"missing", target, "m2.png", "no tile pictures in " + (folder / "missing")},
      {"tiles", folder / "none.png", "m3.png",
       "cannot read the target picture " + (folder / "none.png") + " : no such file"},
      {"tiles", folder / "broken.png", "m4.png",
       "cannot read the target picture " + (folder / "broken.png") +
           " : not a picture this program reads"},
      {"tiles", target, "no/such/folder/m5.png", "cannot write the mosaic to"},
  };
  for (const Row& row : rows) {
    MosaicConfig config = SmallConfig();
    BatchMosaicJob job;
    job.tiles_dir = folder / row.tiles;
    job.target = row.target;
    job.out_path = folder / row.out;
    std::ostringstream errors;
    EXPECT_EQ(MakeBatchMosaic(job, config, errors), kBatchFailed) << row.named;
    const std::string text = errors.str();
    EXPECT_EQ(text.rfind("tessaline-batch: ", 0), 0u) << text;
    EXPECT_NE(text.find(row.named), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_FALSE(std::filesystem::exists(job.out_path)) << row.out;
  }
}

}  // namespace
}  // namespace tessaline
