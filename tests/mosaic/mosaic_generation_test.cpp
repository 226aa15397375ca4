#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>

#include "common/temp_folder.h"
#include "library/feature.h"
#include "match/repeat_assignment.h"
#include "mosaic/color_correction.h"
#include "mosaic/compose.h"
#include "mosaic/photo_mosaic.h"
#include "settings/log_stream.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;

// A folder of small pictures, each split into a left and a right colour so
// that features differ by layout as well as by mean.
class TileFolder {
 public:
  explicit TileFolder(int count) {
    for (int i = 0; i < count; ++i) {
      cv::Mat picture(24, 32, CV_8UC3, cv::Scalar((i * 37) % 256, (i * 91) % 256, (i * 53) % 256));
      picture(cv::Rect(16, 0, 16, 24)).setTo(cv::Scalar((i * 11) % 256, 255 - i % 256, 40));
      cv::imwrite(folder_ / ("tile" + std::to_string(100 + i) + ".png"), picture);
    }
  }
  std::string Path() const { return folder_.Path(); }

 private:
  TempFolder folder_;
};

MosaicConfig SmallConfig(const std::string& dir, int search) {
  MosaicConfig config;
  config.image_dir = dir;
  config.image_width = 80;
  config.image_height = 54;
  config.sub_width = 8;
  config.sub_height = 6;
  config.sub_scale_list = "8,6, 4,3";
  config.search_num = search;
  config.touched_tile_scale = 2.0;
  return config;
}

// Log lines of the history that were written after `marker`.
std::vector<std::string> LinesAfter(const std::string& marker) {
  std::vector<std::string> lines;
  bool seen = false;
  for (const std::string& entry : LogHistory()) {
    const std::string line = entry.empty() ? entry : entry.substr(0, entry.size() - 1);
    if (seen && !line.empty()) lines.push_back(line);
    if (line == marker) seen = true;
  }
  return lines;
}

TEST(MosaicGeneration, GeneratesWithoutEverUsingTheTargetTile) {
  TileFolder folder(30);
  MosaicConfig config = SmallConfig(folder.Path(), 3);
  qxPhotoMosaic engine(config);
  engine.GenerateMosaic();
  ASSERT_TRUE(engine.Target().mosaic_valid);
  const int target = engine.Target().tile;
  ASSERT_GE(target, 0);
  ASSERT_EQ(engine.CellAssignment().size(), 10u * 9u);
  for (int tile : engine.CellAssignment()) {
    EXPECT_NE(tile, target);
    EXPECT_GE(tile, 0);
    EXPECT_LT(tile, 30);
  }
  // Three candidates per cell: a second generation of the same target
  // differs somewhere.
  const std::vector<int> first = engine.CellAssignment();
  bool differs = false;
  for (int run = 0; run < 5 && !differs; ++run) {
    engine.GenerateMosaic();
    differs = engine.CellAssignment() != first;
  }
  EXPECT_TRUE(differs);
}

TEST(MosaicGeneration, LogsWhatItMadeItsLapsAndTheAverage) {
  TileFolder folder(12);
  MosaicConfig config = SmallConfig(folder.Path(), 1);
  qxPhotoMosaic engine(config);
  // Without a cap or the every-photo rule too; only when asked for.
  for (const bool stats : {true, false}) {
    engine.SetStatsLogged(stats);
    engine_log() << "-- generation log marker --" << std::endl;
    engine.GenerateMosaic();
    const std::vector<std::string> lines = LinesAfter("-- generation log marker --");
    ASSERT_GE(lines.size(), 5u);
    const std::vector<std::string> tail(lines.end() - 5, lines.end());
    EXPECT_EQ(tail[0].rfind("tiles  : ", 0), 0u) << tail[0];
    EXPECT_EQ(tail[1].rfind("load   : ", 0), 0u) << tail[1];
    EXPECT_EQ(tail[2].rfind("mosaic : ", 0), 0u) << tail[2];
    EXPECT_EQ(tail[3].rfind("total  : ", 0), 0u) << tail[3];
    EXPECT_EQ(tail[4].rfind("average time : ", 0), 0u) << tail[4];
    const bool stated =
        lines.size() > 5 && lines[lines.size() - 6].rfind("cells : 90, photos used : ", 0) == 0;
    EXPECT_EQ(stated, stats);
  }
}

TEST(MosaicGeneration, CpuMosaicIsMadeOfTheAssignedThumbnails) {
  TileFolder folder(20);
  MosaicConfig config = SmallConfig(folder.Path(), 1);
  qxPhotoMosaic engine(config);
  engine.GenerateMosaic();
  const cv::Mat mosaic = engine.MosaicImage();
  ASSERT_EQ(mosaic.cols, 80);
  ASSERT_EQ(mosaic.rows, 54);
  const GridGeometry& grid = engine.Geometry().Grid();
  for (int cy = 0; cy < grid.div_y; cy += 4) {
    for (int cx = 0; cx < grid.div_x; cx += 3) {
      const int tile = engine.CellAssignment()[static_cast<std::size_t>(cx + cy * grid.div_x)];
      const cv::Mat cell = mosaic(cv::Rect(cx * 8, cy * 6, 8, 6));
      EXPECT_EQ(
          cv::norm(cell, engine.Library().Thumbnail(static_cast<std::size_t>(tile)), cv::NORM_INF),
          0.0)
          << "cell " << cx << ", " << cy;
    }
  }
}

TEST(MosaicGeneration, ZoomAcceptsOnlyInteriorCellsAndEndsOnTheLastNeighbour) {
  TileFolder folder(25);
  MosaicConfig config = SmallConfig(folder.Path(), 1);
  qxPhotoMosaic engine(config);
  engine.GenerateMosaic();
  const int div_x = engine.Geometry().Grid().div_x;
  const std::vector<int> before = engine.CellAssignment();
  EXPECT_FALSE(engine.ZoomIntoCell(0, 5, true));
  EXPECT_FALSE(engine.ZoomIntoCell(div_x - 1, 5, true));
  EXPECT_FALSE(engine.ZoomIntoCell(3, 0, true));
  EXPECT_EQ(engine.CellAssignment(), before);

  const int clicked = before[static_cast<std::size_t>(4 + 3 * div_x)];
  const int last_neighbour = before[static_cast<std::size_t>(5 + 4 * div_x)];
  ASSERT_TRUE(engine.ZoomIntoCell(4, 3, true));
  EXPECT_EQ(engine.Target().tile, last_neighbour);
  const std::string clicked_name = engine.Library().Entry(static_cast<std::size_t>(clicked)).name;
  EXPECT_EQ("/" + engine.Target().name, clicked_name);
  for (int tile : engine.CellAssignment()) EXPECT_NE(tile, clicked);
  EXPECT_FALSE(engine.MosaicImage(kFirstAroundMosaic + 7).empty());
}

TEST(MosaicGeneration, EmptyFolderMakesNoMosaicAndExportRefuses) {
  TempFolder empty;
  MosaicConfig config = SmallConfig(empty.Path(), 1);
  qxPhotoMosaic engine(config);
  const std::string out = empty / "m.png";
  EXPECT_FALSE(engine.SaveMosaicImage(out));
  engine.GenerateMosaic();
  EXPECT_FALSE(engine.Target().mosaic_valid);
  EXPECT_FALSE(engine.SaveMosaicImage(out));
  EXPECT_FALSE(fs::exists(out));
}

// A GPU side whose passes succeed until `fail` is set. It reads back a
// picture for any target, as a GPU still holding an older mosaic would.
class SwitchableGpu : public MosaicGpu {
 public:
  explicit SwitchableGpu(const bool& fail) : fail_(fail) {}
  void CreateCellTable(int, int) override {}
  void CreateOffscreenTargets(int w, int h, int, int) override { size_ = cv::Size(w, h); }
  bool UploadAtlas(const cv::Mat&, int, int) override { return true; }
  bool RenderMosaic(int) override { return !fail_; }
  cv::Mat ReadMosaic(int) const override { return cv::Mat(size_, CV_8UC3, cv::Scalar::all(7)); }

 private:
  const bool& fail_;
  cv::Size size_;
};

// A GPU side that keeps what each target's last pass was drawn from.
class RecordingGpu : public MosaicGpu {
 public:
  struct Pass {
    std::vector<unsigned char> table;
    std::vector<cv::Vec3b> means;
    int weight = -1;
  };
  void CreateCellTable(int, int) override {}
  void CreateOffscreenTargets(int, int, int, int) override {}
  bool UploadAtlas(const cv::Mat&, int, int) override { return true; }
  void UploadCellTable(const std::vector<unsigned char>& bytes) override { table_ = bytes; }
  void UploadCellMeans(const std::vector<cv::Vec3b>& means) override { means_ = means; }
  void SetColorWeight(int weight) override { weight_ = weight; }
  void SwapMosaicSlots() override { std::swap(passes[0], passes[1]); }
  bool RenderMosaic(int index) override {
    passes[static_cast<std::size_t>(index)] = {table_, means_, weight_};
    ++renders;
    return true;
  }
  std::array<Pass, kMosaicTargetCount> passes;
  int renders = 0;

 private:
  std::vector<unsigned char> table_;
  std::vector<cv::Vec3b> means_;
  int weight_ = -1;
};

TEST(MosaicGeneration, ColourChangeRedrawsEveryMosaicFromItsOwnCells) {
  TileFolder folder(25);
  MosaicConfig config = SmallConfig(folder.Path(), 3);
  qxPhotoMosaic engine(config);
  auto owned = std::make_unique<RecordingGpu>();
  RecordingGpu& gpu = *owned;
  engine.SetGpu(std::move(owned));
  ASSERT_TRUE(engine.GenerateMosaic());
  ASSERT_TRUE(engine.ZoomIntoCell(4, 3, true));  // previous, current and 8 around
  const std::vector<int> assignment = engine.CellAssignment();
  const auto before = gpu.passes;
  EXPECT_EQ(before[kCurrentMosaic].weight, 0);
  EXPECT_EQ(before[kCurrentMosaic].means,
            CellMeanColors(engine.Target().working_image.Picture(), 10, 9, 8, 6));
  EXPECT_NE(before[kCurrentMosaic].table, before[kPreviousMosaic].table);

  const int renders = gpu.renders;
  EXPECT_TRUE(engine.SetColorCorrection(0.3));
  EXPECT_EQ(gpu.renders, renders + kMosaicTargetCount);
  EXPECT_EQ(engine.CellAssignment(), assignment);
  EXPECT_DOUBLE_EQ(config.color_correction, 0.3);
  for (int index = 0; index < kMosaicTargetCount; ++index) {
    SCOPED_TRACE(index);
    EXPECT_EQ(gpu.passes[index].weight, 77);
    EXPECT_EQ(gpu.passes[index].table, before[index].table);
    EXPECT_EQ(gpu.passes[index].means, before[index].means);
    EXPECT_EQ(gpu.passes[index].means.size(), 90u);
  }
  // The same weight again, or a share it rounds to, draws nothing.
  EXPECT_FALSE(engine.SetColorCorrection(0.3001));
  EXPECT_EQ(gpu.renders, renders + kMosaicTargetCount);
  // The next mosaic is drawn at the weight in force.
  ASSERT_TRUE(engine.GenerateMosaic());
  EXPECT_EQ(gpu.passes[kCurrentMosaic].weight, 77);
}

TEST(MosaicGeneration, FailedGpuPassLeavesNothingToAnnounceExportOrPick) {
  TileFolder folder(25);
  MosaicConfig config = SmallConfig(folder.Path(), 1);
  qxPhotoMosaic engine(config);
  bool fail = false;
  engine.SetGpu(std::make_unique<SwitchableGpu>(fail));
  ASSERT_TRUE(engine.GenerateMosaic());
  ASSERT_EQ(engine.CellAssignment().size(), 10u * 9u);

  fail = true;
  EXPECT_FALSE(engine.ZoomIntoCell(4, 3, true));
  EXPECT_FALSE(engine.GenerateMosaic());
  EXPECT_FALSE(engine.Target().mosaic_valid);
  EXPECT_TRUE(engine.CellAssignment().empty());
  const int target = engine.Target().tile;
  engine.SelectCell(4, 3);
  EXPECT_EQ(engine.Target().tile, target);
  EXPECT_FALSE(engine.ZoomIntoCell(4, 3, true));
  EXPECT_FALSE(engine.PickRandomCell());
  const std::string out = folder.Path() + "/not_drawn.png";
  EXPECT_FALSE(engine.SaveMosaicImage(out));
  EXPECT_FALSE(fs::exists(out));

  fail = false;
  EXPECT_TRUE(engine.GenerateMosaic());
  EXPECT_EQ(engine.CellAssignment().size(), 10u * 9u);
  EXPECT_TRUE(engine.SaveMosaicImage(out));
}

TEST(MosaicGeneration, ExportsTheCurrentMosaicByExtension) {
  TileFolder folder(10);
  MosaicConfig config = SmallConfig(folder.Path(), 1);
  qxPhotoMosaic engine(config);
  engine.GenerateMosaic();
  const std::string png = folder.Path() + "/out/mosaic.PNG";
  fs::create_directories(folder.Path() + "/out");
  ASSERT_TRUE(engine.SaveMosaicImage(png));
  const cv::Mat read = cv::imread(png);
  ASSERT_EQ(read.size(), cv::Size(80, 54));
  EXPECT_EQ(cv::norm(read, engine.MosaicImage(), cv::NORM_INF), 0.0);
  EXPECT_FALSE(engine.SaveMosaicImage(folder.Path() + "/out/mosaic.txt"));
}

TEST(MosaicGeneration, TargetsOfEveryChannelCountBecomeWorkingImages) {
  TileFolder folder(6);
  MosaicConfig config = SmallConfig(folder.Path(), 1);
  qxPhotoMosaic engine(config);
  engine.SetImageSize(80, 54);
  const std::string grey = folder.Path() + "/grey_target.png";
  cv::imwrite(grey, cv::Mat(10, 12, CV_8UC1, cv::Scalar(77)));
  ASSERT_TRUE(engine.LoadTarget(grey));
  EXPECT_EQ(engine.Target().working_image.Picture().type(), CV_8UC3);
  EXPECT_EQ(engine.Target().working_image.Picture().at<cv::Vec3b>(20, 30), cv::Vec3b(77, 77, 77));
  EXPECT_EQ(engine.Target().name, "grey_target.png");

  const std::string rgba = folder.Path() + "/rgba_target.png";
  cv::imwrite(rgba, cv::Mat(10, 12, CV_8UC4, cv::Scalar(10, 20, 30, 128)));
  ASSERT_TRUE(engine.LoadTarget(rgba));
  EXPECT_EQ(engine.Target().working_image.Picture().at<cv::Vec3b>(5, 5), cv::Vec3b(10, 20, 30));

  // A missing or broken file changes nothing.
  EXPECT_FALSE(engine.LoadTarget(folder.Path() + "/missing.png"));
  const std::string broken = folder.Path() + "/broken.png";
  WriteBytes(broken, "not a picture");
  EXPECT_FALSE(engine.LoadTarget(broken));
  EXPECT_EQ(engine.Target().name, "rgba_target.png");
}

TEST(MosaicGeneration, MatchingReadSizeHalvesWhileFourPixelsToAMatchingPixelRemain) {
  const struct {
    cv::Size matching, working;
    PictureSize read;
  } cases[] = {
      {{240, 240}, {3840, 2160}, {1920, 1080}},  // 4K, 32 x 18 tiles, 2 x 2 grid
      {{240, 240}, {3841, 2161}, {1920, 1080}},  // odd sizes round down
      {{480, 480}, {3840, 2160}, {3840, 2160}},  // one halving would leave too few rows
      {{40, 40}, {640, 480}, {320, 240}},
      {{50, 50}, {100, 100}, {100, 100}},  // fewer than four to a pixel already
  };
  for (const auto& c : cases) {
    const PictureSize read = MatchingReadSize(c.matching, c.working);
    EXPECT_EQ(read.width, c.read.width) << c.working << " " << c.matching;
    EXPECT_EQ(read.height, c.read.height) << c.working << " " << c.matching;
  }
}

// A target read only for its matching image (a JPEG decoded reduced) makes
// the mosaic a whole read makes, keeps the working image out of it, and so
// does a zoom from it.
TEST(MosaicGeneration, ATargetReadForMatchingOnlyMakesTheWholeReadsMosaic) {
  TileFolder folder(40);
  MosaicConfig whole_config = SmallConfig(folder.Path(), 1);
  whole_config.image_width = 640;
  whole_config.image_height = 480;
  whole_config.sub_width = 32;
  whole_config.sub_height = 24;
  whole_config.sub_scale_list = "32,24";
  whole_config.color_correction = 0.5;
  MosaicConfig matching_config = whole_config;
  cv::Mat target(480, 640, CV_8UC3);
  for (int y = 0; y < target.rows; ++y)
    for (int x = 0; x < target.cols; ++x)
      target.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<unsigned char>(x * 255 / 639),
                                             static_cast<unsigned char>(y * 255 / 479), 90);
  TempFolder elsewhere;
  const std::string path = elsewhere.Path() + "/target.jpg";
  cv::imwrite(path, target, {cv::IMWRITE_JPEG_QUALITY, 95});

  qxPhotoMosaic whole(whole_config);
  qxPhotoMosaic matching(matching_config);
  matching.SetMatchingOnlyTargets(true);
  for (qxPhotoMosaic* engine : {&whole, &matching}) {
    engine->SetImageSize(640, 480);
    ASSERT_TRUE(engine->LoadSubImages(folder.Path()));
    ASSERT_TRUE(engine->LoadTarget(path));
    ASSERT_TRUE(engine->GenerateMosaic());
  }
  EXPECT_TRUE(whole.Target().matching_image.empty());
  const cv::Mat whole_matching =
      MakeMatchingImage(whole.Target().working_image.Picture(), {40, 40});
  ASSERT_EQ(matching.Target().matching_image.size(), whole_matching.size());
  EXPECT_LE(cv::norm(matching.Target().matching_image, whole_matching, cv::NORM_INF), 4.0);
  // Colour correction moves each tile toward its cell's mean, here taken
  // from the matching image: a cell given the same tile looks the same.
  const cv::Mat a = matching.MosaicImage();
  const cv::Mat b = whole.MosaicImage();
  ASSERT_EQ(a.size(), b.size());
  int same = 0;
  for (int cell = 0; cell < 400; ++cell) {
    if (matching.CellAssignment()[cell] != whole.CellAssignment()[cell]) continue;
    ++same;
    const cv::Rect r(cell % 20 * 32, cell / 20 * 24, 32, 24);
    EXPECT_LE(cv::norm(a(r), b(r), cv::NORM_INF), 3.0) << "cell " << cell;
  }
  EXPECT_GT(same, 300);

  ASSERT_TRUE(matching.ZoomIntoCell(5, 5, true));
  EXPECT_EQ(matching.Target().matching_image.size(), cv::Size(40, 40));
  EXPECT_FALSE(matching.MosaicImage().empty());
}

// The fault of reading `path` for a user other than root, who may read
// every file: read in a child process that gives up root first.
PictureFault FaultForAnotherUser(const std::string& path) {
  const pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(100);
    _exit(static_cast<int>(ReadTargetPicture(path).fault));
  }
  int status = 0;
  waitpid(child, &status, 0);
  return static_cast<PictureFault>(WIFEXITED(status) ? WEXITSTATUS(status) : 100);
}

TEST(MosaicGeneration, AFailedTargetReadNamesItsCauseInOneLine) {
  TileFolder folder(2);
  MosaicConfig config = SmallConfig(folder.Path(), 1);
  qxPhotoMosaic engine(config);
  engine.SetImageSize(80, 54);
  const std::string dir = folder.Path();
  WriteBytes(dir + "/empty.png", "");
  WriteBytes(dir + "/notes.png", "not a picture");
  WriteBytes(dir + "/broken.png", "\x89PNG\r\n\x1a\n then nothing of a PNG");
  ASSERT_EQ(mkfifo((dir + "/fifo.png").c_str(), 0600), 0);
  const std::string unknown = "not a picture this program reads (";
  struct Row {
    std::string path, cause;
  };
  const Row rows[] = {
      {dir + "/missing.png", "no such file"},
      {dir + "/missing/x.png", "no such file"},
      {dir + "/tile100.png/x.png", "no such file"},
      {dir, "a folder, not a picture"},
      {dir + "/empty.png", unknown + "an empty file)"},
      {dir + "/notes.png", unknown + "not JPEG, PNG, BMP, GIF, TIFF, WebP or HEIF)"},
      {dir + "/broken.png", unknown + "a damaged or unsupported PNG)"},
      {dir + "/fifo.png", "not a plain file"},
  };
  for (const Row& row : rows) {
    EXPECT_FALSE(engine.LoadTarget(row.path)) << row.path;
    const std::vector<std::string> history = LogHistory();
    EXPECT_EQ(history[history.size() - 2],
              "cannot read the target picture " + row.path + " : " + row.cause + "\n");
  }
  const std::string locked = dir + "/tile101.png";
  ASSERT_EQ(chmod(locked.c_str(), 0), 0);
  const DecodedPicture denied(cv::Mat(), PictureSize{}, FaultForAnotherUser(locked));
  EXPECT_EQ(PictureFaultText(denied), "permission denied");
}

TEST(MosaicGeneration, TileSizeChangeAfterAMosaicReloadsTheLibrary) {
  TileFolder folder(8);
  MosaicConfig config = SmallConfig(folder.Path(), 1);
  qxPhotoMosaic engine(config);
  engine.SetTileSize(4, 3, true);  // no mosaic yet: nothing to reload
  engine.GenerateMosaic();
  ASSERT_EQ(engine.Library().Size(), 8u);
  engine.SetTileSize(8, 6, true);
  EXPECT_TRUE(engine.Library().Empty());
  EXPECT_FALSE(engine.Target().loaded);
  engine.GenerateMosaic();
  EXPECT_EQ(engine.Library().Size(), 8u);
  EXPECT_TRUE(fs::exists(folder.Path() + "/mosaic_info2x2-8x6.pmc"));
  EXPECT_TRUE(fs::exists(folder.Path() + "/mosaic_info2x2-4x3.pmc"));
}

TEST(MosaicGeneration, AutoPilotPicksInteriorCellsAndMovesTheTarget) {
  TileFolder folder(40);
  MosaicConfig config = SmallConfig(folder.Path(), 1);
  qxPhotoMosaic engine(config);
  engine.GenerateMosaic();
  for (int i = 0; i < 20; ++i) {
    const std::optional<std::pair<int, int>> cell = engine.PickRandomCell();
    ASSERT_TRUE(cell.has_value());
    EXPECT_GE(cell->first, 1);
    EXPECT_LT(cell->first, engine.Geometry().Grid().div_x - 1);
    EXPECT_GE(cell->second, 1);
    EXPECT_LT(cell->second, engine.Geometry().Grid().div_y - 1);
    const std::size_t index =
        static_cast<std::size_t>(cell->first + cell->second * engine.Geometry().Grid().div_x);
    EXPECT_EQ(engine.Target().tile, engine.CellAssignment()[index]);
  }
}

TEST(MosaicGeneration, EnginesSeededAlikeDrawAlikeEachFromItsOwnSource) {
  TileFolder folder(40);
  MosaicConfig config_a = SmallConfig(folder.Path(), 4);
  MosaicConfig config_b = config_a;
  qxPhotoMosaic a(config_a);
  qxPhotoMosaic b(config_b);
  a.Seed(11);
  b.Seed(11);
  // All of a's draws come before b's: one shared source would give b others.
  struct Draws {
    int target;
    std::vector<int> assignment;
    std::vector<std::pair<int, int>> cells;
    std::vector<int> numbers;
  };
  auto draw = [](qxPhotoMosaic& engine) {
    Draws d;
    engine.GenerateMosaic();
    d.target = engine.Target().tile;
    d.assignment = engine.CellAssignment();
    for (int i = 0; i < 5; ++i)
      d.cells.push_back(engine.PickRandomCell().value_or(std::pair{-1, -1}));
    for (int i = 0; i < 5; ++i) d.numbers.push_back(engine.DrawRandom());
    return d;
  };
  const Draws da = draw(a);
  const Draws db = draw(b);
  EXPECT_EQ(da.target, db.target);
  EXPECT_EQ(da.assignment, db.assignment);
  EXPECT_EQ(da.cells, db.cells);
  EXPECT_EQ(da.numbers, db.numbers);
  for (int n : da.numbers) EXPECT_GE(n, 0);
}

// Without a repeat distance the engine must make exactly the assignment it
// made before repeat distances existed: the matcher's candidates and the
// same draws from a source seeded alike.
TEST(MosaicGeneration, RepeatDistanceZeroKeepsThePlainAssignment) {
  TileFolder folder(40);
  MosaicConfig config = SmallConfig(folder.Path(), 3);
  config.image_default = folder.Path() + "/tile107.png";  // a target without a random draw
  qxPhotoMosaic engine(config);
  engine.Seed(11);
  ASSERT_TRUE(engine.GenerateMosaic());

  std::vector<ColourFeature> features;
  for (const SubImageInfo& info : engine.Library().Entries()) features.push_back(info.feature);
  const TileMatcher matcher(features, 2 * 2 * 3);
  const GridGeometry& grid = engine.Geometry().Grid();
  const cv::Mat matching = MakeMatchingImage(engine.Target().working_image.Picture(),
                                             cv::Size(grid.matching_w, grid.matching_h));
  const int target = engine.Target().tile;
  std::mt19937 random(11);
  std::vector<int> expected;
  std::vector<unsigned char> table;
  ComputeAssignment(
      matcher.MatchCells(matching, grid.div_x, grid.div_y, 2, 2, CandidatesToRequest(3, target)), 3,
      target, true, expected, table, [&random] { return static_cast<int>(random() >> 1); });
  EXPECT_EQ(engine.CellAssignment(), expected);
}

// The rule over a cell table: the first cell whose tile is used again
// within r cells, or -1.
int FirstRepeatWithin(const std::vector<int>& tiles, int div_x, int div_y, int r) {
  for (int cell = 0; cell < div_x * div_y; ++cell) {
    const int cx = cell % div_x, cy = cell / div_x;
    for (int y = std::max(cy - r, 0); y <= std::min(cy + r, div_y - 1); ++y)
      for (int x = std::max(cx - r, 0); x <= std::min(cx + r, div_x - 1); ++x)
        if ((x != cx || y != cy) && tiles[x + y * div_x] == tiles[cell]) return cell;
  }
  return -1;
}

std::vector<int> TableTiles(const std::vector<unsigned char>& table) {
  std::vector<int> tiles;
  for (std::size_t i = 0; i + 4 <= table.size(); i += 4)
    tiles.push_back(UnpackTileIndex(&table[i]));
  return tiles;
}

// How often `line` appears in the console output `text`; the log history is
// too short to hold a whole generation.
int CountLines(const std::string& text, const std::string& line) {
  int count = 0;
  for (std::size_t at = text.find(line + "\n"); at != std::string::npos;
       at = text.find(line + "\n", at + 1))
    ++count;
  return count;
}

TEST(MosaicGeneration, ZoomAndNeighbourMosaicsKeepTheRepeatDistance) {
  TileFolder folder(40);  // (2R + 1)^2 = 9 tiles and the target always keep R = 1
  MosaicConfig config = SmallConfig(folder.Path(), 2);
  config.repeat_distance = 1;
  qxPhotoMosaic engine(config);
  engine.Seed(3);
  testing::internal::CaptureStdout();
  ASSERT_TRUE(engine.GenerateMosaic());
  const GridGeometry& grid = engine.Geometry().Grid();
  EXPECT_EQ(FirstRepeatWithin(engine.CellAssignment(), grid.div_x, grid.div_y, 1), -1);
  ASSERT_TRUE(engine.ZoomIntoCell(4, 4, true));
  EXPECT_EQ(FirstRepeatWithin(engine.CellAssignment(), grid.div_x, grid.div_y, 1), -1);
  // The cell table now holds the last neighbour's mosaic.
  EXPECT_EQ(FirstRepeatWithin(TableTiles(engine.CellTableBytes()), grid.div_x, grid.div_y, 1), -1);
  EXPECT_EQ(CountLines(testing::internal::GetCapturedStdout(), RepeatTooCloseMessage(1)), 0);
}

TEST(MosaicGeneration, TooSmallALibraryForTheRepeatDistanceSaysSoOncePerMosaic) {
  TileFolder folder(8);  // at R = 2 any 3 x 3 cells must differ
  MosaicConfig config = SmallConfig(folder.Path(), 1);
  config.repeat_distance = 2;
  qxPhotoMosaic engine(config);
  testing::internal::CaptureStdout();
  ASSERT_TRUE(engine.GenerateMosaic());
  EXPECT_EQ(CountLines(testing::internal::GetCapturedStdout(), RepeatTooCloseMessage(2)), 1);
  EXPECT_EQ(RepeatTooCloseMessage(2),
            "the library is too small to keep photos 2 cells apart; some repeat closer");
  for (int tile : engine.CellAssignment()) EXPECT_TRUE(tile >= 0 && tile < 8) << tile;
  testing::internal::CaptureStdout();
  const bool zoomed = engine.ZoomIntoCell(3, 3, true);  // nine mosaics, one line
  EXPECT_EQ(CountLines(testing::internal::GetCapturedStdout(), RepeatTooCloseMessage(2)), 1);
  EXPECT_TRUE(zoomed);
}

}  // namespace
}  // namespace tessaline
