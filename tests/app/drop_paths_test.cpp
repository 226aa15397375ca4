#include "app/drop_paths.h"

#include <gtest/gtest.h>

namespace tessaline {
namespace {

using Paths = std::vector<std::string>;

TEST(DropPaths, SplitsAndDecodesWhatIsPasted) {
  struct Row {
    std::string text;
    Paths paths;
  };
  const Row rows[] = {
      // A file manager's uri-list: CR LF line ends, escapes, UTF-8 bytes.
      {"file:///home/a%20b/Sea.JPG\r\nfile:///tmp/Caf%C3%A9.png\r\n",
       {"/home/a b/Sea.JPG", "/tmp/Caf\xC3\xA9.png"}},
      {"file://localhost/x/y.jpg\n", {"/x/y.jpg"}},
      {"FILE:///x/%2a%2A.jpg", {"/x/**.jpg"}},
      // Malformed or cut-off escapes stay as written.
      {"file:///x/100%.jpg\nfile:///x/%zz%4.jpg\nfile:///x/%4",
       {"/x/100%.jpg", "/x/%zz%4.jpg", "/x/%4"}},
      // Plain paths are not URIs: kept, escapes and all.
      {"/home/a%20b/Sea.JPG\nrelative.png", {"/home/a%20b/Sea.JPG", "relative.png"}},
      // Another machine's file, or no path at all: left alone.
      {"file://server/share/x.jpg\nfile://", {"file://server/share/x.jpg", "file://"}},
      // An empty line ends the list, also one that is only a CR.
      {"/a.jpg\n\n/b.jpg", {"/a.jpg"}},
      {"/a.jpg\r\n\r\n/b.jpg", {"/a.jpg"}},
      {"\n/a.jpg", {}},
      {"", {}},
  };
  for (const Row& row : rows) EXPECT_EQ(DroppedPaths(row.text), row.paths) << "text: " << row.text;
}

TEST(DropPaths, TakesTheKindFromTheFileNamesExtension) {
  struct Row {
    std::string path;
    std::string extension;
    DropKind kind;
  };
  const Row rows[] = {
      {"/home/a b/Sea.JPG", "jpg", DropKind::kImage},
      {"/x/photo.jpeg", "jpeg", DropKind::kImage},
      {"/x/scan.TIFF", "tiff", DropKind::kImage},
      {"/x/phone.HEIC", "heic", DropKind::kImage},
      {"/x/web.webp", "webp", DropKind::kImage},
      {"/x/clip.tar.MP4", "mp4", DropKind::kMovie},
      {"/x/clip.mpeg", "mpeg", DropKind::kMovie},
      // Spaces and NULs inside the extension are dropped.
      {"/x/a.p n g", "png", DropKind::kImage},
      {std::string("/x/a.jp\0g", 9), "jpg", DropKind::kImage},
      // A dot in a folder name is not the file's extension.
      {"/x.jpg/README", "", DropKind::kNothing},
      {"/x/a.png\\notes", "png\\notes", DropKind::kNothing},  // a backslash is part of a name
      {"/x/notes.txt", "txt", DropKind::kNothing},
      {"/x/archive.", "", DropKind::kNothing},
      {"", "", DropKind::kNothing},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(DropExtension(row.path), row.extension) << "path: " << row.path;
    EXPECT_EQ(DropKindOf(DropExtension(row.path)), row.kind) << "path: " << row.path;
  }
}

}  // namespace
}  // namespace tessaline
