#include "app/main_menu.h"

#include <FL/Enumerations.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Menu_Item.H>
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "view/draw_toggles.h"

namespace tessaline {
namespace {

// Two items with one shortcut: only the first would ever fire. The keys the
// view takes before any shortcut ("g", Left, Right) must stay free too.
TEST(MainMenu, EveryShortcutReachesOneItemOnly) {
  std::set<int> taken = {'g', FL_Left, FL_Right};
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
    int index;
    int expected;
  };
  const Row rows[] = {
      {65, 0, 64},                  // Icon
      {65, 5, 97},                  // Mipmapping
      {65, 7, 65 | 128 | 16},       // Zoom with selected on: Around flips on
      {65 | 16, 7, 65 | 128},       // on: Around flips off
      {65 | 128 | 16, 7, 65 | 16},  // off: Around stays
      {65, 8, 65},                  // no such toggle
      {65, -1, 65},
  };
  for (const Row& row : rows)
    EXPECT_EQ(ToggledDrawFlags(row.flags, row.index), row.expected) << row.index;
}

const MenuEntry& EntryOf(const std::vector<MenuEntry>& menu, MenuCommand command, int index = 0) {
  for (const MenuEntry& entry : menu)
    if (entry.command == command && entry.index == index) return entry;
  ADD_FAILURE() << "no entry for command " << static_cast<int>(command);
  return menu.front();
}

TEST(MainMenu, MarksFollowTheView) {
  const std::vector<MenuEntry> menu = MainMenuEntries({"32 x 18", "16 x 9"});
  auto marks = [&](const MenuInputs& in, MenuCommand command, int index = 0) {
    return MarksFor(EntryOf(menu, command, index), in);
  };
  MenuInputs fresh;
  fresh.draw_flags = 65;
  EXPECT_TRUE(marks(fresh, MenuCommand::kDrawToggle, 0).checked);   // Icon
  EXPECT_TRUE(marks(fresh, MenuCommand::kDrawToggle, 6).checked);   // Tile elevating
  EXPECT_FALSE(marks(fresh, MenuCommand::kDrawToggle, 1).checked);  // Logo
  for (MenuCommand greyed :
       {MenuCommand::kRandom, MenuCommand::kAutoPilot, MenuCommand::kCameraInput})
    EXPECT_FALSE(marks(fresh, greyed).active) << static_cast<int>(greyed);
  EXPECT_FALSE(PanelMarksFor(fresh).start_stop_active);

  MenuInputs live = fresh;
  live.ready = true;
  live.auto_pilot = true;
  live.input_mode = 2;
  live.tile_size_index = 1;
  live.full_screen = true;
  live.recording = true;
  EXPECT_TRUE(marks(live, MenuCommand::kAutoPilot).checked);
  EXPECT_TRUE(marks(live, MenuCommand::kCameraInput).checked);
  EXPECT_TRUE(marks(live, MenuCommand::kRandom).active);
  EXPECT_FALSE(marks(live, MenuCommand::kTileSize, 0).checked);
  EXPECT_TRUE(marks(live, MenuCommand::kTileSize, 1).checked);
  EXPECT_TRUE(marks(live, MenuCommand::kFullScreen).checked);
  const PanelMarks panel = PanelMarksFor(live);
  EXPECT_TRUE(panel.start_stop_active && panel.output_active && panel.output_checked);

  // The Output switch shows a recording only while it is active.
  live.input_mode = 0;
  EXPECT_FALSE(PanelMarksFor(live).output_active);
  EXPECT_FALSE(PanelMarksFor(live).output_checked);
}

// One label inside another ("32 x 18" in "132 x 18") must not make a pick
// or a mark land on the wrong item.
TEST(MainMenu, AnItemIsPickedAndMarkedAsItselfNotByItsLabel) {
  const std::vector<MenuEntry> entries = MainMenuEntries({"32 x 18", "132 x 18", "16 x 9"});
  Fl_Menu_Bar bar(0, 0, 400, 20);
  static const MenuEntry* picked = nullptr;
  AddMenuEntries(bar, entries,
                 [](Fl_Widget*, void* entry) { picked = static_cast<const MenuEntry*>(entry); });
  const Fl_Menu_Item* long_label = bar.find_item(TileSizeMenuLabel("132 x 18").c_str());
  const Fl_Menu_Item* short_label = bar.find_item(TileSizeMenuLabel("32 x 18").c_str());
  ASSERT_TRUE(long_label && short_label);
  bar.picked(long_label);
  ASSERT_NE(picked, nullptr);
  EXPECT_EQ(picked->command, MenuCommand::kTileSize);
  EXPECT_EQ(picked->index, 1);

  MenuInputs in;
  in.tile_size_index = 1;
  in.draw_flags = 32;  // Mipmapping
  ApplyMenuMarks(bar, entries, in);
  EXPECT_TRUE(long_label->value());
  EXPECT_FALSE(short_label->value());
  EXPECT_TRUE(bar.find_item("Draw/Mipmapping  ")->value());
  EXPECT_FALSE(bar.find_item("Draw/Icon  ")->value());
  EXPECT_FALSE(bar.find_item("Photomosaic/Random  ")->active());
}

}  // namespace
}  // namespace tessaline
