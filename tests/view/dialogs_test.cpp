// The preference and choice dialogs, driven through their buttons'
// callbacks: no window is shown, so no display is needed.

#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Scroll.H>
#include <FL/Fl_Spinner.H>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "view/choice_dialog.h"
#include "view/preference_dialog.h"

namespace tessaline {
namespace {

bool Inside(const Fl_Widget* inner, const Fl_Widget* outer) {
  return inner->x() >= outer->x() && inner->y() >= outer->y() &&
         inner->x() + inner->w() <= outer->x() + outer->w() &&
         inner->y() + inner->h() <= outer->y() + outer->h();
}

TEST(ChoiceDialog, SizeFollowsTheItemsAndEveryButtonCanBeScrolledTo) {
  struct Row {
    std::vector<std::string> items;
    int width;
    int height;
  };
  const Row rows[] = {
      {{}, 200, 80},
      {{std::string(40, 'c')}, 520, 100},
      {{"a", "b", "c"}, 200, 140},
      {{"cam 0", "cam 1", "cam 2", "cam 3", "cam 4", "cam 5"}, 200, 200},
  };
  for (const Row& row : rows) {
    const int n = static_cast<int>(row.items.size());
    qxFlRadioDialog dialog("Choose a device", row.items, 0, nullptr);
    EXPECT_EQ(dialog.w(), row.width) << n << " items";
    EXPECT_EQ(dialog.h(), row.height) << n << " items";
    EXPECT_EQ(dialog.OkButton()->y(), row.height - 35);
    EXPECT_EQ(dialog.CancelButton()->y(), row.height - 35);
    ASSERT_EQ(static_cast<int>(dialog.Buttons().size()), n);
    // The scroll reaches exactly its group's area, so a button outside the
    // group could never be scrolled to or clicked.
    for (int i = 0; i < n; ++i)
      EXPECT_TRUE(Inside(dialog.Buttons()[i], dialog.Group())) << "item " << i << " of " << n;
    EXPECT_EQ(dialog.Group()->parent(), dialog.Scroll());
  }
}

TEST(ChoiceDialog, DefaultOutsideTheListLeavesEveryButtonOffAndIsReturned) {
  qxFlRadioDialog dialog("Choose a device", {"cam 0", "cam 1"}, 5, nullptr);
  for (Fl_Round_Button* button : dialog.Buttons()) EXPECT_EQ(button->value(), 0);
  dialog.OkButton()->do_callback();
  EXPECT_TRUE(dialog.Accepted());
  EXPECT_EQ(dialog.Selected(), 5);
}

TEST(ChoiceDialog, AClickSelectsTheFirstItemWithItsTextAndCancelRefuses) {
  qxFlRadioDialog dialog("Choose a device", {"cam", "other", "cam"}, 1, nullptr);
  EXPECT_EQ(dialog.Buttons()[1]->value(), 1);
  dialog.Buttons()[2]->do_callback();
  EXPECT_EQ(dialog.Selected(), 0);
  dialog.Buttons()[1]->do_callback();
  EXPECT_EQ(dialog.Selected(), 1);
  dialog.CancelButton()->do_callback();
  EXPECT_FALSE(dialog.Accepted());
}

MosaicSettings Sample() {
  MosaicSettings s;
  s.image_width = 1920;
  s.image_height = 1080;
  s.sub_width = 48;
  s.sub_height = 27;
  s.matching_x = 3;
  s.matching_y = 5;
  s.search_num = 7;
  s.sub_scale_list = "32,18, 48,27";
  s.image_dir = "./tiles";
  s.image_default = "a.jpg";
  return s;
}

struct SpinnerRow {
  const char* name;
  Fl_Spinner* spinner;
  int* field;
};

std::vector<SpinnerRow> Spinners(const qxFlPMDialog::Controls& c, MosaicSettings& s) {
  return {{"image_width", c.image_width, &s.image_width},
          {"image_height", c.image_height, &s.image_height},
          {"sub_width", c.sub_width, &s.sub_width},
          {"sub_height", c.sub_height, &s.sub_height},
          {"matching_x", c.matching_x, &s.matching_x},
          {"matching_y", c.matching_y, &s.matching_y},
          {"search_num", c.search_num, &s.search_num}};
}

TEST(PreferenceDialog, WidgetsStartFromTheSettingsAndOkReadsThemBack) {
  MosaicSettings given = Sample();
  qxFlPMDialog dialog("photomosaic setting", given, nullptr);
  const qxFlPMDialog::Controls& c = dialog.Widgets();
  for (const SpinnerRow& row : Spinners(c, given))
    EXPECT_EQ(row.spinner->value(), *row.field) << row.name;
  EXPECT_STREQ(c.sub_scale_list->value(), "32,18, 48,27");
  EXPECT_STREQ(c.image_dir->value(), "./tiles");
  EXPECT_STREQ(c.image_default->value(), "a.jpg");
  EXPECT_EQ(c.save_as_default->value(), 0);

  // Each spinner gets its own new value, so two swapped fields show up.
  MosaicSettings expected = given;
  int value = 2;
  for (const SpinnerRow& row : Spinners(c, expected)) {
    row.spinner->value(value);
    *row.field = value++;
  }
  c.sub_scale_list->value("16,9");
  c.image_dir->value("/other");
  c.image_default->value("");
  c.save_as_default->value(1);
  c.ok->do_callback();

  ASSERT_TRUE(dialog.Accepted());
  EXPECT_TRUE(dialog.SaveAsDefault());
  const MosaicSettings& got = dialog.Settings();
  EXPECT_FALSE(EngineShapeChanged(expected, got));
  EXPECT_EQ(got.sub_scale_list, "16,9");
  EXPECT_EQ(got.image_dir, "/other");
  EXPECT_EQ(got.image_default, "");
}

TEST(PreferenceDialog, CancelKeepsTheGivenSettings) {
  qxFlPMDialog dialog("photomosaic setting", Sample(), nullptr);
  dialog.Widgets().sub_width->value(16);
  dialog.Widgets().image_dir->value("/other");
  dialog.Widgets().save_as_default->value(1);
  dialog.Widgets().cancel->do_callback();
  EXPECT_FALSE(dialog.Accepted());
  EXPECT_FALSE(dialog.SaveAsDefault());
  EXPECT_FALSE(EngineShapeChanged(Sample(), dialog.Settings()));
  EXPECT_EQ(dialog.Settings().image_dir, "./tiles");
}

}  // namespace
}  // namespace tessaline
