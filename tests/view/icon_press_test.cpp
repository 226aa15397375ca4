#include "view/icon_press.h"

#include <gtest/gtest.h>

namespace tessaline {
namespace {

constexpr int kFade = 3;   // the fade icon's index; 0 ... 2 are other icons
constexpr int kNone = -1;  // no icon under the pointer: the mosaic, or outside

TEST(IconPress, AnIconActsOnlyForAClickMadeOnIt) {
  struct Row {
    const char* what;
    int pressed_on, released_on;
    int on_press, on_release;  // the icon that acts, or -1
  };
  const Row rows[] = {
      {"press and release on an icon", 2, 2, kNone, 2},
      {"released over the mosaic", 2, kNone, kNone, kNone},
      {"released on another icon", 2, 0, kNone, kNone},
      {"pressed on the mosaic, released on an icon", kNone, 1, kNone, kNone},
      {"the fade icon, pressed and released on it", kFade, kFade, kFade, kFade},
      {"the fade icon, released over the mosaic or outside", kFade, kNone, kFade, kFade},
      {"the fade icon, released on another icon", kFade, 0, kFade, kFade},
      {"pressed on the mosaic, released on the fade icon", kNone, kFade, kNone, kNone},
  };
  for (const Row& row : rows) {
    IconPress press;
    EXPECT_EQ(press.Press(row.pressed_on, kFade), row.on_press) << row.what;
    EXPECT_EQ(press.Release(row.released_on), row.on_release) << row.what;
    EXPECT_EQ(press.Pressed(), kNone) << row.what << ": the release ended the press";
    EXPECT_EQ(press.Release(row.released_on), kNone) << row.what << ": a second release";
  }
}

}  // namespace
}  // namespace tessaline
