#include "settings/whole_file.h"

#include <gtest/gtest.h>

#include <string>

#include "common/temp_folder.h"

namespace tessaline {
namespace {

// A name as long as a folder takes (255 bytes) is written: the temporary
// file's name is the one shortened, and never inside a UTF-8 character.
TEST(ReplaceFile, WritesNamesUpToTheLongestAFolderTakes) {
  TempFolder folder;
  std::string accents;
  while (accents.size() < 254) accents += "\xC3\xA9";  // é, two bytes each
  const std::string names[] = {"a", std::string(240, 'b'), std::string(251, 'c') + ".pmc",
                               std::string(255, 'd'), accents + "x"};
  for (const std::string& name : names) {
    std::string reason;
    EXPECT_TRUE(ReplaceFile(folder / name, name.substr(0, 3), &reason))
        << name.size() << " bytes : " << reason;
    EXPECT_EQ(ReadBytes(folder / name), name.substr(0, 3)) << name.size() << " bytes";
  }
  EXPECT_EQ(FolderEntryCount(folder.Path()), std::size(names)) << "a temporary file was left";
}

}  // namespace
}  // namespace tessaline
