// The preference and choice dialogs driven through their buttons' callbacks;
// no window is shown.

#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Spinner.H>
#include <gtest/gtest.h>

#include "view/choice_dialog.h"
#include "view/preference_dialog.h"

namespace tessaline {
namespace {

bool Inside(const Fl_Widget* a, const Fl_Widget* b) {
  return a->x() >= b->x() && a->y() >= b->y() && a->x() + a->w() <= b->x() + b->w() &&
         a->y() + a->h() <= b->y() + b->h();
}

TEST(ChoiceDialog, SizeFollowsTheItemsAndTheScrolledGroupHoldsEveryButton) {
  const struct {
    std::vector<std::string> items;
    int width, height;
  } rows[] = {{{}, 200, 80},
              {{std::string(40, 'c')}, 520, 100},
              {{"a", "b", "c", "d", "e", "f"}, 200, 200}};
  for (const auto& row : rows) {
    qxFlRadioDialog dialog("Choose a device", row.items, 0, nullptr);
    EXPECT_EQ(dialog.w(), row.width);
    EXPECT_EQ(dialog.h(), row.height);
    EXPECT_EQ(dialog.OkButton()->y(), row.height - 35);
    // The scroll reaches its group's area only.
    for (const Fl_Round_Button* button : dialog.Buttons())
      EXPECT_TRUE(Inside(button, dialog.Group())) << button->label();
  }
}

TEST(ChoiceDialog, SelectionGoesByFirstEqualTextAndADefaultOutsideTheListIsKept) {
  qxFlRadioDialog outside("Choose a device", {"cam 0", "cam 1"}, 5, nullptr);
  for (const Fl_Round_Button* button : outside.Buttons()) EXPECT_EQ(button->value(), 0);
  outside.OkButton()->do_callback();
  EXPECT_TRUE(outside.Accepted());
  EXPECT_EQ(outside.Selected(), 5);

  qxFlRadioDialog equal("Choose a device", {"cam", "other", "cam"}, 1, nullptr);
  EXPECT_EQ(equal.Buttons()[1]->value(), 1);
  equal.Buttons()[2]->do_callback();
  EXPECT_EQ(equal.Selected(), 0);
  equal.CancelButton()->do_callback();
  EXPECT_FALSE(equal.Accepted());
}

const MosaicSettings kSample{1920, 1080, 48, 27, 3, 5, 7, "32,18, 48,27", "./tiles", "a.jpg"};

TEST(PreferenceDialog, WidgetsStartFromTheSettingsAndOkReadsEachBack) {
  qxFlPMDialog dialog("photomosaic setting", kSample, nullptr);
  const qxFlPMDialog::Controls& c = dialog.Widgets();
  Fl_Spinner* spinners[] = {c.image_width, c.image_height, c.sub_width, c.sub_height,
                            c.matching_x,  c.matching_y,   c.search_num};
  const int given[] = {1920, 1080, 48, 27, 3, 5, 7};
  // Distinct new values, so that two swapped fields show up.
  MosaicSettings expected{2, 3, 4, 5, 6, 7, 8, "16,9", "/other", ""};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(spinners[i]->value(), given[i]) << "spinner " << i;
    spinners[i]->value(i + 2);
  }
  EXPECT_STREQ(c.image_default->value(), "a.jpg");
  c.sub_scale_list->value("16,9");
  c.image_dir->value("/other");
  c.image_default->value("");
  c.save_as_default->value(1);
  c.ok->do_callback();

  ASSERT_TRUE(dialog.Accepted());
  EXPECT_TRUE(dialog.SaveAsDefault());
  EXPECT_FALSE(EngineShapeChanged(expected, dialog.Settings()));
  EXPECT_EQ(dialog.Settings().sub_scale_list, "16,9");
  EXPECT_EQ(dialog.Settings().image_dir, "/other");
  EXPECT_EQ(dialog.Settings().image_default, "");
}

TEST(PreferenceDialog, RepeatFieldLiesBelowNNSearchClearOfEveryOtherWidget) {
  MosaicSettings given = kSample;
  given.repeat_distance = 8;
  qxFlPMDialog dialog("photomosaic setting", given, nullptr);
  const qxFlPMDialog::Controls& c = dialog.Widgets();
  Fl_Spinner* repeat = c.repeat_distance;
  ASSERT_NE(repeat, nullptr);
  EXPECT_EQ(repeat->value(), 8);
  EXPECT_EQ(repeat->minimum(), 0);
  EXPECT_EQ(repeat->maximum(), 1000);
  EXPECT_GT(repeat->y(), c.search_num->y());
  EXPECT_TRUE(Inside(repeat, c.search_num->parent()));
  const Fl_Widget* others[] = {c.image_width, c.image_height,  c.sub_width,  c.sub_height,
                               c.matching_x,  c.matching_y,    c.search_num, c.sub_scale_list,
                               c.image_dir,   c.image_default, c.choose_dir, c.choose_image};
  for (const Fl_Widget* other : others) {
    const bool apart =
        repeat->y() >= other->y() + other->h() || other->y() >= repeat->y() + repeat->h() ||
        repeat->x() >= other->x() + other->w() || other->x() >= repeat->x() + repeat->w();
    EXPECT_TRUE(apart) << other->label();
  }
  repeat->value(3);
  c.ok->do_callback();
  EXPECT_EQ(dialog.Settings().repeat_distance, 3);
}

TEST(PreferenceDialog, CancelKeepsTheGivenSettings) {
  qxFlPMDialog dialog("photomosaic setting", kSample, nullptr);
  dialog.Widgets().sub_width->value(16);
  dialog.Widgets().image_dir->value("/other");
  dialog.Widgets().save_as_default->value(1);
  dialog.Widgets().cancel->do_callback();
  EXPECT_FALSE(dialog.Accepted());
  EXPECT_FALSE(dialog.SaveAsDefault());
  EXPECT_FALSE(EngineShapeChanged(kSample, dialog.Settings()));
  EXPECT_EQ(dialog.Settings().image_dir, "./tiles");
}

}  // namespace
}  // namespace tessaline
