#include "library/image_scan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>

#include "common/temp_folder.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Sorted(std::vector<std::string> items) {
  std::sort(items.begin(), items.end());
  return items;
}

TEST(ImageScan, MissingFolderOrAFileGiveNothing) {
  TempFolder folder;
  WriteBytes(folder / "a.jpg", "x");
  EXPECT_TRUE(ScanImageFiles(folder / "absent").empty());
  EXPECT_TRUE(ScanImageFiles(folder / "a.jpg").empty());
  EXPECT_TRUE(ScanImageFiles("").empty());
}

TEST(ImageScan, OnlyFileNamesOfPictureTypesCount) {
  TempFolder folder;
  struct Row {
    std::string relative;
    bool found;
  };
  const Row rows[] = {
      // The folders above a file never make it a picture.
      {"png_tiles/clip.mp4", false},
      {"png_tiles/beach.jpg", true},
      {"notes_jpg.txt", false},
      {"jpg", false},
      {"archive.jpg.zip", false},
      {"upmc_holiday.jpg", true},  // "pmc" in a picture's own name
      // The program's own files and its writers' temporaries.
      {"mosaic_info2x2-32x18.pmc", false},
      {"mosaic_info2x2-32x18.pmc.tmp", false},
      {"mosaic_info2x2-32x18.pmc.stamps", false},
      {"beach.tle", false},
      {".x.pmc.tmp", false},
      {".beach.tle.1234-0.tmp", false},
      {".export.png.1234-0.tmp", false},
      {".mosaic.part.png", false},
      {".clip.part.mp4", false},
      {".tessaline-jpgA1b", false},
      {"._IMG_0001.jpg", false},  // another system's hidden companion
      {".hidden/inside.png", true},
      // Every type of the table, in any letter case.
      {"SCAN.JPEG", true},
      {"photo.Jpg", true},
      {"x.TIFF", true},
      {"y.tif", true},
      {"phone.HEIC", true},
      {"phone.heif", true},
      {"web.webp", true},
      {"old.BMP", true},
      {"anim.gif", true},
      {"shot.PNG", true},
  };
  std::vector<std::string> expected;
  for (const Row& row : rows) {
    WriteBytes(folder / row.relative, "x");
    if (row.found) expected.push_back(folder / row.relative);
  }
  EXPECT_EQ(Sorted(ScanImageFiles(folder.Path())), Sorted(expected));
}

TEST(ImageScan, EntersASubfolderWhereItIsMet) {
  TempFolder folder;
  for (const char* name : {"a.png", "b.png", "c.png"}) WriteBytes(folder / name, "x");
  for (const char* name : {"sub/d.png", "sub/e.png", "sub/inner/f.png"})
    WriteBytes(folder / name, "x");
  const std::vector<std::string> found = ScanImageFiles(folder.Path());
  ASSERT_EQ(found.size(), 6u);
  // Whatever the listing order, the folder's three files come in one run.
  const auto first = std::find_if(found.begin(), found.end(), [&](const std::string& p) {
    return p.rfind(folder / "sub/", 0) == 0;
  });
  ASSERT_NE(first, found.end());
  for (auto it = first; it != first + 3; ++it) EXPECT_EQ(it->rfind(folder / "sub/", 0), 0u) << *it;
}

TEST(ImageScan, TrailingSeparatorIsKeptInThePaths) {
  TempFolder folder;
  WriteBytes(folder / "a.png", "x");
  EXPECT_EQ(ScanImageFiles(folder.Path() + "/"), std::vector<std::string>{folder / "a.png"});
}

TEST(ImageScan, LinkLoopEndsAndLinkedFilesCount) {
  TempFolder folder;
  WriteBytes(folder / "sub/a.png", "x");
  fs::create_directory_symlink(folder.Path(), folder / "sub/loop_png");
  fs::create_symlink(folder / "sub/a.png", folder / "linked.png");
  EXPECT_EQ(Sorted(ScanImageFiles(folder.Path())),
            Sorted({folder / "sub/a.png", folder / "linked.png"}));
}

TEST(ImageScan, OnlyRegularFilesAndLinksToThemCount) {
  TempFolder folder;
  WriteBytes(folder / "real.jpg", "x");
  ASSERT_EQ(mkfifo((folder / "fifo.jpg").c_str(), 0600), 0);
  fs::create_symlink(folder / "fifo.jpg", folder / "to_fifo.png");
  fs::create_symlink(folder / "gone.png", folder / "dangling.png");
  fs::create_symlink("/dev/null", folder / "device.bmp");
  EXPECT_EQ(ScanImageFiles(folder.Path()), std::vector<std::string>{folder / "real.jpg"});
}

// Runs `check` as an ordinary user: the superuser reads every folder
// whatever its mode. Returns its result; a child process keeps the test
// process's own user.
bool AsOrdinaryUser(const std::function<bool()>& check) {
  if (geteuid() != 0) return check();
  const pid_t child = fork();
  if (child == 0) {
    const bool dropped = setgid(65534) == 0 && setuid(65534) == 0;
    _exit(dropped && check() ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(ImageScan, UnreadableFolderIsSkipped) {
  TempFolder folder;
  WriteBytes(folder / "a.png", "x");
  WriteBytes(folder / "closed/b.png", "x");
  chmod(folder.Path().c_str(), 0755);
  chmod((folder / "closed").c_str(), 0);
  const std::string root = folder.Path();
  EXPECT_TRUE(AsOrdinaryUser(
      [&] { return ScanImageFiles(root) == std::vector<std::string>{root + "/a.png"}; }));
  chmod((folder / "closed").c_str(), 0700);
}

TEST(ImageScan, NamesAndImagesPath) {
  struct Row {
    std::string path, dir, name;
  };
  const Row rows[] = {
      {"./images/a.jpg", "./images", "/a.jpg"},
      {"./images/a.jpg", "./images/", "a.jpg"},
      {"./images/sub/a.jpg", "./images", "/sub/a.jpg"},
      {"/elsewhere/a.jpg", "./images", "/elsewhere/a.jpg"},  // no common prefix
      {"./imagesX/a.jpg", "./images", "X/a.jpg"},            // a byte prefix is enough
  };
  for (const Row& row : rows) EXPECT_EQ(ImageNameFromPath(row.path, row.dir), row.name) << row.path;
  EXPECT_EQ(ImagesPathOf("./images"), "./images/");
  EXPECT_EQ(ImagesPathOf("./images/"), "./images/");
  EXPECT_EQ(ImagesPathOf("C:\\pics\\"), "C:\\pics\\");
  EXPECT_EQ(ImagesPathOf(""), "/");
}

std::vector<SubImageInfo> Library(const std::vector<std::string>& names) {
  std::vector<SubImageInfo> library;
  for (const std::string& name : names) {
    library.emplace_back();
    library.back().name = name;
  }
  return library;
}

TEST(ImageScan, DiffFindsNewAndDeletedNames) {
  struct Row {
    std::vector<std::string> library, scanned, added;
    std::vector<int> deleted;
  };
  const Row rows[] = {
      {{}, {"/b", "/a"}, {"/b", "/a"}, {}},                   // first load: scan order kept
      {{"/a", "/b"}, {"/b", "/a"}, {}, {}},                   // unchanged, any order
      {{"/a", "/b", "/c"}, {"/a", "/c", "/d"}, {"/d"}, {1}},  // rename of /b
      {{"/a", "/b", "/c"}, {}, {}, {0, 1, 2}},                // folder emptied
      {{"/a"}, {"a"}, {"a"}, {0}},                            // byte-equal names only
      {{"/a", "/a"}, {"/b"}, {"/b"}, {0, 1}},                 // duplicate entries both go
  };
  for (const Row& row : rows) {
    std::ostringstream log;
    const ImageListDiff diff = DiffImageLists(Library(row.library), row.scanned, log);
    EXPECT_EQ(diff.added, row.added);
    EXPECT_EQ(diff.deleted, row.deleted);
  }
}

TEST(ImageScan, DiffTakesPicturesWithAnotherStampAsChanged) {
  using Stamp = std::optional<FileStamp>;
  const Stamp old_stamp = FileStamp{100, 5};
  const Stamp touched = FileStamp{100, 6};  // same size, another time
  const Stamp resized = FileStamp{101, 5};
  struct Row {
    std::vector<Stamp> library_stamps;  // of "/a", "/b"
    std::vector<Stamp> scanned_stamps;  // of "/b", "/a"
    std::vector<std::string> added, changed;
    std::vector<int> deleted;
  };
  const Row rows[] = {
      {{old_stamp, old_stamp}, {old_stamp, old_stamp}, {}, {}, {}},
      {{old_stamp, old_stamp}, {old_stamp, touched}, {"/a"}, {"/a"}, {0}},
      {{old_stamp, old_stamp}, {resized, touched}, {"/b", "/a"}, {"/b", "/a"}, {0, 1}},
      // Unknown on either side: compared by name only.
      {{std::nullopt, old_stamp}, {old_stamp, touched}, {}, {}, {}},
      {{old_stamp, old_stamp}, {std::nullopt, std::nullopt}, {}, {}, {}},
  };
  for (const Row& row : rows) {
    std::vector<SubImageInfo> library = Library({"/a", "/b"});
    library[0].stamp = row.library_stamps[0];
    library[1].stamp = row.library_stamps[1];
    std::ostringstream log;
    const ImageListDiff diff = DiffImageLists(library, {"/b", "/a"}, log, row.scanned_stamps);
    EXPECT_EQ(diff.added, row.added);
    EXPECT_EQ(diff.changed, row.changed);
    EXPECT_EQ(diff.deleted, row.deleted);
  }
}

TEST(ImageScan, DiffLogsItsTiming) {
  std::ostringstream log;
  DiffImageLists(Library({"/a"}), {"/a"}, log);
  std::istringstream lines(log.str());
  std::string diff, total, rest;
  std::getline(lines, diff);
  std::getline(lines, total);
  // Names are padded to the longest lap name, "diff", never to "total".
  EXPECT_EQ(diff.rfind("diff : ", 0), 0u) << diff;
  EXPECT_EQ(total.rfind("total : ", 0), 0u) << total;
  EXPECT_FALSE(std::getline(lines, rest));
}

}  // namespace
}  // namespace tessaline
