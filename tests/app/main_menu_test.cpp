#include "app/main_menu.h"

#include <FL/Enumerations.H>
#include <FL/Fl_Menu_Item.H>
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "view/draw_toggles.h"

namespace tessaline {
namespace {

// Two items with one shortcut: only the first would ever fire. The keys the
// view takes before any shortcut ("g", "x", Left, Right) must stay free too.
TEST(MainMenu, EveryShortcutReachesOneItemOnly) {
  std::set<int> taken = {'g', 'x', FL_Left, FL_Right};
  for (const MenuEntry& entry : MainMenuEntries({"32 x 18", "16 x 9"})) {
    if (entry.shortcut == 0) continue;
    EXPECT_TRUE(taken.insert(entry.shortcut).second) << entry.label << " shares its shortcut";
  }
}

TEST(MainMenu, TileSizeEntriesSitBetweenAutoPilotAndChooseImagesDir) {
  const std::vector<MenuEntry> menu = MainMenuEntries({"32 x 18", "16 x 9"});
  std::map<std::string, std::size_t> at;
  for (std::size_t i = 0; i < menu.size(); ++i) at[menu[i].label] = i;
  ASSERT_TRUE(at.count("Photomosaic/Tile size/32 x 18  "));
  EXPECT_EQ(at["Photomosaic/Tile size/32 x 18  "], at["Photomosaic/Auto Pilot  "] + 1);
  EXPECT_EQ(at["Photomosaic/Tile size/16 x 9  "], at["Photomosaic/Choose images dir  "] - 1);
  EXPECT_EQ(menu[at["Photomosaic/Tile size/16 x 9  "]].flags, FL_MENU_RADIO);
}

TEST(DrawToggles, ZoomWithSelectedAlsoFlipsAroundOnlyWhenSwitchedOn) {
  struct Row {
    int flags;
    const char* name;
    int expected;
  };
  const Row rows[] = {
      {65, "Icon  ", 64},
      {65, "Mipmapping  ", 97},
      {65, "Zoom with selected  ", 65 | 128 | 16},       // on: Around flips on
      {65 | 16, "Zoom with selected", 65 | 128},         // on: Around flips off
      {65 | 128 | 16, "Zoom with selected  ", 65 | 16},  // off: Around stays
      {65, "Zoom", 65},                                  // no label is a prefix of it
      {65, "", 65},
      {65, "icon", 65},  // labels are matched case sensitively
  };
  for (const Row& row : rows)
    EXPECT_EQ(ToggledDrawFlags(row.flags, row.name), row.expected) << row.name;
}

MenuItemMarks MarksOf(const std::vector<MenuItemMarks>& all, const std::string& label) {
  for (const MenuItemMarks& marks : all)
    if (marks.label == label) return marks;
  ADD_FAILURE() << "no marks for " << label;
  return {};
}

TEST(MainMenu, MarksFollowTheView) {
  const std::vector<std::string> sizes = {"32 x 18", "16 x 9"};
  MenuInputs fresh;
  fresh.draw_flags = 65;
  const std::vector<MenuItemMarks> start = MenuMarks(fresh, sizes);
  EXPECT_TRUE(MarksOf(start, "Draw/Icon  ").checked);
  EXPECT_TRUE(MarksOf(start, "Draw/Tile elevating  ").checked);
  EXPECT_FALSE(MarksOf(start, "Draw/Logo  ").checked);
  for (const char* greyed :
       {"Photomosaic/Random  ", "Photomosaic/Auto Pilot  ", "Photomosaic/Camera Input  "})
    EXPECT_FALSE(MarksOf(start, greyed).active) << greyed;
  EXPECT_FALSE(PanelMarksFor(fresh).start_stop_active);

  MenuInputs live = fresh;
  live.ready = true;
  live.auto_pilot = true;
  live.input_mode = 2;
  live.tile_size_index = 1;
  live.full_screen = true;
  live.recording = true;
  const std::vector<MenuItemMarks> marks = MenuMarks(live, sizes);
  EXPECT_TRUE(MarksOf(marks, "Photomosaic/Auto Pilot  ").checked);
  EXPECT_TRUE(MarksOf(marks, "Photomosaic/Camera Input  ").checked);
  EXPECT_TRUE(MarksOf(marks, "Photomosaic/Random  ").active);
  EXPECT_FALSE(MarksOf(marks, "Photomosaic/Tile size/32 x 18  ").checked);
  EXPECT_TRUE(MarksOf(marks, "Photomosaic/Tile size/16 x 9  ").checked);
  EXPECT_TRUE(MarksOf(marks, "Window/FullScreen  ").checked);
  const PanelMarks panel = PanelMarksFor(live);
  EXPECT_TRUE(panel.start_stop_active && panel.output_active && panel.output_checked);

  // The Output switch shows a recording only while it is active.
  live.input_mode = 0;
  EXPECT_FALSE(PanelMarksFor(live).output_active);
  EXPECT_FALSE(PanelMarksFor(live).output_checked);
}

}  // namespace
}  // namespace tessaline
