#include "library/tile_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>
#include <thread>

#include "common/temp_folder.h"
#include "library/cache_file.h"
#include "library/feature.h"

namespace tessaline {
namespace {

// The last step of a load: the touched tiles done.
const LoadProgress kLoadDone{LoadProgress::Stage::kTouchedTiles, 1.0};

// A progress as one rising number: the stage's index plus its share.
double Scale(const LoadProgress& progress) {
  return static_cast<int>(progress.stage) + progress.fraction;
}

namespace fs = std::filesystem;

cv::Mat Uniform(int w, int h, cv::Scalar bgr) { return cv::Mat(h, w, CV_8UC3, bgr); }

// 5 × 3: blue 200 everywhere, green 0 on the top row and 100 below, red 255
// at the top-left pixel only. Truncated means: red 255 / 15 = 17, green
// 1000 / 15 = 66.7 -> 66, blue 200.
cv::Mat MeanPicture() {
  cv::Mat picture = Uniform(5, 3, cv::Scalar(200, 100, 0));
  picture.row(0).setTo(cv::Scalar(200, 0, 0));
  picture.at<cv::Vec3b>(0, 0) = cv::Vec3b(200, 0, 255);
  return picture;
}

// 4 × 4 in quadrants: red top left, green top right, blue bottom left,
// white bottom right.
cv::Mat Quadrants() {
  cv::Mat picture(4, 4, CV_8UC3);
  picture(cv::Rect(0, 0, 2, 2)).setTo(cv::Scalar(0, 0, 255));
  picture(cv::Rect(2, 0, 2, 2)).setTo(cv::Scalar(0, 255, 0));
  picture(cv::Rect(0, 2, 2, 2)).setTo(cv::Scalar(255, 0, 0));
  picture(cv::Rect(2, 2, 2, 2)).setTo(cv::Scalar(255, 255, 255));
  return picture;
}

// A 3 × 2 GIF built byte by byte. Palette: 0 red, 1 blue, 2 green, 3 white;
// pixels 0 1 2 / 0 3 0. LZW codes are 3 bits: a clear code before every
// second pixel keeps the code table from growing past 8 entries.
std::string TinyGif() {
  const unsigned char head[] = {'G', 'I',  'F', '8', '9', 'a', 3,   0, 2,   0, 0xF1, 0,
                                0,   255,  0,   0,   0,   0,   255, 0, 255, 0, 255,  255,
                                255, 0x2C, 0,   0,   0,   0,   3,   0, 2,   0, 0,    2};
  const int codes[] = {4, 0, 1, 4, 2, 0, 4, 3, 0, 5};  // 4 clear, 5 end
  std::string data;
  unsigned bits = 0;
  int filled = 0;
  for (int code : codes) {
    bits |= static_cast<unsigned>(code) << filled;
    filled += 3;
    while (filled >= 8) {
      data.push_back(static_cast<char>(bits & 0xff));
      bits >>= 8;
      filled -= 8;
    }
  }
  if (filled > 0) data.push_back(static_cast<char>(bits & 0xff));
  std::string gif(reinterpret_cast<const char*>(head), sizeof head);
  gif.push_back(static_cast<char>(data.size()));
  gif += data;
  gif += std::string("\0;", 2);  // block terminator, trailer
  return gif;
}

bool SamePixels(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

class TileLibraryTest : public ::testing::Test {
 protected:
  TileLibraryTest() : dir(folder / "images") {
    config.matching_x = 2;
    config.matching_y = 2;
    config.sub_width = 4;
    config.sub_height = 3;
    config.touched_tile_scale = 2.0;  // touched tiles of 8 × 6
    fs::create_directories(dir);
  }

  std::unique_ptr<TileLibrary> MakeLibrary(int threads = 2) {
    auto library = std::make_unique<TileLibrary>(config);
    library->SetLogStreams(&log, &console);
    library->SetDecodeThreads(threads);
    return library;
  }

  // Loads `from` (the images folder by default) at the fixture's tile shape
  // with fresh log streams.
  bool Load(TileLibrary& library, const std::string& from = "") {
    log.str("");
    console.str("");
    library.SetParams(config);
    return library.LoadSubImages(from.empty() ? dir : from);
  }

  void Put(const std::string& relative, const cv::Mat& picture) {
    fs::create_directories(fs::path(dir + "/" + relative).parent_path());
    ASSERT_TRUE(cv::imwrite(dir + "/" + relative, picture)) << relative;
  }

  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    std::istringstream in(log.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  bool Logged(const std::string& line) const {
    const std::vector<std::string> lines = LogLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  int LinesContaining(const std::string& text) const {
    int count = 0;
    for (const std::string& line : LogLines()) count += line.find(text) != std::string::npos;
    return count;
  }

  static std::vector<std::string> Names(const TileLibrary& library) {
    std::vector<std::string> names;
    for (const SubImageInfo& info : library.Entries()) names.push_back(info.name);
    return names;
  }
  const SubImageInfo* Find(const TileLibrary& library, const std::string& name) {
    for (const SubImageInfo& info : library.Entries())
      if (info.name == name) return &info;
    return nullptr;
  }

  std::string CachePath() const {
    return MosaicInfoPath(dir, config.matching_x, config.matching_y, config.sub_width,
                          config.sub_height);
  }

  TileLibraryParams config;
  TempFolder folder;
  std::string dir;
  std::ostringstream log;
  std::ostringstream console;
};

TEST_F(TileLibraryTest, FirstLoadReadsPicturesAndWritesCacheAndTouchedTiles) {
  Put("a.png", MeanPicture());
  Put("sub/b.bmp", Quadrants());
  auto library = MakeLibrary();
  ASSERT_TRUE(Load(*library));

  std::vector<std::string> names = Names(*library);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"/a.png", "/sub/b.bmp"}));
  const SubImageInfo* a = Find(*library, "/a.png");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(std::vector<int>({a->mean_r, a->mean_g, a->mean_b}), std::vector<int>({17, 66, 200}));
  EXPECT_EQ(a->width, 5);
  EXPECT_EQ(a->height, 3);
  EXPECT_FALSE(a->is_thumb);
  const SubImageInfo* b = Find(*library, "/sub/b.bmp");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->feature, ColourFeature({255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255}));

  // The thumbnail is 4 × 3, red at the top left and white at the bottom right.
  const std::size_t bi = static_cast<std::size_t>(b - &library->Entry(0));
  const cv::Mat& thumb = library->Thumbnail(bi);
  ASSERT_EQ(thumb.size(), cv::Size(4, 3));
  EXPECT_EQ(thumb.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 0, 255));
  EXPECT_EQ(thumb.at<cv::Vec3b>(2, 3), cv::Vec3b(255, 255, 255));

  // Touched tiles are PNG files of 8 × 6 beside the pictures.
  const cv::Mat tle = cv::imread(dir + "/sub/b.tle", cv::IMREAD_UNCHANGED);
  ASSERT_EQ(tle.size(), cv::Size(8, 6));
  EXPECT_EQ(tle.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 0, 255));
  EXPECT_EQ(tle.at<cv::Vec3b>(5, 7), cv::Vec3b(255, 255, 255));
  EXPECT_TRUE(fs::exists(dir + "/a.tle"));

  EXPECT_EQ(LogLines().front(), "reading images... (" + dir + ")");
  for (const std::string& line :
       {std::string("add : 2"), std::string("del : 0"), "images infomation file : " + CachePath(),
        std::string("readed image : 2"), std::string("2 images were read. ")})
    EXPECT_TRUE(Logged(line)) << line << " in\n" << log.str();
  EXPECT_EQ(LinesContaining("use the existing"), 0);

  std::vector<SubImageInfo> cached;
  std::vector<cv::Mat> thumbs;
  std::string error;
  ASSERT_TRUE(ReadMosaicInfoFile(CachePath(), 12, 4, 3, cached, thumbs, error)) << error;
  EXPECT_EQ(cached.size(), 2u);
  EXPECT_EQ(library->LoadProgress(), kLoadDone);
}

TEST_F(TileLibraryTest, UnchangedReloadDecodesNothingAndKeepsTheCache) {
  Put("a.png", MeanPicture());
  Put("b.bmp", Quadrants());
  auto first = MakeLibrary();
  ASSERT_TRUE(Load(*first));
  const std::string bytes = ReadBytes(CachePath());
  const auto written = fs::last_write_time(CachePath());

  auto second = MakeLibrary();  // as in a new run of the program
  ASSERT_TRUE(Load(*second));
  EXPECT_TRUE(Logged("use the existing mosaic infomation(" + CachePath() + ")"));
  EXPECT_TRUE(Logged("add : 0"));
  EXPECT_TRUE(Logged("del : 0"));
  EXPECT_EQ(LinesContaining("images infomation file"), 0);
  EXPECT_NE(console.str().find("the number of image : 2"), std::string::npos);
  EXPECT_EQ(second->PicturesDecoded(), 0);
  EXPECT_EQ(ReadBytes(CachePath()), bytes);
  EXPECT_EQ(fs::last_write_time(CachePath()), written);
  ASSERT_EQ(Names(*second), Names(*first));
  for (std::size_t i = 0; i < first->Size(); ++i) {
    EXPECT_EQ(second->Entry(i).feature, first->Entry(i).feature);
    EXPECT_TRUE(SamePixels(second->Thumbnail(i), first->Thumbnail(i)));
  }
  // The same library object loads again just as well.
  ASSERT_TRUE(Load(*second));
  EXPECT_EQ(second->Size(), 2u);
  EXPECT_EQ(second->PicturesDecoded(), 0);
}

TEST_F(TileLibraryTest, PictureChangedInPlaceIsReadAgainWithItsTouchedTile) {
  const cv::Mat before = Uniform(4, 4, cv::Scalar(10, 20, 30));
  const cv::Mat after = Uniform(4, 4, cv::Scalar(200, 100, 0));
  // How the stamps of the cache can have gone missing: none written yet (a
  // cache from before stamps), the cache rewritten without them (by an
  // older version), a damaged stamp file.
  struct Row {
    const char* what;
    std::function<void()> lose_stamps;
    int broken_lines;
  };
  const Row rows[] = {
      {"stamps kept", [] {}, 0},
      {"no stamp file", [&] { fs::remove(StampFilePath(CachePath())); }, 0},
      {"cache rewritten",
       [&] {
         fs::last_write_time(CachePath(), fs::last_write_time(CachePath()) + std::chrono::hours(1));
       },
       0},
      {"stamp file damaged", [&] { WriteBytes(StampFilePath(CachePath()), "tlstamp1 cut"); }, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    fs::remove_all(dir);
    Put("a.bmp", before);
    Put("b.bmp", Quadrants());
    ASSERT_TRUE(Load(*MakeLibrary()));
    row.lose_stamps();
    // Nothing changed on disk: nothing is decoded, whatever became of the
    // stamps.
    auto untouched = MakeLibrary();
    ASSERT_TRUE(Load(*untouched));
    EXPECT_TRUE(Logged("add : 0"));
    EXPECT_EQ(untouched->PicturesDecoded(), 0);
    EXPECT_EQ(LinesContaining("broken stamp file"), row.broken_lines);

    // Another picture of the same size in bytes, under the same name.
    const auto written = fs::last_write_time(dir + "/a.bmp");
    Put("a.bmp", after);
    fs::last_write_time(dir + "/a.bmp", written + std::chrono::seconds(2));
    auto library = MakeLibrary();
    ASSERT_TRUE(Load(*library));
    EXPECT_TRUE(Logged("add : 1"));
    EXPECT_TRUE(Logged("del : 1"));
    EXPECT_EQ(library->PicturesDecoded(), 1);
    ASSERT_EQ(Names(*library).back(), "/a.bmp");
    const SubImageInfo& a = library->Entry(1);
    EXPECT_EQ(std::vector<int>({a.mean_r, a.mean_g, a.mean_b}), std::vector<int>({0, 100, 200}));
    EXPECT_TRUE(SamePixels(library->Thumbnail(1), Uniform(4, 3, cv::Scalar(200, 100, 0))));
    EXPECT_TRUE(SamePixels(cv::imread(dir + "/a.tle"), Uniform(8, 6, cv::Scalar(200, 100, 0))));

    auto again = MakeLibrary();
    ASSERT_TRUE(Load(*again));
    EXPECT_TRUE(Logged("add : 0"));
    EXPECT_EQ(again->PicturesDecoded(), 0);
  }
}

TEST_F(TileLibraryTest, FolderNamedLikeAPictureTypeKeepsItsOwnFilesOut) {
  // Every path under this folder contains "jpg", so the scan's patterns
  // match the cache and the ".tle" copies too.
  const std::string photos = folder / "my_jpg_photos";
  fs::create_directories(photos);
  ASSERT_TRUE(cv::imwrite(photos + "/a.png", MeanPicture()));
  ASSERT_TRUE(cv::imwrite(photos + "/b.png", Quadrants()));
  auto library = MakeLibrary();
  ASSERT_TRUE(Load(*library, photos));
  ASSERT_TRUE(fs::exists(photos + "/a.tle"));
  const std::string cache = MosaicInfoPath(photos, config.matching_x, config.matching_y,
                                           config.sub_width, config.sub_height);
  const auto written = fs::last_write_time(cache);

  auto again = MakeLibrary();
  ASSERT_TRUE(Load(*again, photos));
  EXPECT_TRUE(Logged("add : 0"));
  EXPECT_TRUE(Logged("del : 0"));
  EXPECT_EQ(again->Size(), 2u);
  EXPECT_EQ(fs::last_write_time(cache), written);
}

TEST_F(TileLibraryTest, RenamedPictureMovesToTheEnd) {
  Put("a.png", Uniform(3, 3, cv::Scalar(10, 20, 30)));
  Put("b.png", Uniform(3, 3, cv::Scalar(40, 50, 60)));
  Put("c.png", Uniform(3, 3, cv::Scalar(70, 80, 90)));
  auto library = MakeLibrary();
  ASSERT_TRUE(Load(*library));
  std::vector<std::string> names = Names(*library);
  const std::string renamed = names.front();
  fs::rename(dir + renamed, dir + "/z.png");
  const cv::Mat old_thumb = library->Thumbnail(0).clone();

  ASSERT_TRUE(Load(*library));
  EXPECT_TRUE(Logged("add : 1"));
  EXPECT_TRUE(Logged("del : 1"));
  names.erase(names.begin());
  names.push_back("/z.png");
  EXPECT_EQ(Names(*library), names);
  EXPECT_TRUE(SamePixels(library->Thumbnail(2), old_thumb));
  EXPECT_EQ(library->PicturesDecoded(), 1);
}

TEST_F(TileLibraryTest, MissingFolderGivesAnEmptyLibrary) {
  auto library = MakeLibrary();
  EXPECT_FALSE(Load(*library, folder / "absent"));
  EXPECT_EQ(library->Size(), 0u);
  EXPECT_TRUE(Logged("add : 0"));
  EXPECT_TRUE(Logged("readed image : 0"));
  EXPECT_TRUE(Logged("0 images were read. "));
  EXPECT_FALSE(fs::exists(folder / "absent"));
  EXPECT_EQ(library->LoadProgress(), kLoadDone);
}

TEST_F(TileLibraryTest, AnEmptyLoadSaysWhyAndASuccessForgetsIt) {
  struct Row {
    const char* file;  // put into the folder, or nullptr
    const char* bytes;
    bool folder_exists;
    LoadFailure want;
    const char* text;
  };
  const Row rows[] = {
      {nullptr, "", false, LoadFailure::kMissingFolder, "the images folder is missing : "},
      {nullptr, "", true, LoadFailure::kNoPictures, "the images folder holds no pictures : "},
      {"notes.txt", "no picture", true, LoadFailure::kNoPictures,
       "the images folder holds no pictures : "},
      {"bad.jpg", "not a picture at all", true, LoadFailure::kNoneReadable,
       "none of the pictures could be read : "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    fs::remove_all(dir);
    if (row.folder_exists) fs::create_directories(dir);
    if (row.file) WriteBytes(dir + "/" + row.file, row.bytes);
    auto library = MakeLibrary();
    EXPECT_FALSE(Load(*library));
    EXPECT_EQ(library->LastLoadFailure(), row.want);
    EXPECT_EQ(library->LoadFailureText(), row.text + dir);
    EXPECT_TRUE(Logged(row.text + dir));
    fs::create_directories(dir);
    Put("good.png", MeanPicture());
    ASSERT_TRUE(Load(*library));
    EXPECT_EQ(library->LastLoadFailure(), LoadFailure::kNone);
    EXPECT_EQ(library->LoadFailureText(), "");
  }
}

TEST_F(TileLibraryTest, EmptiedFolderRewritesTheCacheEmpty) {
  Put("a.png", MeanPicture());
  Put("b.png", Quadrants());
  auto library = MakeLibrary();
  ASSERT_TRUE(Load(*library));
  fs::remove(dir + "/a.png");
  fs::remove(dir + "/b.png");
  EXPECT_FALSE(Load(*library));
  EXPECT_TRUE(Logged("del : 2"));
  EXPECT_TRUE(Logged("images infomation file : " + CachePath()));
  EXPECT_EQ(ReadBytes(CachePath()), std::string(4, '\0'));
}

TEST_F(TileLibraryTest, TrailingSeparatorNamesTheSameFolder) {
  Put("a.png", MeanPicture());
  Put("b.png", Quadrants());
  auto library = MakeLibrary();
  ASSERT_TRUE(Load(*library));
  const std::string bytes = ReadBytes(CachePath());
  ASSERT_TRUE(Load(*MakeLibrary(), dir + "/"));
  EXPECT_TRUE(Logged("use the existing mosaic infomation(" + CachePath() + ")")) << log.str();
  EXPECT_TRUE(Logged("add : 0"));
  EXPECT_TRUE(Logged("del : 0"));
  EXPECT_EQ(ReadBytes(CachePath()), bytes);

  // A cache made from "images/" before held names without the leading
  // separator; it loads as it is, nothing read again.
  std::vector<SubImageInfo> entries = library->Entries();
  for (SubImageInfo& entry : entries) entry.name.erase(0, 1);
  std::string error;
  ASSERT_TRUE(WriteMosaicInfoFile(CachePath(), entries, library->Store(), error)) << error;
  fs::remove(StampFilePath(CachePath()));
  for (const std::string& from : {dir + "/", dir + "//", dir}) {
    auto again = MakeLibrary();
    ASSERT_TRUE(Load(*again, from));
    EXPECT_TRUE(Logged("add : 0")) << from;
    EXPECT_EQ(again->PicturesDecoded(), 0) << from;
    EXPECT_EQ(Names(*again), Names(*library)) << from;
    EXPECT_EQ(again->ImagesPath(), dir + "/");
  }
}

TEST_F(TileLibraryTest, EachTileSizeKeepsItsOwnCache) {
  Put("a.png", MeanPicture());
  auto library = MakeLibrary();
  ASSERT_TRUE(Load(*library));
  const std::string first_cache = CachePath();
  const std::string first_bytes = ReadBytes(first_cache);
  config.sub_width = 2;
  config.sub_height = 2;
  ASSERT_TRUE(Load(*library));
  EXPECT_TRUE(fs::exists(dir + "/mosaic_info2x2-2x2.pmc"));
  EXPECT_EQ(ReadBytes(first_cache), first_bytes);
  EXPECT_EQ(library->Thumbnail(0).size(), cv::Size(2, 2));
  config.sub_width = 4;
  config.sub_height = 3;
  ASSERT_TRUE(Load(*library));
  EXPECT_TRUE(Logged("add : 0"));
  EXPECT_EQ(library->PicturesDecoded(), 0);
  EXPECT_EQ(library->Thumbnail(0).size(), cv::Size(4, 3));
}

TEST_F(TileLibraryTest, BrokenCacheIsIgnoredWithOneLineAndReplaced) {
  Put("a.png", MeanPicture());
  Put("b.png", Quadrants());
  WriteBytes(CachePath(), "this is no cache file");
  auto library = MakeLibrary();
  ASSERT_TRUE(Load(*library));
  EXPECT_EQ(LinesContaining(CachePath()), 3) << log.str();  // use…, the fault, written
  EXPECT_EQ(LinesContaining("broken cache file " + CachePath()), 1) << log.str();
  EXPECT_TRUE(Logged("add : 2"));
  std::vector<SubImageInfo> cached;
  std::vector<cv::Mat> thumbs;
  std::string error;
  EXPECT_TRUE(ReadMosaicInfoFile(CachePath(), 12, 4, 3, cached, thumbs, error)) << error;

  // A broken cache of an empty folder is replaced too, so it is told once.
  fs::remove(dir + "/a.png");
  fs::remove(dir + "/b.png");
  WriteBytes(CachePath(), "junk");
  EXPECT_FALSE(Load(*library));
  EXPECT_EQ(ReadBytes(CachePath()), std::string(4, '\0'));
  EXPECT_FALSE(Load(*library));
  EXPECT_EQ(LinesContaining("broken"), 0);
}

TEST_F(TileLibraryTest, UnreadablePicturesAreSkippedSilentlyAndRetried) {
  Put("good.png", MeanPicture());
  WriteBytes(dir + "/bad.jpg", "not a picture at all");
  WriteBytes(dir + "/empty.png", "");
  WriteBytes(dir + "/fake.gif", "GIF89a");  // cut off before its size
  auto library = MakeLibrary();
  ASSERT_TRUE(Load(*library));
  EXPECT_TRUE(Logged("add : 4"));
  EXPECT_EQ(Names(*library), std::vector<std::string>{"/good.png"});
  for (const char* name : {"bad", "empty", "fake"}) {
    EXPECT_EQ(log.str().find(name), std::string::npos) << name;
    EXPECT_EQ(console.str().find(name), std::string::npos) << name;
  }
  const auto written = fs::last_write_time(CachePath());
  fs::last_write_time(CachePath(), written - std::chrono::hours(1));
  ASSERT_TRUE(Load(*library));
  EXPECT_TRUE(Logged("add : 3"));
  EXPECT_EQ(library->PicturesDecoded(), 3);
  EXPECT_TRUE(Logged("images infomation file : " + CachePath()));  // rewritten anyway
  EXPECT_NE(fs::last_write_time(CachePath()), written - std::chrono::hours(1));
}

TEST_F(TileLibraryTest, TouchedTileThatCannotBeWrittenIsOneLineAndTheTileStays) {
  Put("a.png", MeanPicture());
  auto library = MakeLibrary();
  config.touched_tile_scale = 40.0;  // a touched tile of 160 × 120, 56 KB
  {
    // Room for the cache file but not for the touched tile.
    FileSizeLimit full_disk(16 << 10);
    ASSERT_TRUE(Load(*library));
  }
  EXPECT_EQ(Names(*library), std::vector<std::string>{"/a.png"});
  EXPECT_EQ(LinesContaining("a.tle"), 1);
  EXPECT_EQ(LinesContaining("cannot write the touched tile " + dir + "//a.tle : "), 1) << log.str();
  EXPECT_FALSE(fs::exists(dir + "/a.tle"));
}

TEST_F(TileLibraryTest, PicturesWithPmcInTheirNamesAreLoaded) {
  Put("pmc_shots/a.png", MeanPicture());
  Put("upmc_holiday.jpg", Quadrants());
  auto library = MakeLibrary();
  ASSERT_TRUE(Load(*library));
  std::vector<std::string> names = Names(*library);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"/pmc_shots/a.png", "/upmc_holiday.jpg"}));
  EXPECT_TRUE(fs::exists(dir + "/upmc_holiday.tle"));
}

TEST_F(TileLibraryTest, ThumbFlagFollowsTheDerivedName) {
  Put("_thumb.png", MeanPicture());
  struct Row {
    std::string from;
    std::string name;
    bool is_thumb;
  };
  // 11 bytes with the leading separator, which a trailing one on the
  // folder does not take away.
  const Row rows[] = {{dir, "/_thumb.png", true}, {dir + "/", "/_thumb.png", true}};
  auto library = MakeLibrary();
  for (const Row& row : rows) {
    ASSERT_TRUE(Load(*library, row.from));
    ASSERT_EQ(library->Size(), 1u);
    EXPECT_EQ(library->Entry(0).name, row.name);
    EXPECT_EQ(library->Entry(0).is_thumb, row.is_thumb) << row.name;
  }
}

TEST_F(TileLibraryTest, GreyAndAlphaPicturesLoadAsTheirColourEquivalent) {
  cv::Mat grey(3, 5, CV_8UC1);
  for (int i = 0; i < 15; ++i) grey.data[i] = static_cast<unsigned char>(i * 17);
  cv::Mat grey_bgr;
  cv::cvtColor(grey, grey_bgr, cv::COLOR_GRAY2BGR);
  cv::Mat bgra(3, 5, CV_8UC4);
  for (int i = 0; i < 60; ++i) bgra.data[i] = static_cast<unsigned char>(i * 4 + 1);
  cv::Mat bgra_bgr;
  cv::cvtColor(bgra, bgra_bgr, cv::COLOR_BGRA2BGR);
  Put("grey.png", grey);
  Put("grey_as_colour.png", grey_bgr);
  Put("alpha.png", bgra);
  Put("alpha_as_colour.png", bgra_bgr);
  auto library = MakeLibrary();
  ASSERT_TRUE(Load(*library));
  ASSERT_EQ(library->Size(), 4u);
  for (const std::string base : {"/grey", "/alpha"}) {
    const SubImageInfo* plain = Find(*library, base + ".png");
    const SubImageInfo* colour = Find(*library, base + "_as_colour.png");
    ASSERT_TRUE(plain && colour) << base;
    EXPECT_EQ(std::vector<int>({plain->mean_r, plain->mean_g, plain->mean_b}),
              std::vector<int>({colour->mean_r, colour->mean_g, colour->mean_b}));
    EXPECT_EQ(plain->feature, colour->feature) << base;
    const cv::Mat& a = library->Thumbnail(static_cast<std::size_t>(plain - &library->Entry(0)));
    const cv::Mat& b = library->Thumbnail(static_cast<std::size_t>(colour - &library->Entry(0)));
    EXPECT_TRUE(SamePixels(a, b)) << base;
  }
  // Grey means are equal in all three channels: (0 + 17 + ... + 238) / 15 = 119.
  const SubImageInfo* plain_grey = Find(*library, "/grey.png");
  EXPECT_EQ(std::vector<int>({plain_grey->mean_r, plain_grey->mean_g, plain_grey->mean_b}),
            std::vector<int>({119, 119, 119}));
}

TEST_F(TileLibraryTest, GifPicturesGiveTheirFirstFrame) {
  const cv::Mat picture = [] {
    TempFolder scratch;
    WriteBytes(scratch / "tiny.gif", TinyGif());
    return DecodeTilePicture(scratch / "tiny.gif");
  }();
  ASSERT_EQ(picture.size(), cv::Size(3, 2));
  ASSERT_EQ(picture.type(), CV_8UC3);
  EXPECT_EQ(picture.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 0, 255));  // red, as blue-green-red
  EXPECT_EQ(picture.at<cv::Vec3b>(0, 1), cv::Vec3b(255, 0, 0));  // blue
  EXPECT_EQ(picture.at<cv::Vec3b>(0, 2), cv::Vec3b(0, 255, 0));  // green
  EXPECT_EQ(picture.at<cv::Vec3b>(1, 1), cv::Vec3b(255, 255, 255));

  WriteBytes(dir + "/tiny.gif", TinyGif());
  WriteBytes(dir + "/named_wrong.png", TinyGif());  // found by its bytes, not its name
  auto library = MakeLibrary();
  ASSERT_TRUE(Load(*library));
  ASSERT_EQ(library->Size(), 2u);
  for (const SubImageInfo& info : library->Entries()) {
    EXPECT_EQ(info.width, 3);
    EXPECT_EQ(info.height, 2);
    // Red 4 × 255 / 6 = 170, green 2 × 255 / 6 = 85, blue 2 × 255 / 6 = 85.
    EXPECT_EQ(std::vector<int>({info.mean_r, info.mean_g, info.mean_b}),
              std::vector<int>({170, 85, 85}));
  }
}

TEST_F(TileLibraryTest, BadTouchedTileScaleMakesNoFilesWithOneLine) {
  Put("a.png", MeanPicture());
  config.touched_tile_scale = -1.0;
  auto library = MakeLibrary();
  ASSERT_TRUE(Load(*library));
  EXPECT_FALSE(fs::exists(dir + "/a.tle"));
  EXPECT_EQ(LinesContaining("touched_tile_scale"), 1);
}

TEST_F(TileLibraryTest, ProgressRisesFromZeroToThree) {
  for (int i = 0; i < 5; ++i) Put("p" + std::to_string(i) + ".png", Uniform(4, 4, cv::Scalar(i)));
  WriteBytes(dir + "/broken.png", "x");
  for (int run = 0; run < 2; ++run) {  // first load, then from the cache
    auto library = MakeLibrary();
    std::vector<double> seen;
    library->SetProgressObserver([&](const LoadProgress& p) { seen.push_back(Scale(p)); });
    // The index is built while the status shows its stage, and before the
    // touched tiles.
    std::vector<double> at_index;
    library->SetIndexBuilder([&] { at_index.push_back(Scale(library->LoadProgress())); });
    ASSERT_TRUE(Load(*library));
    ASSERT_EQ(at_index.size(), 1u);
    EXPECT_TRUE(at_index[0] > 1.0 && at_index[0] <= 2.0) << at_index[0];
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 0.0);
    EXPECT_EQ(seen.back(), 3.0);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << "run " << run;
    EXPECT_NE(std::find(seen.begin(), seen.end(), 1.0), seen.end());
    EXPECT_NE(std::find(seen.begin(), seen.end(), 2.0), seen.end());
  }
}

// Everything a load leaves behind: log lines without timings, console,
// progress steps, cache bytes and touched-tile files.
struct LoadOutcome {
  std::vector<std::string> lines;
  std::string console;
  std::vector<double> progress;
  std::string cache;
  std::vector<std::string> tles;
};

TEST_F(TileLibraryTest, ParallelLoadEqualsSequentialLoad) {
  cv::RNG rng(7);
  for (int i = 0; i < 16; ++i) {
    cv::Mat picture(5 + i * 3, 30 - i, CV_8UC3);
    rng.fill(picture, cv::RNG::UNIFORM, 0, 256);
    const char* extension[] = {".png", ".bmp", ".jpg"};
    Put("set/p" + std::to_string(i) + extension[i % 3], picture);
  }
  Put("set/twin.png", Uniform(6, 6, cv::Scalar(1, 2, 3)));      // twin.jpg and twin.png share
  Put("set/twin.jpg", Uniform(6, 6, cv::Scalar(200, 100, 0)));  // one touched tile
  WriteBytes(dir + "/set/broken.jpg", "x");
  const std::string from = dir + "/set";

  // Both loads read the same folder, so they see the same listing order.
  auto run = [&](int threads) {
    auto library = MakeLibrary(threads);
    LoadOutcome outcome;
    library->SetProgressObserver(
        [&](const LoadProgress& p) { outcome.progress.push_back(Scale(p)); });
    EXPECT_TRUE(Load(*library, from));
    for (const std::string& line : LogLines()) {
      if (line.rfind("diff", 0) != 0 && line.rfind("total", 0) != 0) outcome.lines.push_back(line);
    }
    outcome.console = console.str();
    outcome.cache = ReadBytes(MosaicInfoPath(from, 2, 2, 4, 3));
    for (const SubImageInfo& info : library->Entries())
      outcome.tles.push_back(ReadBytes(TouchedTilePath(from + info.name)));
    // Leave the folder as it was before the load.
    fs::remove(MosaicInfoPath(from, 2, 2, 4, 3));
    for (const SubImageInfo& info : library->Entries())
      fs::remove(TouchedTilePath(from + info.name));
    return outcome;
  };
  const LoadOutcome sequential = run(1);
  const LoadOutcome parallel = run(4);
  EXPECT_EQ(parallel.lines, sequential.lines);
  EXPECT_EQ(parallel.console, sequential.console);
  EXPECT_EQ(parallel.progress, sequential.progress);
  EXPECT_EQ(parallel.cache.size(), sequential.cache.size());
  EXPECT_TRUE(parallel.cache == sequential.cache);
  EXPECT_EQ(parallel.tles, sequential.tles);
  EXPECT_EQ(sequential.tles.size(), 18u);
}

TEST(DecodePool, HandsResultsOverInJobOrder) {
  // Each job waits until every later job is done, so they finish in reverse
  // order; the results still arrive in job order on the calling thread.
  constexpr std::size_t kJobs = 3;
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t finished_from = kJobs;  // jobs >= this one are done
  std::vector<std::size_t> order;
  const std::thread::id caller = std::this_thread::get_id();
  RunInOrder<std::size_t>(
      kJobs, static_cast<int>(kJobs),
      [&](std::size_t i) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return finished_from == i + 1; });
        finished_from = i;
        changed.notify_all();
        return i * 10;
      },
      [&](std::size_t i, std::size_t& result) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        EXPECT_EQ(result, i * 10);
        order.push_back(i);
      });
  EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2}));
}

TEST(DecodePool, OneThreadRunsEverythingOnTheCaller) {
  const std::thread::id caller = std::this_thread::get_id();
  std::vector<int> seen;
  RunInOrder<int>(
      4, 1,
      [&](std::size_t i) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        return static_cast<int>(i) + 1;
      },
      [&](std::size_t, int& result) { seen.push_back(result); });
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4}));
}

}  // namespace
}  // namespace tessaline

namespace tessaline {
namespace {

// Jobs that hold their cost in bytes for a moment and record the most bytes
// held at once, and whether a job over the budget ever ran beside another.
struct MemoryProbe {
  std::mutex mutex;
  std::uint64_t held = 0;
  std::uint64_t peak = 0;
  int running = 0;
  bool over_budget_shared = false;

  std::size_t Run(std::size_t i, std::uint64_t cost, std::uint64_t budget) {
    Change(cost, +1, budget);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    Change(cost, -1, budget);
    return i;
  }
  void Change(std::uint64_t cost, int sign, std::uint64_t budget) {
    std::lock_guard<std::mutex> lock(mutex);
    held = sign > 0 ? held + cost : held - cost;
    running += sign;
    peak = std::max(peak, held);
    over_budget_shared |= running > 1 && held > budget;
  }
};

TEST(DecodePool, RunningJobsStayWithinTheMemoryBudget) {
  struct Case {
    const char* what;
    std::vector<std::uint64_t> costs;
    std::uint64_t budget;
    int threads;
  };
  const Case cases[] = {
      {"equal jobs, two fit", std::vector<std::uint64_t>(12, 40), 100, 4},
      {"one fits at a time", std::vector<std::uint64_t>(6, 60), 100, 3},
      {"larger than the budget runs alone", {150, 10, 10, 150, 10, 10, 10}, 100, 3},
      {"unknown sizes cost nothing", std::vector<std::uint64_t>(8, 0), 1, 4},
  };
  for (const Case& c : cases) {
    MemoryProbe probe;
    JobLimits limits;
    limits.threads = c.threads;
    limits.budget = c.budget;
    limits.cost = [&](std::size_t i) { return c.costs[i]; };
    std::vector<std::size_t> order;
    EXPECT_TRUE(RunInOrder<std::size_t>(
        c.costs.size(), limits, [&](std::size_t i) { return probe.Run(i, c.costs[i], c.budget); },
        [&](std::size_t i, std::size_t& result) {
          EXPECT_EQ(result, i);
          order.push_back(i);
        }))
        << c.what;
    EXPECT_EQ(order.size(), c.costs.size()) << c.what;
    const std::uint64_t largest = *std::max_element(c.costs.begin(), c.costs.end());
    EXPECT_LE(probe.peak, std::max(c.budget, largest)) << c.what;
    EXPECT_FALSE(probe.over_budget_shared) << c.what;
  }
}

TEST(DecodePool, AThrowingJobEndsTheRunOnTheCallerAfterJoiningEveryThread) {
  const std::vector<std::function<void()>> throws = {
      [] { throw std::bad_alloc(); }, [] { cv::Mat(-1, -1, CV_8UC3); },  // OpenCV's own exception
  };
  for (std::size_t t = 0; t < throws.size(); ++t) {
    for (int threads : {1, 4}) {
      std::atomic<int> running{0};
      std::vector<std::size_t> consumed;
      JobLimits limits;
      limits.threads = threads;
      bool thrown = false;
      try {
        RunInOrder<std::size_t>(
            40, limits,
            [&](std::size_t i) {
              ++running;
              std::this_thread::sleep_for(std::chrono::milliseconds(1));
              --running;
              if (i == 5) throws[t]();
              return i;
            },
            [&](std::size_t i, std::size_t&) { consumed.push_back(i); });
      } catch (const std::exception&) {
        thrown = true;
      }
      EXPECT_TRUE(thrown) << t << " on " << threads;
      EXPECT_EQ(running.load(), 0) << "a job still runs after the return";
      EXPECT_LE(consumed.size(), 5u);
      for (std::size_t i = 0; i < consumed.size(); ++i) EXPECT_EQ(consumed[i], i);
    }
  }
}

TEST_F(TileLibraryTest, PictureTooLargeForTheBudgetIsSkippedWithOneLine) {
  Put("a.png", MeanPicture());  // 5 × 3: 45 bytes decoded
  Put("b.png", Quadrants());    // 4 × 4: 48 bytes
  auto library = MakeLibrary();
  library->SetDecodeBudget(46);
  ASSERT_TRUE(Load(*library));
  EXPECT_EQ(Names(*library), std::vector<std::string>{"/a.png"});
  EXPECT_EQ(library->PicturesDecoded(), 1);
  EXPECT_EQ(LinesContaining("b.png"), 1);
  EXPECT_TRUE(Logged("too large to decode, skipped : /b.png (4 x 4)")) << log.str();
}

TEST_F(TileLibraryTest, ThrowingDecoderStopsTheLoadWithOneLineAndKeepsTheCache) {
  for (int i = 0; i < 8; ++i) Put("p" + std::to_string(i) + ".png", MeanPicture());
  for (int threads : {1, 3}) {
    fs::remove(CachePath());
    auto library = MakeLibrary(threads);
    library->SetPictureDecoder([](const std::string& path) {
      if (path.find("p5") != std::string::npos) throw std::bad_alloc();
      return DecodeTilePicture(path);
    });
    EXPECT_FALSE(Load(*library));
    EXPECT_EQ(library->LastLoadFailure(), LoadFailure::kStopped);
    EXPECT_EQ(library->LoadFailureText(), "error : the load stopped : std::bad_alloc");
    EXPECT_EQ(LinesContaining("the load stopped"), 1);
    EXPECT_TRUE(library->Empty());
    EXPECT_FALSE(fs::exists(CachePath())) << "a partial cache was written";
  }
}

TEST_F(TileLibraryTest, CancelledLoadLeavesTheCacheAsItWasAndTheNextLoadCompletes) {
  for (int i = 0; i < 6; ++i) Put("p" + std::to_string(i) + ".png", MeanPicture());
  auto library = MakeLibrary();
  ASSERT_TRUE(Load(*library));
  const std::string old_cache = ReadBytes(CachePath());
  for (int i = 6; i < 20; ++i) Put("p" + std::to_string(i) + ".png", Quadrants());
  std::atomic<bool> cancel{false};
  library->SetCancelFlag(&cancel);
  library->SetPictureDecoder([&](const std::string& path) {
    cancel = true;  // the quit comes while the first new picture decodes
    return DecodeTilePicture(path);
  });
  EXPECT_FALSE(Load(*library));
  EXPECT_EQ(library->LastLoadFailure(), LoadFailure::kCancelled);
  EXPECT_TRUE(library->Empty());
  EXPECT_LT(library->PicturesDecoded(), 14);
  EXPECT_EQ(ReadBytes(CachePath()), old_cache);

  cancel = false;
  library->SetPictureDecoder(DecodeTilePicture);
  ASSERT_TRUE(Load(*library));
  EXPECT_EQ(library->Size(), 20u);
  EXPECT_TRUE(Logged("add : 14"));
}

}  // namespace
}  // namespace tessaline
