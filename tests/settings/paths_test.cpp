#include "settings/paths.h"

#include <gtest/gtest.h>

namespace tessaline {
namespace {

TEST(Paths, SplitsAtTheLastSlashOnly) {
  struct Row {
    std::string path, base, folder, extension, tle;
  };
  const Row rows[] = {
      {"/home/me/Sea.JPG", "Sea.JPG", "/home/me", "jpg", "/home/me/Sea.tle"},
      {"photo.tar.gz", "photo.tar.gz", "", "gz", "photo.tar.tle"},
      {"/beach.png", "beach.png", "/", "png", "/beach.tle"},
      {"images/a.b/photo", "photo", "images/a.b", "", "images/a.b/photo.tle"},
      {"images/photo.", "photo.", "images", "", "images/photo.tle"},
      {"images/.hidden", ".hidden", "images", "hidden", "images/.tle"},
      {"images/.x.PNG", ".x.PNG", "images", "png", "images/.x.tle"},
      {"out.png/", "", "out.png", "", "out.png/.tle"},
      {"a//b.Bmp", "b.Bmp", "a/", "bmp", "a//b.tle"},
      // A backslash is part of the name on Linux.
      {"/photos/back\\slash.jpg", "back\\slash.jpg", "/photos", "jpg", "/photos/back\\slash.tle"},
      {"C:\\pics\\a.b\\photo", "C:\\pics\\a.b\\photo", "", "b\\photo", "C:\\pics\\a.tle"},
      {"", "", "", "", ".tle"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(BaseName(row.path), row.base) << row.path;
    EXPECT_EQ(FolderOf(row.path), row.folder) << row.path;
    EXPECT_EQ(LowerExtension(row.path), row.extension) << row.path;
    EXPECT_EQ(WithExtension(row.path, "tle"), row.tle) << row.path;
  }
}

}  // namespace
}  // namespace tessaline
