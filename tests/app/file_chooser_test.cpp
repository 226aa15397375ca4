#include "app/file_chooser.h"

#include <gtest/gtest.h>

namespace tessaline {
namespace {

TEST(FileChooser, FiltersBecomeChooserPatterns) {
  struct Row {
    const char* filter;
    const char* pattern;
  };
  const Row rows[] = {
      {"Image Files|*.bmp;*.png;*.jpg;*.gif|All Files|*.*",
       "Image Files (*.{bmp,png,jpg,gif})\tAll Files (*)"},
      {"Movie Files|*.avi;*.mpg;*.mpeg;*.mp4;*.mov|All Files|*.*",
       "Movie Files (*.{avi,mpg,mpeg,mp4,mov})\tAll Files (*)"},
      {"Image Files|*.bmp;*.png|All Files|*.*", "Image Files (*.{bmp,png})\tAll Files (*)"},
      // Empty pieces between the bars and the semicolons are skipped.
      {"||Pictures||*.png;;*.bmp;|", "Pictures (*.{png,bmp})"},
      {"GIF|*.gif", "GIF (*.gif)"},
      {"Anything|*", "Anything (*)"},
      {"Anything|*.*", "Anything (*)"},
      // A pattern piece of only ";" has no name left: every file.
      {"Nothing named|;", "Nothing named (*)"},
      // A description without a pattern makes no entry.
      {"Lonely", ""},
      {"Image Files|*.png|Dangling", "Image Files (*.png)"},
      {"", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(ChooserPattern(row.filter), row.pattern) << row.filter;
}

}  // namespace
}  // namespace tessaline
