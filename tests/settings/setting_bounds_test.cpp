#include "settings/setting_bounds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>

#include "settings/ini_store.h"

namespace tessaline {
namespace {

TEST(SettingBounds, MovesAValueToTheNearestEndOfItsRange) {
  struct Row {
    const char* section;
    const char* key;
    double value;
    double expected;
  };
  const Row rows[] = {
      {"gl", "font", 100000, 72},     {"gl", "font", 0, 6},
      {"gl", "font", 14, 14},         {"gl", "font", 72, 72},
      {"icon", "icon_width", 5, 0.2}, {"mosaic", "alpha", -1, 0},
      {"mosaic", "alpha", NAN, 0},    {"image", "image_width", INFINITY, 16384},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.section << "/" << r.key << " = " << r.value);
    const SettingBound* bound = FindSettingBound(r.section, r.key);
    ASSERT_NE(bound, nullptr);
    EXPECT_EQ(BoundedValue(*bound, r.value), r.expected);
  }
  // Rows are found by section and key; the window's geometry has none: the
  // screens decide what fits.
  EXPECT_EQ(FindSettingBound("window", "font"), nullptr);
  EXPECT_EQ(FindSettingBound("window", "width"), nullptr);
}

TEST(qxINI, MendsNumbersOutOfRangeWithOneLineEach) {
  std::ostringstream console;
  qxINI store(console);
  std::uint32_t font = 14;
  double alpha = 1;
  std::string font_file;
  int width = 640;
  store.Register("gl", "font", &font, 14);
  store.Register("gl", "font_file", &font_file, "Inconsolata.ttf");
  store.Register("mosaic", "alpha", &alpha, 1.0);
  store.Register("window", "width", &width, 640);
  std::istringstream file("[gl]\nfont = 100000\nalpha=nan\nfont_file=x\nwidth=100000\n");
  ASSERT_TRUE(store.Parse(file));
  std::ostringstream log;
  EXPECT_EQ(store.MendValues(log), 2);
  EXPECT_EQ(log.str(),
            "setting font : 100000 is out of range (6 to 72); 72 is used\n"
            "setting alpha : nan is out of range (0 to 1); 0 is used\n");
  EXPECT_EQ(font, 72u);
  EXPECT_EQ(alpha, 0.0);
  EXPECT_EQ(width, 100000);  // no row: left to the screen check
  EXPECT_EQ(store.MendValues(log), 0);
}

}  // namespace
}  // namespace tessaline
